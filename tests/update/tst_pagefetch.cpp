// SPDX-License-Identifier: GPL-3.0-or-later
// Fetching a page through libcurl without waiting for it: against the update site's own
// server, against a raw loopback server for answers no proper server gives (cut, reset,
// hostile), over TLS with certificates made here, and through a logging proxy; writing a
// page file; and the site server's own limits.
#include "loggingproxy.h"
#include "processrun.h"
#include "testenv.h"
#include "siteserver.h"
#include "update/curlsession.h"
#include "update/pagefetch.h"
#include "base/version.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

using Answer = SiteServer::Answer;
using End = SiteServer::Answer::End;
using Answers = QList<SiteServer::Answer>;

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

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// Raw answers, sent as they are.
Answer redirectTo(const QByteArray &location)
{
    return Answer::raw("HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n", End::Keep);
}

QByteArray page(const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// The path the n-th staged answer is served at: the first at /p, the rest at /1, /2...
QString stagedPath(qsizetype n)
{
    return n == 0 ? QStringLiteral("/p") : QStringLiteral("/%1").arg(n);
}

// A certificate authority and server certificates signed by it (or not), made with the
// openssl program for this run.
struct Certificates
{
    QString authority; // the file of the authority's certificate, trusted by the fetches
    QString key;       // every server certificate's key
    QString good;      // for 127.0.0.1
    QString expired;
    QString otherHost;
    QString selfSigned;
};

std::optional<Certificates> makeCertificates(const QString &dir)
{
    const auto path = [&](const char *name) { return QDir(dir).filePath(QString::fromLatin1(name)); };
    const auto openssl = [](const QStringList &args) {
        const ProcessRun r = runProcess(QStringLiteral("openssl"), args);
        if (r.exitCode != 0)
            qWarning("openssl %s: %s", qPrintable(args.join(u' ')), qPrintable(r.out));
        return r.exitCode == 0;
    };
    const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                         QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    Certificates c{path("ca.crt"), path("server.key"), path("good.crt"), path("expired.crt"), path("other.crt"), path("self.crt")};
    if (!openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec
                 + QStringList{QStringLiteral("-keyout"), path("ca.key"), QStringLiteral("-out"), c.authority,
                               QStringLiteral("-subj"), QStringLiteral("/CN=Loopback test authority"), QStringLiteral("-days"),
                               QStringLiteral("2")})
        || !openssl(QStringList{QStringLiteral("req")} + ec
                    + QStringList{QStringLiteral("-keyout"), c.key, QStringLiteral("-out"), path("server.csr"),
                                  QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")}))
        return std::nullopt;
    const auto sign = [&](const QString &out, const QString &names, const QString &days) {
        QFile ext(path("ext"));
        if (!ext.open(QIODevice::WriteOnly) || ext.write(("subjectAltName=" + names + "\n").toLatin1()) < 0)
            return false;
        ext.close();
        return openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), path("server.csr"),
                        QStringLiteral("-CA"), c.authority, QStringLiteral("-CAkey"), path("ca.key"),
                        QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), out, QStringLiteral("-days"), days,
                        QStringLiteral("-extfile"), path("ext")});
    };
    if (!sign(c.good, QStringLiteral("IP:127.0.0.1"), QStringLiteral("2"))
        // Its end comes before its beginning: expired from the start.
        || !sign(c.expired, QStringLiteral("IP:127.0.0.1"), QStringLiteral("-1"))
        || !sign(c.otherHost, QStringLiteral("DNS:updates.example.org"), QStringLiteral("2"))
        || !openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), path("server.csr"),
                     QStringLiteral("-key"), c.key, QStringLiteral("-out"), c.selfSigned, QStringLiteral("-days"),
                     QStringLiteral("2")}))
        return std::nullopt;
    return c;
}

}

