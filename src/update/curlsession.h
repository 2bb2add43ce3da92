// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>
#include <QTimer>

#include <curl/curl.h>

#include <functional>

class QSocketNotifier;

// Drives libcurl's multi interface from the Qt event loop: a socket notifier for each
// socket curl watches and one single-shot timer for its timeouts, so transfers go on
// while the window's thread does other work and nothing blocks it. Connections curl keeps
// alive are reused by later transfers to the same server (HTTP/2 ones by several at once).
class CurlSession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CurlSession)
public:
    using Finished = std::function<void(CURLcode result)>;

    explicit CurlSession(QObject *parent = nullptr);
    ~CurlSession() override;

    // Starts the transfer; `finished` is called once, from the event loop, when it ends,
    // unless it is removed first. The handle stays the caller's. False when curl refuses.
    bool add(CURL *easy, Finished finished);
    // Ends a transfer that has not finished; nothing is called for it.
    void remove(CURL *easy);

    // A handle for a transfer, one a finished transfer gave back where there is one: its
    // setting up is then not paid for page after page. Its options are the caller's to set.
    CURL *takeHandle();
    // Done with it: kept for the next transfer (its options cleared), removed first if it runs.
    void giveBack(CURL *easy);

    // The ways of signing in a proxy was seen to offer (CURLAUTH_ bits), so that later
    // requests sign in at once instead of each being refused first; CURLAUTH_ANY while
    // none was seen.
    unsigned long proxyAuth(const QByteArray &proxy) const;
    void setProxyAuth(const QByteArray &proxy, unsigned long methods);

private:
    // The notifiers of one socket number, kept (switched off) between transfers: a kept
    // connection is watched again for its next page, and a number curl closed is only
    // watched again once curl names it for a socket of its own.
    struct Watch
    {
        QSocketNotifier *read = nullptr;
        QSocketNotifier *write = nullptr;
    };
    static int onSocket(CURL *easy, curl_socket_t socket, int what, void *session, void *);
    static int onTimer(CURLM *multi, long timeoutMs, void *session);
    void watch(curl_socket_t socket, int what);
    void act(curl_socket_t socket, int events);
    void takeFinished();

    CURLM *m_multi = nullptr;
    QTimer m_timer;
    QHash<CURL *, Finished> m_transfers;
    QHash<curl_socket_t, Watch> m_watches;
    QHash<QByteArray, unsigned long> m_proxyAuth;
    QList<CURL *> m_spare;
};
