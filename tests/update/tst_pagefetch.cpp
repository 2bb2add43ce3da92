// SPDX-License-Identifier: GPL-3.0-or-later
// Fetching a page without waiting for it, against a loopback server (and a raw socket
// for answers no proper server gives), reading HTTP answers, writing a page file, and the
// server's own limits.
#include "siteserver.h"
#include "update/httpresponse.h"
#include "update/pageconnections.h"
#include "update/pagefetch.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

}

class TestPageFetch final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SiteServer> m_server;
    std::unique_ptr<PageConnections> m_net;

    QString sitePath(const QString &name) const { return m_dir->filePath(QStringLiteral("site") + name); }
    QString target() const { return m_dir->filePath(QStringLiteral("tempfile.htm")); }

    // The fetch's result once its callback has run.
    std::optional<PageFetch::Result> get(const QUrl &url, PageFetch::Limits limits = {})
    {
        std::optional<PageFetch::Result> result;
        int calls = 0;
        auto *fetch = new PageFetch(m_net.get(), url, PageFetch::Cache::Fresh, limits,
                                    [&](PageFetch *done, const PageFetch::Result &r) {
                                        result = r;
                                        ++calls;
                                        done->deleteLater();
                                    });
        // Never from inside the constructor, even for an address refused at once.
        if (calls != 0)
            return std::nullopt;
        if (!QTest::qWaitFor([&] { return calls > 0; }, 10000))
            delete fetch;
        QTest::qWait(0);
        return calls == 1 ? result : std::nullopt;
    }

private slots:
    void init();
    void cleanup();
    void fetch_data();
    void fetch();
    void rawAnswers_data();
    void rawAnswers();
    void refusedConnectionAndOtherSchemes();
    void abandonedFetchNeverAnswers();
    void answersReadInAnyPieces_data();
    void answersReadInAnyPieces();
    void keptConnectionIsReused();
    void arrivedPageOutlastsAnInnerLoop();
    void pageFileIsWrittenWhole();
    void serverKeepsToItsFolder_data();
    void serverKeepsToItsFolder();
};

void TestPageFetch::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    writeFile(sitePath("/dbupdate/123/msg12345.htm"), "page 12345");
    m_server = std::make_unique<SiteServer>(m_dir->filePath(QStringLiteral("site")));
    QVERIFY(m_server->listenLocal() != 0);
    m_net = std::make_unique<PageConnections>();
}

void TestPageFetch::cleanup()
{
    m_net.reset();
    m_server.reset();
    m_dir.reset();
}

void TestPageFetch::fetch_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");   // of the staged answer; 0: serve the file
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("hang");
    QTest::addColumn<bool>("ok");

    QTest::newRow("file") << "/dbupdate/123/msg12345.htm" << 0 << QByteArray() << 0 << false << true;
    QTest::newRow("slow but in time") << "/p" << 200 << QByteArray("late") << 100 << false << true;
    QTest::newRow("404") << "/dbupdate/123/msg12346.htm" << 0 << QByteArray() << 0 << false << false;
    QTest::newRow("500 with a page") << "/p" << 500 << QByteArray("<h1>oops</h1>") << 0 << false << false;
    QTest::newRow("503") << "/p" << 503 << QByteArray("busy") << 0 << false << false;
    QTest::newRow("empty 200") << "/p" << 200 << QByteArray() << 0 << false << false;
    QTest::newRow("past the timeout") << "/p" << 200 << QByteArray("too late") << 1500 << false << false;
    QTest::newRow("never answers") << "/p" << 200 << QByteArray() << 0 << true << false;
    QTest::newRow("over the size limit") << "/p" << 200 << QByteArray(5001, 'x') << 0 << false << false;
    QTest::newRow("at the size limit") << "/p" << 200 << QByteArray(5000, 'x') << 0 << false << true;
}

void TestPageFetch::fetch()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, delayMs);
    QFETCH(bool, hang);
    QFETCH(bool, ok);
    if (status != 0)
        m_server->setAnswer(path, SiteServer::Answer{status, body, delayMs, hang});

    const auto result = get(QUrl(m_server->baseUrl() + path), PageFetch::Limits{400, 5000});
    QVERIFY(result);
    QCOMPARE(result->ok, ok);
    if (ok)
        QCOMPARE(result->body, status == 0 ? readFile(sitePath(path)) : body);
    else
        QVERIFY(!result->reason.isEmpty());
}

