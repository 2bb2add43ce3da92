// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

namespace TestEnv {
// Call before the QApplication is made: QtWebEngine refuses its sandbox as root.
void prepareWebEngine();
// The shared third-party corpus folder, or an empty string when it is absent.
QString corpusDir();
// Runs the event loop until `done` holds, looking after every pass. QTest::qWaitFor looks
// only once the queue has run dry, which a web page being painted can put off for seconds.
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 5000);
}
