// SPDX-License-Identifier: GPL-3.0-or-later
#include "siteserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace {

constexpr qint64 kLargestServedFile = 64 * 1024 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray contentTypeFor(const QString &path)
{
    if (path.endsWith(QLatin1String(".htm")) || path.endsWith(QLatin1String(".html")))
        return "text/html; charset=windows-1252";
    return "application/octet-stream";
}

}

SiteServer::Answer::Answer(int status, QByteArray body, int delayMs, bool hang)
    : status(status)
    , body(std::move(body))
    , delayMs(delayMs)
    , hang(hang)
{
}

SiteServer::Answer SiteServer::Answer::raw(QByteArray bytes, End end, int dripMs)
{
    Answer answer;
    answer.isRaw = true;
    answer.rawBytes = std::move(bytes);
    answer.end = end;
    answer.dripMs = dripMs;
    return answer;
}

SiteServer::SiteServer(const QString &root, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_root(QFileInfo(root).canonicalFilePath())
{
}

SiteServer::~SiteServer() = default;

quint16 SiteServer::listenLocal(quint16 port)
{
    m_port = listen(QHostAddress::LocalHost, port);
    return m_port;
}

quint16 SiteServer::listenLocalTls(const QSslCertificate &certificate, const QSslKey &key)
{
    sslSetup(certificate, key);
    m_tls = true;
    return listenLocal();
}

QString SiteServer::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(m_tls ? QStringLiteral("https") : QStringLiteral("http")).arg(m_port);
}

void SiteServer::setLatency(int milliseconds)
{
    m_latency = milliseconds;
}

void SiteServer::setAnswer(const QString &path, const Answer &answer)
{
    m_answers.insert(path, answer);
}

void SiteServer::clearAnswers()
{
    m_answers.clear();
}

QStringList SiteServer::requests() const
{
    return m_requests;
}

QList<QByteArray> SiteServer::requestHeads() const
{
    return m_heads;
}

void SiteServer::clearRequests()
{
    m_requests.clear();
    m_heads.clear();
    m_peerPorts.clear();
}

int SiteServer::connectionCount() const
{
    return int(m_peerPorts.size());
}

bool SiteServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    const QString path = request.url().path(QUrl::FullyDecoded);
    m_requests << path;
    QByteArray lines = "GET " + request.url().toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) + "\r\n";
    for (const auto &[name, value] : request.headers())
        lines += name + ": " + value + "\r\n";
    m_heads << lines;
    m_peerPorts.insert(socket->peerPort());
    emit requested(path);

    const bool head = request.method() == QHttpServerRequest::Method::Head;
    if (request.method() != QHttpServerRequest::Method::Get && !head) {
        send(socket, 405, QByteArray(), "text/plain", false, m_latency);
        return true;
    }
    const auto answer = m_answers.constFind(path);
    if (answer != m_answers.cend()) {
        if (answer->hang)
            return true; // the connection stays open and silent
        if (answer->isRaw) {
            sendRaw(socket, *answer);
            return true;
        }
        send(socket, answer->status, answer->body, contentTypeFor(path), !head, m_latency + answer->delayMs);
        return true;
    }
    QString file = fileFor(path);
    if (file.isEmpty())
        file = fileFor(path + QStringLiteral("/index.html")); // a folder's page, as web servers do
    QFile f(file);
    if (file.isEmpty() || !f.open(QIODevice::ReadOnly)) {
        send(socket, 404, QByteArrayLiteral("Not Found\n"), "text/plain", !head, m_latency);
        return true;
    }
    send(socket, 200, f.readAll(), contentTypeFor(file), !head, m_latency);
    return true;
}

void SiteServer::missingHandler(const QHttpServerRequest &, QTcpSocket *socket)
{
    send(socket, 404, QByteArrayLiteral("Not Found\n"), "text/plain", true, 0);
}

QString SiteServer::fileFor(const QString &path) const
{
    if (m_root.isEmpty() || !path.startsWith(QLatin1Char('/')) || path.contains(QLatin1Char('\\'))
        || path.contains(QChar(0)))
        return {};
    const QStringList segments = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (segments.contains(QLatin1String("..")) || segments.contains(QLatin1String(".")))
        return {};
    // Links inside the folder may not lead out of it.
    const QFileInfo info(m_root + QLatin1Char('/') + segments.join(QLatin1Char('/')));
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || !canonical.startsWith(m_root + QLatin1Char('/')) || !info.isFile()
        || info.size() > kLargestServedFile)
        return {};
    return canonical;
}

void SiteServer::sendRaw(QTcpSocket *socket, const Answer &answer)
{
    const QPointer<QTcpSocket> target(socket);
    const auto end = [target, how = answer.end] {
        if (!target)
            return;
        switch (how) {
        case Answer::End::Keep:
        case Answer::End::Hang:
            return;
        case Answer::End::Close:
            target->disconnectFromHost();
            return;
        case Answer::End::Reset: {
            // No lingering on close: the peer gets a reset, not an orderly end.
            const linger now{1, 0};
            ::setsockopt(int(target->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
            target->abort();
            return;
        }
        }
    };
    if (answer.dripMs <= 0) {
        socket->write(answer.rawBytes);
        socket->flush();
        // A moment for the bytes to leave before the end, as from a real server.
        QTimer::singleShot(20, this, end);
        return;
    }
    auto *drip = new QTimer(socket);
    connect(drip, &QTimer::timeout, socket, [socket, drip, end, bytes = answer.rawBytes, sent = qsizetype(0)]() mutable {
        if (sent >= bytes.size()) {
            drip->stop();
            end();
            return;
        }
        socket->write(bytes.mid(sent++, 1));
    });
    drip->start(answer.dripMs);
}

void SiteServer::send(QTcpSocket *socket, int status, const QByteArray &body, const QByteArray &contentType,
                      bool withBody, int delayMs)
{
    QByteArray message = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    message += "Content-Type: " + contentType + "\r\n";
    message += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    message += "Cache-Control: no-cache\r\n\r\n";
    if (withBody)
        message += body;
    const QPointer<QTcpSocket> target(socket);
    const auto write = [target, message] {
        // The client may have given up and closed the connection meanwhile.
        if (target && target->state() == QAbstractSocket::ConnectedState)
            target->write(message);
    };
    if (delayMs > 0)
        QTimer::singleShot(delayMs, this, write);
    else
        write();
}
