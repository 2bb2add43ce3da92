// SPDX-License-Identifier: GPL-3.0-or-later
#include "loggingproxy.h"

#include <QPointer>
#include <QTcpSocket>
#include <QUrl>

namespace {

constexpr qsizetype kHeadLimit = 64 * 1024;

QByteArray headerValue(const QByteArray &head, QByteArrayView name)
{
    for (const QByteArray &line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.sliced(colon + 1).trimmed();
    }
    return {};
}

}

// One client's connection: its requests, taken apart one by one, and the connection to
// the server it is carried to (plain requests) or joined with (a tunnel).
class LoggingProxy::Client final : public QObject
{
public:
    Client(LoggingProxy *proxy, QTcpSocket *socket)
        : QObject(proxy)
        , m_proxy(proxy)
        , m_client(socket)
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, &Client::onClientBytes);
        connect(socket, &QTcpSocket::disconnected, this, &Client::close);
    }

private:
    void onClientBytes()
    {
        m_pending += m_client->readAll();
        if (m_tunnel) {
            m_upstream->write(std::exchange(m_pending, {}));
            return;
        }
        while (true) {
            const qsizetype end = m_pending.indexOf("\r\n\r\n");
            if (end < 0) {
                if (m_pending.size() > kHeadLimit)
                    close();
                return;
            }
            const QByteArray head = m_pending.first(end + 2);
            m_pending.remove(0, end + 4);
            if (!takeRequest(head))
                return;
        }
    }

    // False when the connection is no longer read as requests.
    bool takeRequest(const QByteArray &head)
    {
        const QByteArray line = head.left(head.indexOf("\r\n"));
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 3) {
            close();
            return false;
        }
        m_proxy->log(QString::fromLatin1(parts[0] + ' ' + parts[1]));
        switch (m_proxy->m_behaviour) {
        case Behaviour::Close:
            close();
            return false;
        case Behaviour::Stall:
            return true;
        case Behaviour::Forward:
            break;
        }
        if (!m_proxy->m_credentials.isEmpty() && headerValue(head, "Proxy-Authorization") != m_proxy->m_credentials) {
            m_client->write("HTTP/1.1 407 Proxy Authentication Required\r\n"
                            "Proxy-Authenticate: Basic realm=\"loopback\"\r\nContent-Length: 0\r\n\r\n");
            return true;
        }
        if (parts[0] == "CONNECT") {
            const QUrl target(QStringLiteral("//") + QString::fromLatin1(parts[1]));
            connectUpstream(target.host(), quint16(target.port()));
            m_tunnel = true;
            connect(m_upstream, &QTcpSocket::connected, this, [this] {
                m_client->write("HTTP/1.1 200 Connection established\r\n\r\n");
                if (!m_pending.isEmpty())
                    m_upstream->write(std::exchange(m_pending, {}));
            });
            return false;
        }
        // The request goes on in origin form, without what was meant for the proxy.
        const QUrl url(QString::fromLatin1(parts[1]));
        QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
        if (url.hasQuery())
            target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
        QByteArray forwarded = parts[0] + ' ' + (target.isEmpty() ? QByteArray("/") : target) + ' ' + parts[2] + "\r\n";
        for (const QByteArray &header : head.mid(line.size() + 2).split('\n')) {
            const QByteArray trimmed = header.trimmed();
            if (!trimmed.isEmpty() && !trimmed.toLower().startsWith("proxy-"))
                forwarded += trimmed + "\r\n";
        }
        forwarded += "\r\n";
        const QString server = url.host() + QLatin1Char(':') + QString::number(url.port(80));
        if (!m_upstream || m_server != server) {
            connectUpstream(url.host(), quint16(url.port(80)));
            m_server = server;
        }
        m_upstream->write(forwarded);
        return true;
    }

    void connectUpstream(const QString &host, quint16 port)
    {
        if (m_upstream)
            m_upstream->deleteLater();
        m_upstream = new QTcpSocket(this);
        // The server's answers go back as they come: the client reads their framing itself.
        connect(m_upstream, &QTcpSocket::readyRead, this, [this] { m_client->write(m_upstream->readAll()); });
        connect(m_upstream, &QTcpSocket::disconnected, this, &Client::close);
        connect(m_upstream, &QTcpSocket::errorOccurred, this, &Client::close);
        m_upstream->connectToHost(host, port);
    }

    void close()
    {
        if (m_closed)
            return;
        m_closed = true;
        if (m_upstream) {
            m_upstream->disconnect(this);
            m_client->write(m_upstream->readAll());
            m_upstream->disconnectFromHost();
        }
        m_client->disconnect(this);
        m_client->disconnectFromHost();
        deleteLater();
    }

    LoggingProxy *m_proxy;
    QTcpSocket *m_client;
    QPointer<QTcpSocket> m_upstream;
    QString m_server;
    QByteArray m_pending;
    bool m_tunnel = false;
    bool m_closed = false;
};

LoggingProxy::LoggingProxy(QObject *parent)
    : QTcpServer(parent)
{
}

LoggingProxy::~LoggingProxy() = default;

quint16 LoggingProxy::listenLocal(quint16 port)
{
    return listen(QHostAddress::LocalHost, port) ? serverPort() : 0;
}

void LoggingProxy::setBehaviour(Behaviour behaviour)
{
    m_behaviour = behaviour;
}

void LoggingProxy::requireCredentials(const QByteArray &user, const QByteArray &password)
{
    m_credentials = user.isEmpty() ? QByteArray() : "Basic " + (user + ':' + password).toBase64();
}

QStringList LoggingProxy::requests() const
{
    return m_requests;
}

void LoggingProxy::clearRequests()
{
    m_requests.clear();
}

void LoggingProxy::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    new Client(this, socket);
}

void LoggingProxy::log(const QString &line)
{
    m_requests << line;
    emit requested(line);
}
