// SPDX-License-Identifier: GPL-3.0-or-later
#include "rawserver.h"

#include <QPointer>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>

#include <sys/socket.h>

namespace {

void reset(QTcpSocket *socket)
{
    // No lingering on close: the peer gets a reset, not an orderly end.
    const linger now{1, 0};
    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
    socket->abort();
}

}

RawServer::RawServer(QObject *parent)
    : QObject(parent)
{
}

RawServer::~RawServer() = default;

bool RawServer::listenLocal()
{
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection())
            accept(socket);
    });
    return m_server->listen(QHostAddress::LocalHost);
}

bool RawServer::listenLocalTls(const QSslCertificate &certificate, const QSslKey &key)
{
    auto *server = new QSslServer(this);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(certificate);
    tls.setPrivateKey(key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone); // clients bring no certificate
    server->setSslConfiguration(tls);
    m_server = server;
    m_tls = true;
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection())
            accept(socket);
    });
    return m_server->listen(QHostAddress::LocalHost);
}

QString RawServer::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(m_tls ? QStringLiteral("https") : QStringLiteral("http")).arg(m_server->serverPort());
}

void RawServer::setAnswers(const QList<Answer> &answers)
{
    m_answers = answers;
}

int RawServer::requestCount() const
{
    return m_requests;
}

QList<QByteArray> RawServer::requestHeads() const
{
    return m_heads;
}

int RawServer::connectionCount() const
{
    return m_connections;
}

void RawServer::accept(QTcpSocket *socket)
{
    ++m_connections;
    socket->setParent(this);
    auto pending = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, pending] {
        *pending += socket->readAll();
        // The requests carry no body: each ends with its header.
        while (pending->contains("\r\n\r\n")) {
            const qsizetype end = pending->indexOf("\r\n\r\n") + 4;
            m_heads << pending->first(end);
            pending->remove(0, end);
            answer(socket);
        }
    });
}

void RawServer::answer(QTcpSocket *socket)
{
    const Answer answer = m_answers.isEmpty() ? Answer{} : m_answers.value(m_requests, m_answers.constLast());
    ++m_requests;
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
        case Answer::End::Reset:
            reset(target);
            return;
        }
    };
    if (answer.dripMs <= 0) {
        socket->write(answer.bytes);
        socket->flush();
        // A moment for the bytes to leave before the end, as from a real server.
        QTimer::singleShot(20, this, end);
        return;
    }
    auto *drip = new QTimer(socket);
    auto sent = std::make_shared<qsizetype>(0);
    connect(drip, &QTimer::timeout, socket, [socket, drip, sent, bytes = answer.bytes, end] {
        if (*sent >= bytes.size()) {
            drip->stop();
            end();
            return;
        }
        socket->write(bytes.mid((*sent)++, 1));
    });
    drip->start(answer.dripMs);
}
