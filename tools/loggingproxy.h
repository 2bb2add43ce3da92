// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTcpServer>

class QTcpSocket;

// An HTTP proxy on the loopback address for the tests and the benchmarks: it forwards
// plain requests (absolute addresses, kept-alive connections) and tunnels CONNECT, and
// writes down every request it is asked to carry. It can also stand in for a proxy that
// wants credentials, that closes every connection at once, or that never answers.
class LoggingProxy final : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LoggingProxy)
public:
    enum class Behaviour {
        Forward,
        Close, // closes each connection as soon as a request arrives
        Stall, // reads requests and never answers
    };

    explicit LoggingProxy(QObject *parent = nullptr);
    ~LoggingProxy() override;

    // Listens on 127.0.0.1; port 0 takes a free one. Returns the port, 0 on failure.
    quint16 listenLocal(quint16 port = 0);
    void setBehaviour(Behaviour behaviour);
    // Requests without these Basic credentials get 407; empty: none are asked for.
    void requireCredentials(const QByteArray &user, const QByteArray &password);

    // "GET http://host/path" and "CONNECT host:port" lines, in the order they came.
    QStringList requests() const;
    void clearRequests();

signals:
    void requested(const QString &line);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    class Client;
    void log(const QString &line);

    Behaviour m_behaviour = Behaviour::Forward;
    QByteArray m_credentials; // "Basic <base64>"
    QStringList m_requests;
};