class TestPageFetch final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SiteServer> m_server;
    std::unique_ptr<CurlSession> m_session;
    QTemporaryDir m_certificateDir;
    std::optional<Certificates> m_certificates; // made once for the whole run
    qint64 m_longestStall = 0; // the longest the event loop went without turning, in the last get()

    QString sitePath(const QString &name) const { return m_dir->filePath(QStringLiteral("site") + name); }
    QString target() const { return m_dir->filePath(QStringLiteral("tempfile.htm")); }

    // The fetch's result once its callback has run.
    std::optional<PageFetch::Result> get(const QUrl &url, PageFetch::Limits limits = {}, const ProxyRoute &proxy = {},
                                         PageFetch::Cache cache = PageFetch::Cache::Fresh)
    {
        std::optional<PageFetch::Result> result;
        int calls = 0;
        auto *fetch = new PageFetch(m_session.get(), PageFetch::Request{url, cache, limits, proxy},
                                    [&](PageFetch *done, const PageFetch::Result &r) {
                                        result = r;
                                        ++calls;
                                        done->deleteLater();
                                    });
        // Never from inside the constructor, even for an address refused at once.
        if (calls != 0)
            return std::nullopt;
        QElapsedTimer tick;
        tick.start();
        m_longestStall = 0;
        QTimer beat;
        connect(&beat, &QTimer::timeout, this, [&] { m_longestStall = std::max(m_longestStall, tick.restart()); });
        beat.start(10);
        if (!QTest::qWaitFor([&] { return calls > 0; }, 60000))
            delete fetch;
        if (!TestEnv::waitForQueued()) // a second report would come before the marker
            return std::nullopt;
        return calls == 1 ? result : std::nullopt;
    }

    // A server over TLS showing one of the made certificates.
    std::unique_ptr<SiteServer> tlsServer(const QString &certificate)
    {
        QFile keyFile(m_certificates->key);
        const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificate);
        auto server = std::make_unique<SiteServer>(m_dir->filePath(QStringLiteral("site")));
        if (chain.isEmpty() || !keyFile.open(QIODevice::ReadOnly)
            || server->listenLocalTls(chain.constFirst(), QSslKey(keyFile.readAll(), QSsl::Ec)) == 0)
            return nullptr;
        return server;
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void answers_data();
    void answers();
    void cutOnAKeptConnection_data();
    void cutOnAKeptConnection();
    void requestSaysWhoAsksAndWhatItTakes_data();
    void requestSaysWhoAsksAndWhatItTakes();
    void keptConnectionIsReused();
    void refusedConnectionAndOtherSchemes();
    void abandonedFetchNeverAnswers();
    void arrivedPageOutlastsAnInnerLoop();
    void certificates_data();
    void certificates();
    void proxy_data();
    void proxy();
    void pageFileIsWrittenWhole();
    void serverKeepsToItsFolder_data();
    void serverKeepsToItsFolder();
};

void TestPageFetch::initTestCase()
{
    // The openssl program makes the test certificates.
    REQUIRE_OR_SKIP(TestEnv::missingPrograms({QStringLiteral("openssl")}, QStringLiteral("Debian package openssl")));
    QVERIFY(m_certificateDir.isValid());
    m_certificates = makeCertificates(m_certificateDir.path());
    QVERIFY(m_certificates);
}

void TestPageFetch::init()
{
    // A notifier left watching a socket curl has closed (whose number the next connection
    // may take) makes Qt complain of it.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QSocketNotifier")));
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    writeFile(sitePath("/dbupdate/123/msg12345.htm"), "page 12345");
    m_server = std::make_unique<SiteServer>(m_dir->filePath(QStringLiteral("site")));
    QVERIFY(m_server->listenLocal() != 0);
    m_session = std::make_unique<CurlSession>();
}

void TestPageFetch::cleanup()
{
    m_session.reset();
    m_server.reset();
    m_dir.reset();
}

