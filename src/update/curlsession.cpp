// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/curlsession.h"

#include <QPointer>
#include <QSocketNotifier>

namespace {

bool curlReady()
{
    // Once for the process, before the first handle; thread-safe as a static's first use.
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

void switchOff(QSocketNotifier *notifier)
{
    if (notifier)
        notifier->setEnabled(false);
}

}

CurlSession::CurlSession(QObject *parent)
    : QObject(parent)
{
    if (!curlReady())
        qFatal("libcurl could not be initialised");
    m_multi = curl_multi_init();
    if (!m_multi)
        qFatal("libcurl could not be initialised");
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlSession::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlSession::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
}

CurlSession::~CurlSession()
{
    // Transfers still running are left to their owners, who clean their handles up;
    // curl_multi_cleanup detaches them and closes the connections, telling each socket's
    // removal through onSocket.
    m_transfers.clear();
    curl_multi_cleanup(m_multi);
    for (CURL *easy : std::as_const(m_spare))
        curl_easy_cleanup(easy);
}

bool CurlSession::add(CURL *easy, Finished finished)
{
    if (curl_multi_add_handle(m_multi, easy) != CURLM_OK)
        return false;
    m_transfers.insert(easy, std::move(finished));
    // Sent now rather than at the next turn of the event loop: the caller may have work of
    // its own first (a page to store), and the server can answer meanwhile. What ends
    // already is handed back from the event loop, never from inside the caller.
    int running = 0;
    curl_multi_socket_action(m_multi, CURL_SOCKET_TIMEOUT, 0, &running);
    QMetaObject::invokeMethod(this, &CurlSession::takeFinished, Qt::QueuedConnection);
    return true;
}

void CurlSession::remove(CURL *easy)
{
    if (m_transfers.remove(easy))
        curl_multi_remove_handle(m_multi, easy);
}

CURL *CurlSession::takeHandle()
{
    return m_spare.isEmpty() ? curl_easy_init() : m_spare.takeLast();
}

void CurlSession::giveBack(CURL *easy)
{
    remove(easy);
    curl_easy_reset(easy);
    m_spare.append(easy);
}

unsigned long CurlSession::proxyAuth(const QByteArray &proxy) const
{
    return m_proxyAuth.value(proxy, CURLAUTH_ANY);
}

void CurlSession::setProxyAuth(const QByteArray &proxy, unsigned long methods)
{
    if (methods != 0)
        m_proxyAuth.insert(proxy, methods);
}

int CurlSession::onSocket(CURL *, curl_socket_t socket, int what, void *session, void *)
{
    static_cast<CurlSession *>(session)->watch(socket, what);
    return 0;
}

int CurlSession::onTimer(CURLM *, long timeoutMs, void *session)
{
    // curl must not be called back from inside its own callback: even a timeout of 0 waits
    // for the event loop.
    QTimer &timer = static_cast<CurlSession *>(session)->m_timer;
    if (timeoutMs < 0)
        timer.stop();
    else
        timer.start(int(std::min<long>(timeoutMs, 24 * 60 * 60 * 1000)));
    return 0;
}

void CurlSession::watch(curl_socket_t socket, int what)
{
    Watch &watch = m_watches[socket];
    // Switched off at once, whatever curl does with the socket next: closed, its number may
    // be taken by the next connection, or by a file.
    const bool read = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool write = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    const auto want = [this, socket](QSocketNotifier *&notifier, QSocketNotifier::Type type, bool on, int event) {
        if (!on)
            return switchOff(notifier);
        if (!notifier) {
            notifier = new QSocketNotifier(qintptr(socket), type, this);
            connect(notifier, &QSocketNotifier::activated, this, [this, socket, event] { act(socket, event); });
        }
        notifier->setEnabled(true);
    };
    want(watch.read, QSocketNotifier::Read, read, CURL_CSELECT_IN);
    want(watch.write, QSocketNotifier::Write, write, CURL_CSELECT_OUT);
}

void CurlSession::act(curl_socket_t socket, int events)
{
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    takeFinished();
}

void CurlSession::takeFinished()
{
    const QPointer<CurlSession> alive(this);
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        CURL *const easy = message->easy_handle;
        const CURLcode result = message->data.result;
        // Taken out before its owner hears of it: the owner may start it again, or delete it.
        const Finished finished = m_transfers.take(easy);
        curl_multi_remove_handle(m_multi, easy);
        if (finished)
            finished(result);
        if (!alive)
            return;
    }
}
