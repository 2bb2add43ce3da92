// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QTest>

#include <functional>

namespace TestEnv {
// Call before the QApplication is made: QtWebEngine refuses its sandbox as root.
void prepareWebEngine();
// The shared third-party corpus folder, or an empty string when it is absent.
QString corpusDir();
// Runs the event loop until `done` holds, looking after every pass. QTest::qWaitFor looks
// only once the queue has run dry, which a web page being painted can put off for seconds.
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 5000);
// Runs the event loop until a marker posted behind every event queued so far arrives: what
// those events would do has been done, so a check that nothing happened cannot pass early.
bool waitForQueued(int timeoutMs = 5000);
// Runs the event loop until a timer started now, which outlasts any timer with `intervalMs`
// left (coarse ones by their 5 per cent too), has fired: timers fire in the order they fall
// due, so whatever such a timer would do has been done, however slow the machine.
bool waitPast(int intervalMs);
// CI=true: there nothing a test needs may be missing, so a test that would skip fails.
bool inCi();
// Empty when every program is on PATH, else the missing ones and `install`, which says how
// to get them ("Debian package mdbtools").
QString missingPrograms(const QStringList &programs, const QString &install);
// Why a test that reads the shared corpus cannot run, or empty when the corpus is there.
QString missingCorpus();
}

// Skips the test with `why` when it is not empty, or fails it under CI=true. A macro, because
// QSKIP and QFAIL end the test function they stand in.
#define REQUIRE_OR_SKIP(why)                                                                         \
    do {                                                                                             \
        const QString requireOrSkipWhy_ = (why);                                                     \
        if (!requireOrSkipWhy_.isEmpty()) {                                                          \
            if (TestEnv::inCi())                                                                     \
                QFAIL(qPrintable(QStringLiteral("CI=true, yet ") + requireOrSkipWhy_));             \
            QSKIP(qPrintable(requireOrSkipWhy_));                                                    \
        }                                                                                            \
    } while (false)