void TestPageFetch::answers_data()
{
    QTest::addColumn<QString>("path");     // fetched; the staged answers lie at /p, /1, /2...
    QTest::addColumn<Answers>("staged");
    QTest::addColumn<QByteArray>("body");  // empty: a failure
    QTest::addColumn<QString>("reason");   // what the failure's text names

    const QString p = QStringLiteral("/p");
    const auto raw = [](const QByteArray &bytes, End end = End::Close) { return Answers{Answer::raw(bytes, end)}; };
    // Answers of a proper server, the site's files among them.
    QTest::newRow("file") << "/dbupdate/123/msg12345.htm" << Answers{} << QByteArray("page 12345") << QString();
    QTest::newRow("slow but in time") << p << Answers{{200, "late", 100}} << QByteArray("late") << QString();
    QTest::newRow("404") << "/dbupdate/123/msg12346.htm" << Answers{} << QByteArray() << "status 404";
    QTest::newRow("500 with a page") << p << Answers{{500, "<h1>oops</h1>"}} << QByteArray() << "status 500";
    QTest::newRow("503") << p << Answers{{503, "busy"}} << QByteArray() << "status 503";
    QTest::newRow("empty 200") << p << Answers{{200, {}}} << QByteArray() << "empty page";
    QTest::newRow("past the timeout") << p << Answers{{200, "too late", 3000}} << QByteArray() << "within 1500 ms";
    QTest::newRow("never answers") << p << Answers{{200, {}, 0, true}} << QByteArray() << "within 1500 ms";
    QTest::newRow("over the size limit") << p << Answers{{200, QByteArray(5001, 'x')}} << QByteArray() << "larger than 5000 bytes";
    QTest::newRow("at the size limit") << p << Answers{{200, QByteArray(5000, 'x')}} << QByteArray(5000, 'x') << QString();

    // Cut off, after a close and after a reset.
    const QByteArray chunks = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n";
    for (const End end : {End::Close, End::Reset}) {
        const char *how = end == End::Reset ? ", reset" : ", closed";
        QTest::newRow(QByteArray("cut before its length") + how)
            << p << raw(QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n") + QByteArray(500, 'a'), end) << QByteArray()
            << (end == End::Reset ? "after 500 of its 1000 bytes (the connection was reset)" : "after 500 of its 1000 bytes");
        QTest::newRow(QByteArray("chunks cut off") + how) << p << raw(chunks + "10\r\nfgh", end) << QByteArray() << "last chunk";
        QTest::newRow(QByteArray("no last chunk") + how) << p << raw(chunks, end) << QByteArray() << "last chunk, after 5 bytes";
        QTest::newRow(QByteArray("header cut off") + how) << p << raw("HTTP/1.1 200 OK\r\nContent-Le", end) << QByteArray()
                                                          << "header";
        QTest::newRow(QByteArray("header line cut off") + how) << p << raw("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n", end)
                                                               << QByteArray() << "header";
        QTest::newRow(QByteArray("nothing at all") + how) << p << raw({}, end) << QByteArray() << "before an answer came";
    }
    QTest::newRow("ended by closing") << p << raw("HTTP/1.0 200 OK\r\n\r\nwhole page") << QByteArray("whole page") << QString();
    // Without a length only an orderly end says the page is whole.
    QTest::newRow("ended by a reset") << p << raw("HTTP/1.0 200 OK\r\n\r\nwhole page?", End::Reset) << QByteArray()
                                      << "reset after 11 bytes";
    QTest::newRow("whole chunks") << p << raw(chunks + "3;x=y\r\nfgh\r\n0\r\nTrailer: t\r\n\r\n", End::Keep)
                                  << QByteArray("abcdefgh") << QString();
    QTest::newRow("whole length") << p << raw(page("page"), End::Keep) << QByteArray("page") << QString();
    QTest::newRow("after a 100 Continue") << p << raw("HTTP/1.1 100 Continue\r\n\r\n" + page("page"), End::Keep)
                                          << QByteArray("page") << QString();

    // Hostile or broken answers: each refused with its reason, the window turning throughout.
    QTest::newRow("packed") << p << raw("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 4\r\n\r\npage", End::Keep)
                            << QByteArray() << "packed (gzip)";
    QTest::newRow("gzip then chunked over a plain body")
        << p << raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n4\r\npage\r\n0\r\n\r\n", End::Keep) << QByteArray()
        << "not one that is read";
    QTest::newRow("two lengths") << p << raw("HTTP/1.1 200 OK\r\nContent-Length: 4\r\nContent-Length: 5\r\n\r\npages")
                                 << QByteArray() << "no valid length";
    QTest::newRow("absurd length") << p << raw("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\npage")
                                   << QByteArray() << "larger than 5000 bytes";
    QTest::newRow("declared over the size limit") << p << raw("HTTP/1.1 200 OK\r\nContent-Length: 6000\r\n\r\npage")
                                                  << QByteArray() << "larger than 5000 bytes";
    QTest::newRow("chunked over the size limit")
        << p
        << raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1000\r\n" + QByteArray(4096, 'x') + "\r\n1000\r\n"
                   + QByteArray(4096, 'x'),
               End::Hang)
        << QByteArray() << "larger than 5000 bytes";
    for (const char *size : {"ffffffffffffffff", "fffffffffffffffff", "-1", "0x5", "+5"}) {
        QTest::newRow(QByteArray("chunk size ") + size)
            << p << raw(QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n") + size + "\r\nabcde\r\n0\r\n\r\n")
            << QByteArray() << "malformed chunk";
    }
    QTest::newRow("HTTP/1.9") << p << raw("HTTP/1.9 200 OK\r\nContent-Length: 4\r\n\r\npage") << QByteArray()
                              << "not one that is read";
    QTest::newRow("HTTP/0.9") << p << raw("<html>page</html>") << QByteArray() << "not one that is read";
    QTest::newRow("not HTTP") << p << raw("SSH-2.0-OpenSSH_9.2\r\n\r\n") << QByteArray() << "not one that is read";
    QTest::newRow("a 10 MB header line") << p << raw("HTTP/1.1 200 OK\r\nX-Long: " + QByteArray(10 * 1024 * 1024, 'a') + "\r\n\r\n")
                                         << QByteArray() << "header line over 100 KiB";
    QByteArray manyHeaders = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 100000; ++i)
        manyHeaders += "X-" + QByteArray::number(i) + ": v\r\n";
    QTest::newRow("100,000 headers") << p << raw(manyHeaders + "Content-Length: 4\r\n\r\npage") << QByteArray()
                                     << "header over 64 KiB";
    QTest::newRow("80,000 interim answers") << p << raw(QByteArray("HTTP/1.1 100 Continue\r\n\r\n").repeated(80000) + page("page"))
                                            << QByteArray() << "header over 64 KiB";
    QTest::newRow("one byte a second") << p << Answers{Answer::raw(page("slow page"), End::Close, 1000)} << QByteArray()
                                       << "no complete answer within 1500 ms";

    // Redirects: followed up to five times over http and https only.
    const QByteArray closed = "http://127.0.0.1:" + QByteArray::number(closedPort()) + "/p";
    QTest::newRow("redirect followed") << p << Answers{redirectTo("/1"), Answer::raw(page("moved page"), End::Keep)}
                                       << QByteArray("moved page") << QString();
    QTest::newRow("redirected five times")
        << p
        << Answers{redirectTo("/1"), redirectTo("/2"), redirectTo("/3"), redirectTo("/4"), redirectTo("/5"),
                   Answer::raw(page("fifth"), End::Keep)}
        << QByteArray("fifth") << QString();
    QTest::newRow("redirect loop") << p << Answers{redirectTo("/p")} << QByteArray() << "more than 5 times";
    QTest::newRow("redirect to a file") << p << Answers{redirectTo("file:///etc/passwd")} << QByteArray() << "file:///etc/passwd";
    QTest::newRow("redirect to ftp") << p << Answers{redirectTo("ftp://127.0.0.1/p")} << QByteArray() << "not followed";
    QTest::newRow("redirect to a closed port") << p << Answers{redirectTo(closed)} << QByteArray() << "could not be reached";
    QTest::newRow("redirect without an address") << p << raw("HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\n", End::Keep)
                                                 << QByteArray() << "status 302";
}

