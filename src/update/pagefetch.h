#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// One page fetched over HTTP without waiting for it: the answer is handed to a callback
// from the event loop. Only a complete, successful answer counts: a timeout, a network or
// TLS error, a status outside 2xx, a redirect loop, an empty body, a body over the size
// limit or one that ends before its declared length is a failure with a reason.
class PageFetch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageFetch)
public:
    enum class Cache {
        Allowed,
        Fresh, // past every cache on the way, so a changing page is read as it is now
    };
    struct Limits
    {
        int timeoutMs = 30000; // for the whole answer, not just between packets
        qint64 sizeLimit = 10 * 1024 * 1024;
    };
    struct Result
    {
        bool ok = false;
        QByteArray body;
        QString reason; // why it failed, for people
    };
    using Done = std::function<void(PageFetch *fetch, const Result &result)>;

    // Starts at once; `done` is called exactly once, never from inside the constructor,
    // unless the fetch is destroyed first, which abandons it. Only http and https
    // addresses are fetched, and redirects are followed only to them.
    PageFetch(QNetworkAccessManager *manager, const QUrl &url, Cache cache, Limits limits, Done done,
              QObject *parent = nullptr);
    ~PageFetch() override;

    QUrl url() const;

private:
    void finish(const Result &result);
    void onFinished();

    QUrl m_url;
    Limits m_limits;
    Done m_done;
    QPointer<QNetworkReply> m_reply;
    QTimer m_timer;
    QByteArray m_body;
    QString m_abortReason;
    bool m_finished = false;
};

// Writes a fetched page to its file (tempfile.htm, lastmessage.htm), created when missing.
bool writePageFile(const QString &path, const QByteArray &bytes, QString *error);
