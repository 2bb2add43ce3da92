// Fetching a page into a file against a loopback server, and the server's own limits.
#include "siteserver.h"
#include "store/pagefetcher.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

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

class TestPageFetcher final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SiteServer> m_server;
    std::unique_ptr<QNetworkAccessManager> m_net;

    QString sitePath(const QString &name) const { return m_dir->filePath(QStringLiteral("site") + name); }
    QString target() const { return m_dir->filePath(QStringLiteral("tempfile.htm")); }

private slots:
    void init();
    void cleanup();
    void fetch_data();
    void fetch();
    void refusedConnection();
    void unwritableTarget();
    void managerGoneDuringFetch();
    void arrivedPageOutlastsAnInnerLoop();
    void serverKeepsToItsFolder_data();
    void serverKeepsToItsFolder();
};

void TestPageFetcher::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    writeFile(sitePath("/dbupdate/123/msg12345.htm"), "page 12345");
    writeFile(target(), "old contents");
    m_server = std::make_unique<SiteServer>(m_dir->filePath(QStringLiteral("site")));
    QVERIFY(m_server->listenLocal() != 0);
    m_net = std::make_unique<QNetworkAccessManager>();
}

void TestPageFetcher::cleanup()
{
    m_net.reset();
    m_server.reset();
    m_dir.reset();
}

void TestPageFetcher::fetch_data()
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

void TestPageFetcher::fetch()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, delayMs);
    QFETCH(bool, hang);
    QFETCH(bool, ok);
    if (status != 0)
        m_server->setAnswer(path, SiteServer::Answer{status, body, delayMs, hang});

    PageFetcher fetcher(m_net.get());
    fetcher.setTimeout(400);
    fetcher.setSizeLimit(5000);
    const PageFetcher::Result result =
        fetcher.fetch(QUrl(m_server->baseUrl() + path), target(), PageFetcher::Cache::Fresh);
    QCOMPARE(result.status, ok ? PageFetcher::Status::Ok : PageFetcher::Status::Failed);
    const QByteArray expected = status == 0 ? readFile(sitePath(path)) : body;
    QCOMPARE(readFile(target()), ok ? expected : QByteArray("old contents"));
    if (ok)
        QCOMPARE(result.body, expected);
    else
        QVERIFY(!result.reason.isEmpty());
    // No scratch file is left beside the page.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("tempfile.htm")});
}

void TestPageFetcher::refusedConnection()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 freePort = probe.serverPort();
    probe.close();
    PageFetcher fetcher(m_net.get());
    const auto result = fetcher.fetch(QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(freePort)), target(),
                                      PageFetcher::Cache::Allowed);
    QCOMPARE(result.status, PageFetcher::Status::Failed);
    QCOMPARE(readFile(target()), QByteArray("old contents"));
    // Only web addresses are fetched.
    QCOMPARE(fetcher.fetch(QUrl::fromLocalFile(sitePath("/dbupdate/123/msg12345.htm")), target(),
                           PageFetcher::Cache::Allowed).status,
             PageFetcher::Status::Failed);
}

void TestPageFetcher::unwritableTarget()
{
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("taken.htm")));
    PageFetcher fetcher(m_net.get());
    const auto result = fetcher.fetch(QUrl(m_server->baseUrl() + QStringLiteral("/dbupdate/123/msg12345.htm")),
                                      m_dir->filePath(QStringLiteral("taken.htm")), PageFetcher::Cache::Allowed);
    QCOMPARE(result.status, PageFetcher::Status::WriteFailed);
    QVERIFY(QFileInfo(m_dir->filePath(QStringLiteral("taken.htm"))).isDir());
}

void TestPageFetcher::managerGoneDuringFetch()
{
    m_server->setAnswer(QStringLiteral("/p"), SiteServer::Answer{200, {}, 0, true});
    PageFetcher fetcher(m_net.get());
    QTimer::singleShot(100, this, [this] { m_net.reset(); });
    const auto result = fetcher.fetch(QUrl(m_server->baseUrl() + QStringLiteral("/p")), target(),
                                      PageFetcher::Cache::Allowed);
    QCOMPARE(result.status, PageFetcher::Status::Interrupted);
    QCOMPARE(readFile(target()), QByteArray("old contents"));
    // A fetcher whose manager has gone refuses at once.
    QCOMPARE(fetcher.fetch(QUrl(m_server->baseUrl() + QStringLiteral("/p")), target(), PageFetcher::Cache::Allowed)
                 .status,
             PageFetcher::Status::Interrupted);
}

void TestPageFetcher::arrivedPageOutlastsAnInnerLoop()
{
    // Another command (a dialog, a search) runs its own event loop inside the fetch's wait
    // for longer than the timeout: the page that came in time is still a page.
    m_server->setAnswer(QStringLiteral("/p"), SiteServer::Answer{200, "in time", 50, false});
    PageFetcher fetcher(m_net.get());
    fetcher.setTimeout(300);
    QTimer::singleShot(10, this, [] {
        QEventLoop inner;
        QTimer::singleShot(700, &inner, &QEventLoop::quit);
        inner.exec();
    });
    const auto result = fetcher.fetch(QUrl(m_server->baseUrl() + QStringLiteral("/p")), target(),
                                      PageFetcher::Cache::Allowed);
    QCOMPARE(result.status, PageFetcher::Status::Ok);
    QCOMPARE(readFile(target()), QByteArray("in time"));
}

void TestPageFetcher::serverKeepsToItsFolder_data()
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

void TestPageFetcher::serverKeepsToItsFolder()
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

QTEST_GUILESS_MAIN(TestPageFetcher)
#include "tst_pagefetcher.moc"