// Each answer is taken when it is sound HTTP and missed with its reason otherwise; nothing
// of a failed one is kept, no answer holds the window's thread, and the timeout fires
// however the bytes come.
void TestPageFetch::answers()
{
    QFETCH(QString, path);
    QFETCH(Answers, staged);
    QFETCH(QByteArray, body);
    QFETCH(QString, reason);
    for (qsizetype i = 0; i < staged.size(); ++i)
        m_server->setAnswer(stagedPath(i), staged.at(i));
    QElapsedTimer took;
    took.start();
    const auto result = get(QUrl(m_server->baseUrl() + path), PageFetch::Limits{1500, 5000, {}});
    QVERIFY(result);
    QVERIFY2(result->ok == !body.isEmpty(), qPrintable(result->reason));
    QCOMPARE(result->body, body);
    QVERIFY2(result->reason.contains(reason), qPrintable(result->reason));
    QCOMPARE(result->fault, result->ok ? PageFetch::Fault::None : PageFetch::Fault::Page);
    QVERIFY2(took.elapsed() < 10000, "the fetch outlived its timeout");
    QVERIFY2(m_longestStall < 1000, qPrintable(QStringLiteral("the event loop stood still for %1 ms").arg(m_longestStall)));
}

void TestPageFetch::cutOnAKeptConnection_data()
{
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<End>("end");
    const QByteArray oneChunk = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n";
    const QByteArray shortLength = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabcde";
    QTest::newRow("one chunk, reset") << oneChunk << End::Reset;
    QTest::newRow("one chunk, closed") << oneChunk << End::Close;
    QTest::newRow("short of its length, reset") << shortLength << End::Reset;
    QTest::newRow("short of its length, closed") << shortLength << End::Close;
}

