#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;

// Fetches one page over HTTP into a local file, waiting in a nested event loop so the
// window stays responsive meanwhile. The file is replaced only by a complete, successful
// answer: a timeout, a network or TLS error, a status outside 2xx, an empty body or a
// body over the size limit leave whatever was there before.
class PageFetcher final
{
public:
    enum class Status {
        Ok,          // the body was fetched and written to the file
        Failed,      // nothing usable came back; the file is unchanged
        WriteFailed, // the body came, but the file could not be written
        Interrupted, // the wait was cut short: the manager went away or the application is quitting
    };
    enum class Cache {
        Allowed,
        Fresh, // past every cache on the way, so a changing page is read as it is now
    };
    struct Result
    {
        Status status = Status::Failed;
        QByteArray body;
        QString reason; // why it failed, for people
    };

    explicit PageFetcher(QNetworkAccessManager *manager);
    Q_DISABLE_COPY_MOVE(PageFetcher)

    void setTimeout(int milliseconds); // for the whole answer, not just between packets
    void setSizeLimit(qint64 bytes);

    // Only http and https addresses are fetched, and redirects are followed only to them.
    Result fetch(const QUrl &url, const QString &filePath, Cache cache);

private:
    QPointer<QNetworkAccessManager> m_manager;
    int m_timeout = 30000;
    qint64 m_sizeLimit = 10 * 1024 * 1024;
};