void TestPageFetch::rawAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("reset"); // the server resets the connection instead of closing it
    QTest::addColumn<QByteArray>("body"); // empty: a failure
    const QByteArray chunks = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n";
    for (const bool reset : {false, true}) {
        const char *how = reset ? ", reset" : ", closed";
        QTest::newRow(QByteArray("cut before its length") + how)
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n") + QByteArray(500, 'a') << reset
            << QByteArray();
        QTest::newRow(QByteArray("chunks cut off") + how) << chunks + "10\r\nfgh" << reset << QByteArray();
        QTest::newRow(QByteArray("no last chunk") + how) << chunks << reset << QByteArray();
        QTest::newRow(QByteArray("header cut off") + how) << QByteArray("HTTP/1.1 200 OK\r\nContent-Le") << reset
                                                          << QByteArray();
        QTest::newRow(QByteArray("ended by closing") + how) << QByteArray("HTTP/1.0 200 OK\r\n\r\nwhole page") << reset
                                                            << QByteArray("whole page");
    }
    QTest::newRow("whole chunks") << chunks + "3;x=y\r\nfgh\r\n0\r\nTrailer: t\r\n\r\n" << false
                                  << QByteArray("abcdefgh");
    QTest::newRow("redirect loop") << QByteArray("HTTP/1.1 302 Found\r\nLocation: /p\r\nContent-Length: 0\r\n\r\n")
                                   << false << QByteArray();
    QTest::newRow("redirect to a file") << QByteArray("HTTP/1.1 302 Found\r\nLocation: file:///etc/passwd\r\n"
                                                      "Content-Length: 0\r\n\r\n")
                                        << false << QByteArray();
    QTest::newRow("whole length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\npage") << false
                                  << QByteArray("page");
    QTest::newRow("after a 100 Continue")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\npage") << false
        << QByteArray("page");
    QTest::newRow("packed") << QByteArray("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 4\r\n\r\npage")
                            << false << QByteArray();
    QTest::newRow("two lengths") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 4\r\nContent-Length: 5\r\n\r\npages")
                                 << false << QByteArray();
    QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH_9.2\r\n\r\n") << false << QByteArray();
}

void TestPageFetch::rawAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, reset);
    QFETCH(QByteArray, body);
    m_server->setAnswer(QStringLiteral("/p"), SiteServer::Answer::raw(answer, reset));
    const auto result = get(QUrl(m_server->baseUrl() + QStringLiteral("/p")), PageFetch::Limits{3000, 5000});
    QVERIFY(result);
    QCOMPARE(result->ok, !body.isEmpty());
    QCOMPARE(result->body, body);
}

void TestPageFetch::refusedConnectionAndOtherSchemes()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 freePort = probe.serverPort();
    probe.close();
    const auto refused = get(QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(freePort)));
    QVERIFY(refused && !refused->ok);
    const auto local = get(QUrl::fromLocalFile(sitePath("/dbupdate/123/msg12345.htm")));
    QVERIFY(local && !local->ok);
    QVERIFY(local->reason.contains(QLatin1String("not an http address")));
}

void TestPageFetch::abandonedFetchNeverAnswers()
{
    m_server->setAnswer(QStringLiteral("/p"), SiteServer::Answer{200, "late", 200, false});
    int calls = 0;
    auto *fetch = new PageFetch(m_net.get(), QUrl(m_server->baseUrl() + QStringLiteral("/p")),
                                PageFetch::Cache::Allowed, {}, [&](PageFetch *, const PageFetch::Result &) { ++calls; });
    QTRY_VERIFY(m_server->requests().contains(QStringLiteral("/p")));
    delete fetch;
    QTest::qWait(400);
    QCOMPARE(calls, 0);
}

void TestPageFetch::answersReadInAnyPieces_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("closed"); // the connection ends after the bytes
    QTest::addColumn<QByteArray>("body"); // empty: a failure
    QTest::addColumn<bool>("keeps");
    QTest::newRow("length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabcde") << false
                            << QByteArray("abcde") << true;
    QTest::newRow("LF line ends") << QByteArray("HTTP/1.1 200 OK\nContent-Length: 5\n\nabcde") << false
                                  << QByteArray("abcde") << true;
    QTest::newRow("chunks") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                          "2\r\nab\r\nA\r\ncdefghijkl\r\n0\r\n\r\n")
                            << false << QByteArray("abcdefghijkl") << true;
    QTest::newRow("chunks without their end") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                                            "2\r\nab\r\n")
                                              << true << QByteArray() << false;
    QTest::newRow("closed by the server") << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nab")
                                          << false << QByteArray("ab") << false;
    QTest::newRow("until closed") << QByteArray("HTTP/1.1 200 OK\r\n\r\nabc") << true << QByteArray("abc") << false;
    QTest::newRow("HTTP/1.0 kept") << QByteArray("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 1\r\n\r\na")
                                   << false << QByteArray("a") << true;
    QTest::newRow("bytes after the answer") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\naHTTP")
                                            << false << QByteArray("a") << false;
    QTest::newRow("over the size limit in chunks") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                                                 "64\r\n") + QByteArray(100, 'x')
                                                   << true << QByteArray() << false;
}

