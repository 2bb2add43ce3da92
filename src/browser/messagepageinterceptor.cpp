#include "messagepageinterceptor.h"

#include "messagepagerule.h"

MessagePageInterceptor::MessagePageInterceptor(const MessagePageRule &rule, QObject *parent)
    : QWebEngineUrlRequestInterceptor(parent)
    , m_rule(rule)
{
}

void MessagePageInterceptor::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
        return;
    // A data: document is the message page shown from memory; the program puts no other
    // into a page.
    const QUrl firstParty = info.firstPartyUrl();
    if (m_rule.matches(firstParty) || firstParty.scheme() == QLatin1String("data"))
        info.block(true);
}
