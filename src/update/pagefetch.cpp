// SPDX-License-Identifier: GPL-3.0-or-later
#include "pagefetch.h"

#include "pageconnections.h"
#include "app/version.h"

#include <QFile>
#include <QSslSocket>
#include <QTcpSocket>

namespace {

constexpr int kMaxRedirects = 5;

bool isWebAddress(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

bool isSecure(const QUrl &url)
{
    return url.scheme() == QLatin1String("https");
}

PageFetch::Result failure(const QString &reason)
{
    PageFetch::Result result;
    result.reason = reason;
    return result;
}

QByteArray requestFor(const QUrl &url, PageFetch::Cache cache)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    const int port = url.port();
    if (port != -1 && port != (isSecure(url) ? 443 : 80))
        host += ':' + QByteArray::number(port);
    QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: " + host
                         + "\r\nUser-Agent: VeltraKnowledgebase/" VELTRA_VERSION "\r\nAccept: */*\r\n"
                           // A compressed page would be unpacked by guesswork; the length it
                           // declares is then that of the page itself.
                           "Accept-Encoding: identity\r\nConnection: keep-alive\r\n";
    if (cache == PageFetch::Cache::Fresh)
        request += "Cache-Control: no-cache\r\nPragma: no-cache\r\n";
    return request + "\r\n";
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}

// The bytes are written over the old page in place, then the file is cut to their length.
// Replacing the file through a scratch copy and a rename made the file system write each
// page out at once, which doubled the cost of storing a message; and truncating to
// nothing first has the same effect. The pages are scratch copies that only this program
// writes, and a failed write ends the run.
bool writePageFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || file.write(bytes) != bytes.size() || !file.flush()
        || !file.resize(bytes.size())) {
        *error = file.errorString();
        return false;
    }
    return true;
}

PageFetch::PageFetch(PageConnections *connections, const QUrl &url, Cache cache, Limits limits, Done done,
                     QObject *parent)
    : QObject(parent)
    , m_connections(connections)
    , m_url(url)
    , m_cache(cache)
    , m_limits(limits)
    , m_done(std::move(done))
{
    m_timer.setSingleShot(true);
    if (!isWebAddress(url)) {
        const QString reason = QStringLiteral("%1 is not an http address").arg(url.toDisplayString());
        QTimer::singleShot(0, this, [this, reason] { finish(failure(reason)); });
        return;
    }
    connect(&m_timer, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("no complete answer within %1 ms").arg(m_limits.timeoutMs)); });
    m_timer.start(m_limits.timeoutMs);
    request(url, true);
}

PageFetch::~PageFetch()
{
    m_finished = true;
    release(false);
}

QUrl PageFetch::url() const
{
    return m_url;
}

void PageFetch::request(const QUrl &url, bool reuse)
{
    m_current = url;
    m_response.emplace(m_limits.sizeLimit);
    m_socket = reuse && m_connections ? m_connections->take(url) : nullptr;
    m_reused = m_socket != nullptr;
    if (m_reused) {
        m_socket->setParent(this);
    } else if (isSecure(url)) {
        auto *secure = new QSslSocket(this);
        m_socket = secure;
        connect(secure, &QSslSocket::encrypted, this, &PageFetch::send);
    } else {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QAbstractSocket::connected, this, &PageFetch::send);
    }
    connect(m_socket, &QIODevice::readyRead, this, &PageFetch::onReadyRead);
    // A server that closes or resets the connection ends the answer; so does any other
    // error (refused, not found, a certificate not trusted).
    connect(m_socket, &QAbstractSocket::disconnected, this, &PageFetch::onClosed);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &PageFetch::onClosed);
    const quint16 port = quint16(url.port(isSecure(url) ? 443 : 80));
    if (m_reused)
        send();
    else if (auto *secure = qobject_cast<QSslSocket *>(m_socket))
        secure->connectToHostEncrypted(url.host(), port);
    else
        m_socket->connectToHost(url.host(), port);
}

void PageFetch::send()
{
    if (m_socket)
        m_socket->write(requestFor(m_current, m_cache));
}

void PageFetch::onReadyRead()
{
    if (m_socket)
        takeUp(m_response->feed(m_socket->readAll()));
}

void PageFetch::takeUp(HttpResponse::State state)
{
    switch (state) {
    case HttpResponse::State::Complete:
        return onAnswer();
    case HttpResponse::State::Failed:
        return fail(m_response->error());
    case HttpResponse::State::Reading:
        return;
    }
}

void PageFetch::onClosed()
{
    if (!m_socket || m_finished)
        return;
    m_response->feed(m_socket->readAll());
    if (m_response->state() == HttpResponse::State::Reading && m_response->nothingReceived()) {
        // A kept connection the server had closed meanwhile: the page is asked for once more
        // on a new one.
        if (m_reused && !m_resent) {
            m_resent = true;
            release(false);
            return request(m_current, false);
        }
        if (m_socket->error() != QAbstractSocket::RemoteHostClosedError)
            return fail(m_socket->errorString());
    }
    takeUp(m_response->endOfStream());
}

void PageFetch::onAnswer()
{
    const HttpResponse &answer = *m_response;
    const int status = answer.status();
    release(answer.keepsConnection());
    if (isRedirect(status) && !answer.header("Location").isEmpty()) {
        const QUrl target = m_current.resolved(QUrl::fromEncoded(answer.header("Location")));
        const bool downgrade = isSecure(m_current) && !isSecure(target);
        if (!isWebAddress(target) || downgrade)
            return fail(QStringLiteral("redirected to an address that is not followed"));
        if (++m_redirects > kMaxRedirects)
            return fail(QStringLiteral("redirected more than %1 times").arg(kMaxRedirects));
        return request(target, true);
    }
    if (status < 200 || status > 299)
        return fail(QStringLiteral("the server answered with status %1").arg(status));
    const QByteArray encoding = answer.header("Content-Encoding").toLower();
    if (!encoding.isEmpty() && encoding != "identity")
        return fail(QStringLiteral("the server sent the page packed (%1)").arg(QString::fromLatin1(encoding)));
    if (answer.body().isEmpty())
        return fail(QStringLiteral("the server sent an empty page"));
    Result result;
    result.ok = true;
    result.body = answer.body();
    finish(result);
}

void PageFetch::release(bool reusable)
{
    if (!m_socket)
        return;
    QAbstractSocket *const socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    if (reusable && m_connections) {
        m_connections->giveBack(m_current, socket);
        return;
    }
    socket->abort();
    socket->setParent(nullptr);
    socket->deleteLater();
}

void PageFetch::fail(const QString &reason)
{
    release(false);
    finish(failure(reason));
}

void PageFetch::finish(const Result &result)
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    // The callback may delete this fetch: nothing of it is touched afterwards.
    const Done done = std::move(m_done);
    done(this, result);
}
