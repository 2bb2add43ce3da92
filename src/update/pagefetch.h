// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "update/proxysetting.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <curl/curl.h>

#include <functional>

class CurlSession;

// One page fetched over HTTP(S) through libcurl without waiting for it: the answer is
// handed to a callback from the event loop. Only a complete, successful answer counts: a
// timeout, a network or TLS error, a status outside 2xx, a redirect loop, an empty or
// packed body, a body over the size limit, and a body its own framing shows to be cut off
// (short of its Content-Length, chunks without the last one, a header cut off, whether
// the connection was closed or reset) are failures with a reason.
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
        int timeoutMs = 30000; // for the whole answer, redirects included
        qint64 sizeLimit = 10 * 1024 * 1024;
        QString caFile; // the authorities trusted instead of the system's (a test's own); empty: the system's
    };
    struct Request
    {
        QUrl url;
        Cache cache = Cache::Allowed;
        Limits limits;
        ProxyRoute proxy;
    };
    // What a failure says about the pages still to come from the same server.
    enum class Fault {
        None,
        Page,        // this page only
        Proxy,       // the proxy refuses the connection or asks for credentials it lacks
        Certificate, // the server's certificate or its secure connection failed
    };
    struct Result
    {
        bool ok = false;
        QByteArray body;
        QString reason; // why it failed, for people
        Fault fault = Fault::None;
    };
    using Done = std::function<void(PageFetch *fetch, const Result &result)>;

    // Starts at once; `done` is called exactly once, never from inside the constructor,
    // unless the fetch is destroyed first, which abandons it. Only http and https
    // addresses are fetched, and redirects are followed only to them, at most five times,
    // never from https to http.
    PageFetch(CurlSession *session, Request request, Done done, QObject *parent = nullptr);
    ~PageFetch() override;

    QUrl url() const;

private:
    static size_t onBody(char *data, size_t size, size_t count, void *fetch);
    static size_t onHeader(char *data, size_t size, size_t count, void *fetch);
    void send(const QUrl &url);
    void onFinished(CURLcode code);
    void onAnswer();
    QString failureText(CURLcode code) const;
    QString cutText(bool reset) const;
    // A proxy's 407: no user name given, or the one given refused.
    QString credentialsRefused() const;
    void fail(const QString &reason, Fault fault = Fault::Page);
    void finish(const Result &result);

    QPointer<CurlSession> m_session;
    Request m_request;
    Done m_done;
    CURL *m_easy = nullptr;
    curl_slist *m_headers = nullptr;
    char m_error[CURL_ERROR_SIZE] = {};
    QUrl m_current; // after redirects
    int m_redirects = 0;
    QElapsedTimer m_started;
    bool m_finished = false;

    // The answer being read: the latest one's header and the page.
    qint64 m_headerBytes = 0; // all answers', interim ones included
    bool m_headerEnded = false;
    bool m_chunked = false;
    QList<QByteArray> m_lengths;
    QByteArray m_encoding;
    QByteArray m_body;
    QString m_refusal; // why a callback stopped the transfer
};

// Writes a fetched page to its file (tempfile.htm, lastmessage.htm), created when missing.
bool writePageFile(const QString &path, const QByteArray &bytes, QString *error);