void TestPageFetch::answersReadInAnyPieces()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, closed);
    QFETCH(QByteArray, body);
    QFETCH(bool, keeps);
    // Every way of cutting the bytes into two pieces, and one byte at a time, reads alike.
    for (qsizetype cut = 0; cut <= answer.size() + 1; ++cut) {
        HttpResponse response(50);
        if (cut <= answer.size()) {
            response.feed(QByteArrayView(answer).first(cut));
            response.feed(QByteArrayView(answer).sliced(cut));
        } else {
            for (const char c : answer)
                response.feed(QByteArrayView(&c, 1));
        }
        if (closed)
            response.endOfStream();
        const bool ok = response.state() == HttpResponse::State::Complete;
        QVERIFY2(ok == !body.isEmpty(), qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(response.error())));
        if (ok)
            QCOMPARE(response.body(), body);
        QCOMPARE(response.keepsConnection(), keeps);
    }
}

void TestPageFetch::keptConnectionIsReused()
{
    // Page after page goes over the connection the server keeps open.
    for (int i = 0; i < 3; ++i) {
        const auto result = get(QUrl(m_server->baseUrl() + QStringLiteral("/dbupdate/123/msg12345.htm")));
        QVERIFY(result && result->ok);
    }
    QCOMPARE(m_server->requests().size(), 3);
    QCOMPARE(m_server->connectionCount(), 1);
    QCOMPARE(m_net->idleCount(), 1);
}

void TestPageFetch::arrivedPageOutlastsAnInnerLoop()
{
    // Another command (a dialog, a search) runs its own event loop for longer than the
    // timeout: the page that came in time is still a page.
    m_server->setAnswer(QStringLiteral("/p"), SiteServer::Answer{200, "in time", 50, false});
    QTimer::singleShot(10, this, [] {
        QEventLoop inner;
        QTimer::singleShot(700, &inner, &QEventLoop::quit);
        inner.exec();
    });
    const auto result = get(QUrl(m_server->baseUrl() + QStringLiteral("/p")), PageFetch::Limits{300, 5000});
    QVERIFY(result && result->ok);
    QCOMPARE(result->body, QByteArray("in time"));
}

void TestPageFetch::pageFileIsWrittenWhole()
{
    writeFile(target(), "old contents");
    QString error;
    QVERIFY(writePageFile(target(), "new page", &error));
    QCOMPARE(readFile(target()), QByteArray("new page"));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("taken.htm")));
    QVERIFY(!writePageFile(m_dir->filePath(QStringLiteral("taken.htm")), "page", &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo(m_dir->filePath(QStringLiteral("taken.htm"))).isDir());
    // No scratch file is left beside the pages.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("tempfile.htm")});
}

void TestPageFetch::serverKeepsToItsFolder_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::newRow("inside") << QByteArray("/dbupdate/123/msg12345.htm") << QByteArray("HTTP/1.1 200 OK");
    QTest::newRow("dot dot") << QByteArray("/dbupdate/../../secret.txt") << QByteArray("HTTP/1.1 404 Not Found");
    QTest::newRow("encoded dot dot") << QByteArray("/%2e%2e/secret.txt") << QByteArray("HTTP/1.1 404 Not Found");
    QTest::newRow("link out of the folder") << QByteArray("/link.txt") << QByteArray("HTTP/1.1 404 Not Found");
    QTest::newRow("a folder") << QByteArray("/dbupdate/123") << QByteArray("HTTP/1.1 404 Not Found");
    QTest::newRow("a folder with a page") << QByteArray("/club/") << QByteArray("HTTP/1.1 200 OK");
    QTest::newRow("a folder's page out of the folder") << QByteArray("/linked/") << QByteArray("HTTP/1.1 404 Not Found");
}

void TestPageFetch::serverKeepsToItsFolder()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, statusLine);
    writeFile(m_dir->filePath(QStringLiteral("secret.txt")), "secret");
    QFile::link(m_dir->filePath(QStringLiteral("secret.txt")), sitePath("/link.txt"));
    writeFile(sitePath("/club/index.html"), "club page");
    QDir().mkpath(sitePath("/linked"));
    QFile::link(m_dir->filePath(QStringLiteral("secret.txt")), sitePath("/linked/index.html"));

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, QUrl(m_server->baseUrl()).port());
    QVERIFY(socket.waitForConnected(2000));
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    QTRY_VERIFY_WITH_TIMEOUT((answer += socket.readAll()).contains("\r\n\r\n"), 3000);
    QCOMPARE(answer.left(answer.indexOf("\r\n")), statusLine);
    QTest::qWait(100);
    answer += socket.readAll();
    QVERIFY(!answer.contains("secret"));
}

QTEST_GUILESS_MAIN(TestPageFetch)
#include "tst_pagefetch.moc"
