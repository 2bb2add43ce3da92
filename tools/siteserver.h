#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

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
        int status = 200;
        QByteArray body;
        int delayMs = 0;   // on top of the latency
        bool hang = false; // never answer
    };

    explicit SiteServer(const QString &root, QObject *parent = nullptr);
    ~SiteServer() override;

    // Listens on 127.0.0.1; port 0 takes a free one. Returns the port, 0 on failure.
    quint16 listenLocal(quint16 port = 0);
    // "http://127.0.0.1:<port>" once listening.
    QString baseUrl() const;

    void setLatency(int milliseconds); // added before every answer
    void setAnswer(const QString &path, const Answer &answer);
    void clearAnswers();

    QStringList requests() const; // paths asked for, in order
    void clearRequests();

signals:
    void requested(const QString &path);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    // The file for a request path, or an empty string.
    QString fileFor(const QString &path) const;
    void send(QTcpSocket *socket, int status, const QByteArray &body, const QByteArray &contentType, bool withBody,
              int delayMs);

    QString m_root;
    quint16 m_port = 0;
    int m_latency = 0;
    QHash<QString, Answer> m_answers;
    QStringList m_requests;
};