// A page cut off on a connection kept from the page before is as much a failure as on a
// new one, however often it is tried.
void TestPageFetch::cutOnAKeptConnection()
{
    QFETCH(QByteArray, second);
    QFETCH(End, end);
    m_server->setAnswer(QStringLiteral("/1"), Answer::raw(page("first"), End::Keep));
    m_server->setAnswer(QStringLiteral("/2"), Answer::raw(second, end));
    for (int round = 0; round < 15; ++round) {
        m_session = std::make_unique<CurlSession>();
        m_server->clearRequests();
        const auto first = get(QUrl(m_server->baseUrl() + QStringLiteral("/1")));
        QVERIFY(first && first->ok);
        const auto cut = get(QUrl(m_server->baseUrl() + QStringLiteral("/2")), PageFetch::Limits{3000, 5000, {}});
        QVERIFY(cut);
        QVERIFY2(!cut->ok, qPrintable(QStringLiteral("round %1 took a cut page").arg(round)));
        QCOMPARE(m_server->connectionCount(), 1);
    }
}

void TestPageFetch::requestSaysWhoAsksAndWhatItTakes_data()
{
    QTest::addColumn<PageFetch::Cache>("cache");
    QTest::addColumn<bool>("noCache");
    QTest::newRow("fresh") << PageFetch::Cache::Fresh << true;
    QTest::newRow("cache allowed") << PageFetch::Cache::Allowed << false;
}

// The server sees the program's name and version, is asked for the page unpacked, and is
// told to pass every cache only for a page that changes.
void TestPageFetch::requestSaysWhoAsksAndWhatItTakes()
{
    QFETCH(PageFetch::Cache, cache);
    QFETCH(bool, noCache);
    m_server->setAnswer(QStringLiteral("/a"), Answer::raw(page("p"), End::Keep));
    const auto result = get(QUrl(m_server->baseUrl() + QStringLiteral("/a?b=c")), {}, {}, cache);
    QVERIFY(result && result->ok);
    QCOMPARE(m_server->requestHeads().size(), 1);
    const QByteArray head = m_server->requestHeads().constFirst();
    QVERIFY2(head.startsWith("GET /a?b=c\r\n"), head.constData());
    QVERIFY2(head.contains("\r\nUser-Agent: VeltraKnowledgebase/" VELTRA_VERSION "\r\n"), head.constData());
    QVERIFY2(head.contains("\r\nAccept-Encoding: identity\r\n"), head.constData());
    QCOMPARE(head.contains("\r\nCache-Control: no-cache\r\n"), noCache);
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

    // A kept connection the server closes while it lies idle is not taken for a failure:
    // the next page comes over a new one.
    m_server->clearRequests();
    m_server->setAnswer(QStringLiteral("/1"), Answer::raw(page("first"), End::Close));
    m_server->setAnswer(QStringLiteral("/2"), Answer::raw(page("second"), End::Keep));
    QVERIFY(get(QUrl(m_server->baseUrl() + QStringLiteral("/1")))->ok);
    QTRY_VERIFY(m_server->findChildren<QTcpSocket *>().isEmpty());
    const auto second = get(QUrl(m_server->baseUrl() + QStringLiteral("/2")));
    QVERIFY2(second && second->ok, second ? qPrintable(second->reason) : "no result");
    QCOMPARE(second->body, QByteArray("second"));
    QCOMPARE(m_server->connectionCount(), 2);
}

void TestPageFetch::refusedConnectionAndOtherSchemes()
{
    const auto refused = get(QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(closedPort())));
    QVERIFY(refused && !refused->ok);
    QVERIFY2(refused->reason.contains(QLatin1String("could not be reached")), qPrintable(refused->reason));
    QCOMPARE(refused->fault, PageFetch::Fault::Page);
    const auto local = get(QUrl::fromLocalFile(sitePath("/dbupdate/123/msg12345.htm")));
    QVERIFY(local && !local->ok);
    QVERIFY(local->reason.contains(QLatin1String("not an http address")));
}

