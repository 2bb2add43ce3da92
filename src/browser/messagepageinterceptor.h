#pragma once

#include <QWebEngineUrlRequestInterceptor>

class MessagePageRule;

// Keeps the message page from fetching anything: every request made on its behalf
// (images, style sheets, frames, scripts, prefetches) is blocked. Navigations of the
// main frame are left to the page, which decides about them.
class MessagePageInterceptor final : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MessagePageInterceptor)
public:
    explicit MessagePageInterceptor(const MessagePageRule &rule, QObject *parent = nullptr);

    void interceptRequest(QWebEngineUrlRequestInfo &info) override;

private:
    const MessagePageRule &m_rule;
};
