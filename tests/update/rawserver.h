// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

class QTcpServer;
class QTcpSocket;

// A loopback server that answers each request with bytes the test gives, for answers no
// proper server gives: cut off, reset, dripped a byte at a time, or over TLS with the
// test's own certificate.
class RawServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RawServer)
public:
    struct Answer
    {
        enum class End {
            Keep,  // the connection stays open for the next request
            Close,
            Reset,
            Hang,  // nothing more is sent, and the connection stays open
        };
        QByteArray bytes;
        End end = End::Close;
        int dripMs = 0; // one byte every so many milliseconds; 0: all at once
    };

    explicit RawServer(QObject *parent = nullptr);
    ~RawServer() override;

    bool listenLocal();
    bool listenLocalTls(const QSslCertificate &certificate, const QSslKey &key);
    // "http://127.0.0.1:<port>", or https.
    QString baseUrl() const;
    // The n-th request gets the n-th answer; the last one answers every request after it.
    void setAnswers(const QList<Answer> &answers);
    int requestCount() const;
    // The head of every request, in the order they came.
    QList<QByteArray> requestHeads() const;
    int connectionCount() const;

private:
    void accept(QTcpSocket *socket);
    void answer(QTcpSocket *socket);

    QTcpServer *m_server = nullptr;
    bool m_tls = false;
    QList<Answer> m_answers;
    int m_requests = 0;
    QList<QByteArray> m_heads;
    int m_connections = 0;
};
