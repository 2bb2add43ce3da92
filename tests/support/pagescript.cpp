// SPDX-License-Identifier: GPL-3.0-or-later
#include "pagescript.h"

#include "testenv.h"

#include <QWebEnginePage>
#include <QWebEngineScript>

#include <memory>

namespace PageScript {

QVariant evaluate(QWebEnginePage *page, const QString &script, int timeoutMs)
{
    struct Answer
    {
        QVariant value;
        bool done = false;
    };
    const auto answer = std::make_shared<Answer>();
    page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [answer](const QVariant &v) {
        answer->value = v;
        answer->done = true;
    });
    if (!TestEnv::waitUntil([&] { return answer->done; }, timeoutMs))
        qWarning("the page did not answer: %s", qPrintable(script));
    return answer->value;
}

}
