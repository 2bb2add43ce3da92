#pragma once

#include <QString>

namespace TestEnv {
// Call before the QApplication is made: QtWebEngine refuses its sandbox as root.
void prepareWebEngine();
// The shared third-party corpus folder, or an empty string when it is absent.
QString corpusDir();
}