void TestPageFetch::abandonedFetchNeverAnswers()
{
    m_server->setAnswer(QStringLiteral("/p"), Answer{200, "late", 200, false});
    int calls = 0;
    auto *fetch = new PageFetch(m_session.get(),
                                PageFetch::Request{QUrl(m_server->baseUrl() + QStringLiteral("/p")), PageFetch::Cache::Allowed, {}, {}},
                                [&](PageFetch *, const PageFetch::Result &) { ++calls; });
    QTRY_VERIFY(m_server->requests().contains(QStringLiteral("/p")));
    delete fetch;
    // A later page on the same session comes after the abandoned one would have.
    m_server->setAnswer(QStringLiteral("/q"), Answer{200, "later", 400, false});
    const auto later = get(QUrl(m_server->baseUrl() + QStringLiteral("/q")));
    QVERIFY(later && later->ok);
    QCOMPARE(calls, 0);
}

void TestPageFetch::arrivedPageOutlastsAnInnerLoop()
{
    // Another command (a dialog, a search) runs its own event loop for longer than the
    // timeout: the page that came in time is still a page.
    m_server->setAnswer(QStringLiteral("/p"), Answer{200, "in time", 50, false});
    QTimer::singleShot(10, this, [] {
        QEventLoop inner;
        QTimer::singleShot(700, &inner, &QEventLoop::quit);
        inner.exec();
    });
    const auto result = get(QUrl(m_server->baseUrl() + QStringLiteral("/p")), PageFetch::Limits{300, 5000, {}});
    QVERIFY(result && result->ok);
    QCOMPARE(result->body, QByteArray("in time"));
}

void TestPageFetch::certificates_data()
{
    QTest::addColumn<QString>("certificate"); // which of the made ones the server shows
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("reason");       // empty: the page comes
    QTest::addColumn<PageFetch::Fault>("fault");
    const Answer secure = Answer::raw(page("secure page"), End::Keep);
    QTest::newRow("trusted") << "good" << secure << QString() << PageFetch::Fault::None;
    QTest::newRow("self-signed") << "self" << secure << "self-signed" << PageFetch::Fault::Certificate;
    QTest::newRow("expired") << "expired" << secure << "expired" << PageFetch::Fault::Certificate;
    QTest::newRow("another host's") << "other" << secure << "127.0.0.1" << PageFetch::Fault::Certificate;
    QTest::newRow("redirected down to http") << "good" << redirectTo("http://127.0.0.1/p") << "not followed"
                                             << PageFetch::Fault::Page;
}

// A certificate that fails ends with the reason curl gives and the host named; nothing
// turns verification off, so only the authority the fetch trusts makes a page come.
void TestPageFetch::certificates()
{
    QFETCH(QString, certificate);
    QFETCH(Answer, answer);
    QFETCH(QString, reason);
    QFETCH(PageFetch::Fault, fault);
    const QHash<QString, QString> files{{QStringLiteral("good"), m_certificates->good},
                                        {QStringLiteral("self"), m_certificates->selfSigned},
                                        {QStringLiteral("expired"), m_certificates->expired},
                                        {QStringLiteral("other"), m_certificates->otherHost}};
    const std::unique_ptr<SiteServer> tls = tlsServer(files.value(certificate));
    QVERIFY(tls);
    tls->setAnswer(QStringLiteral("/p"), answer);
    const auto result = get(QUrl(tls->baseUrl() + QStringLiteral("/p")), PageFetch::Limits{5000, 5000, m_certificates->authority});
    QVERIFY(result);
    QVERIFY2(result->ok == reason.isEmpty(), qPrintable(result->reason));
    QCOMPARE(result->fault, fault);
    QVERIFY2(result->reason.contains(reason), qPrintable(result->reason));
    if (fault == PageFetch::Fault::Certificate)
        QVERIFY2(result->reason.contains(QLatin1String("127.0.0.1")), qPrintable(result->reason));
}

