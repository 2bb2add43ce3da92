// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "httpresponse.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

class PageConnections;
class QAbstractSocket;

// One page fetched over HTTP/1.1 without waiting for it: the answer is handed to a callback
// from the event loop. Only a complete, successful answer counts: a timeout, a network or
// TLS error, a status outside 2xx, a redirect loop, an empty body, a body over the size
// limit, and a body its own framing shows to be cut off (short of its Content-Length, or
// chunks without the last one, whether the connection was closed or reset) are failures
// with a reason. The connection goes back to `connections` for the next page when the
// server keeps it open.
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
    // unless the fetch is destroyed first, which abandons it and closes its connection.
    // Only http and https addresses are fetched, and redirects are followed only to them.
    PageFetch(PageConnections *connections, const QUrl &url, Cache cache, Limits limits, Done done,
              QObject *parent = nullptr);
    ~PageFetch() override;

    QUrl url() const;

private:
    void request(const QUrl &url, bool reuse);
    void send();
    void onReadyRead();
    void onClosed();
    // What the answer's reader says after the latest bytes, or the connection's end.
    void takeUp(HttpResponse::State state);
    void onAnswer();
    // Done with the connection: back to the kept ones, or closed.
    void release(bool reusable);
    void fail(const QString &reason);
    void finish(const Result &result);

    QPointer<PageConnections> m_connections;
    QUrl m_url;
    QUrl m_current; // after redirects
    Cache m_cache;
    Limits m_limits;
    Done m_done;
    QAbstractSocket *m_socket = nullptr;
    bool m_reused = false;
    bool m_resent = false;
    int m_redirects = 0;
    std::optional<HttpResponse> m_response;
    QTimer m_timer;
    bool m_finished = false;
};

// Writes a fetched page to its file (tempfile.htm, lastmessage.htm), created when missing.
bool writePageFile(const QString &path, const QByteArray &bytes, QString *error);
