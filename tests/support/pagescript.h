// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVariant>

class QWebEnginePage;

namespace PageScript {

// Runs `script` in the page's application world and waits for its value (invalid after
// the timeout, with a warning). An answer that comes later, or only when the page goes,
// writes into state of its own, never into a caller's variables that are gone.
QVariant evaluate(QWebEnginePage *page, const QString &script, int timeoutMs);

}