void TestPageFetch::proxy_data()
{
    QTest::addColumn<LoggingProxy::Behaviour>("behaviour");
    QTest::addColumn<QByteArray>("required"); // user:password the proxy asks for
    QTest::addColumn<QByteArray>("given");
    QTest::addColumn<bool>("closedPort");     // the proxy's address has nothing listening
    QTest::addColumn<QString>("reason");      // empty: the page comes through the proxy
    QTest::addColumn<PageFetch::Fault>("fault");
    const auto forward = LoggingProxy::Behaviour::Forward;
    QTest::newRow("forwards") << forward << QByteArray() << QByteArray() << false << QString() << PageFetch::Fault::None;
    QTest::newRow("with credentials") << forward << QByteArray("club:s3cret") << QByteArray("club:s3cret") << false << QString()
                                      << PageFetch::Fault::None;
    QTest::newRow("asks for credentials") << forward << QByteArray("club:s3cret") << QByteArray() << false
                                          << "The proxy asks for a user name and password" << PageFetch::Fault::Proxy;
    QTest::newRow("wrong credentials") << forward << QByteArray("club:s3cret") << QByteArray("club:guess") << false
                                       << "did not take the user name and password" << PageFetch::Fault::Proxy;
    QTest::newRow("refuses") << forward << QByteArray() << QByteArray() << true << "refused the connection"
                             << PageFetch::Fault::Proxy;
    QTest::newRow("closes") << LoggingProxy::Behaviour::Close << QByteArray() << QByteArray() << false
                            << "closed before an answer came through the proxy" << PageFetch::Fault::Page;
    QTest::newRow("stalls") << LoggingProxy::Behaviour::Stall << QByteArray() << QByteArray() << false
                            << "within 1000 ms through the proxy" << PageFetch::Fault::Page;
}

// Every fetch goes through the proxy it is given, plain or tunnelled, and a proxy that
// refuses or asks for credentials is named as the reason.
void TestPageFetch::proxy()
{
    QFETCH(LoggingProxy::Behaviour, behaviour);
    QFETCH(QByteArray, required);
    QFETCH(QByteArray, given);
    QFETCH(bool, closedPort);
    QFETCH(QString, reason);
    QFETCH(PageFetch::Fault, fault);
    LoggingProxy proxy;
    QVERIFY(proxy.listenLocal() != 0);
    proxy.setBehaviour(behaviour);
    if (!required.isEmpty())
        proxy.requireCredentials(required.split(':').value(0), required.split(':').value(1));
    ProxyRoute route;
    route.host = QStringLiteral("127.0.0.1");
    route.port = closedPort ? ::closedPort() : proxy.serverPort();
    route.user = QString::fromLatin1(given.split(':').value(0));
    route.password = QString::fromLatin1(given.split(':').value(1));

    const QString page = m_server->baseUrl() + QStringLiteral("/dbupdate/123/msg12345.htm");
    const auto result = get(QUrl(page), PageFetch::Limits{1000, 5000, {}}, route);
    QVERIFY(result);
    QVERIFY2(result->ok == reason.isEmpty(), qPrintable(result->reason));
    QCOMPARE(result->fault, fault);
    QVERIFY2(result->reason.contains(reason), qPrintable(result->reason));
    if (result->reason.contains(QLatin1String("refused")))
        QVERIFY2(result->reason.contains(route.name()), qPrintable(result->reason));
    if (!result->ok)
        return;
    QCOMPARE(result->body, QByteArray("page 12345"));
    QVERIFY(proxy.requests().contains(QStringLiteral("GET ") + page));

    // Over TLS the proxy carries a tunnel and sees only where it leads.
    const std::unique_ptr<SiteServer> tls = tlsServer(m_certificates->good);
    QVERIFY(tls);
    tls->setAnswer(QStringLiteral("/p"), Answer::raw(::page("tunnelled page"), End::Keep));
    const auto tunnelled = get(QUrl(tls->baseUrl() + QStringLiteral("/p")), PageFetch::Limits{5000, 5000, m_certificates->authority}, route);
    QVERIFY2(tunnelled && tunnelled->ok, tunnelled ? qPrintable(tunnelled->reason) : "no result");
    QCOMPARE(tunnelled->body, QByteArray("tunnelled page"));
    QVERIFY(proxy.requests().contains(QStringLiteral("CONNECT 127.0.0.1:%1").arg(QUrl(tls->baseUrl()).port())));
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
    // The whole answer is in once its body is as long as its head says.
    static const QRegularExpression length(QStringLiteral("\r\ncontent-length: *(\\d+)\r\n"),
                                           QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch declared = length.match(QString::fromLatin1(answer.left(answer.indexOf("\r\n\r\n") + 2)));
    QVERIFY2(declared.hasMatch(), answer.constData());
    const qsizetype whole = answer.indexOf("\r\n\r\n") + 4 + declared.captured(1).toLongLong();
    QTRY_VERIFY_WITH_TIMEOUT((answer += socket.readAll()).size() >= whole, 3000);
    QVERIFY(!answer.contains("secret"));
}

QTEST_GUILESS_MAIN(TestPageFetch)
#include "tst_pagefetch.moc"
