// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

class QSslCertificate;
class QSslKey;
class QTcpSocket;

// Serves a folder of static files (an update site) over HTTP on the loopback address,
// for the demo, the tests and the benchmarks. Only files inside the folder are served;
// a path that leaves it, or names a folder, gets 404.
class SiteServer final : public QAbstractHttpServer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SiteServer)
public:
    // What to send for one path instead of the file, to stage a faulty server.
    struct Answer
    {
        // How the connection goes on after bytes sent as they are.
        enum class End {
            Close,
            Reset,
            Keep, // open for the next request
            Hang, // open, and silent
        };
        Answer(int status = 200, QByteArray body = {}, int delayMs = 0, bool hang = false);
        // Bytes sent as they are instead of an answer (all at once, or one byte every
        // `dripMs`), for answers no proper server gives.
        static Answer raw(QByteArray bytes, End end = End::Close, int dripMs = 0);

        int status = 200;
        QByteArray body;
        int delayMs = 0;   // on top of the latency
        bool hang = false; // never answer
        bool isRaw = false;
        QByteArray rawBytes;
        End end = End::Close;
        int dripMs = 0;
    };

    explicit SiteServer(const QString &root, QObject *parent = nullptr);
    ~SiteServer() override;

    // Listens on 127.0.0.1; port 0 takes a free one. Returns the port, 0 on failure.
    quint16 listenLocal(quint16 port = 0);
    // The same over TLS, showing `certificate`.
    quint16 listenLocalTls(const QSslCertificate &certificate, const QSslKey &key);
    // "http://127.0.0.1:<port>" (https over TLS) once listening.
    QString baseUrl() const;

    void setLatency(int milliseconds); // added before every answer
    void setAnswer(const QString &path, const Answer &answer);
    void clearAnswers();

    QStringList requests() const; // paths asked for, in order
    // Each request's target and header lines ("GET /a?b=c\r\nName: value\r\n..."), in order.
    QList<QByteArray> requestHeads() const;
    void clearRequests();
    // How many connections the requests came over.
    int connectionCount() const;

signals:
    void requested(const QString &path);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    // The file for a request path, or an empty string.
    QString fileFor(const QString &path) const;
    void sendRaw(QTcpSocket *socket, const Answer &answer);
    void send(QTcpSocket *socket, int status, const QByteArray &body, const QByteArray &contentType, bool withBody,
              int delayMs);

    QString m_root;
    quint16 m_port = 0;
    bool m_tls = false;
    int m_latency = 0;
    QHash<QString, Answer> m_answers;
    QStringList m_requests;
    QList<QByteArray> m_heads;
    QSet<quint16> m_peerPorts; // one for each connection a request came over
};
