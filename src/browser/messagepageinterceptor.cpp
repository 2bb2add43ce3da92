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
    if (m_rule.matches(info.firstPartyUrl()))
        info.block(true);
}
