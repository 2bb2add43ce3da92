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
