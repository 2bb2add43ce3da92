// SPDX-License-Identifier: GPL-3.0-or-later
// The real engine follows the proxy the window chooses: the desktop's (here http_proxy, the
// same the update's route finds), the chosen one with its user name and password, or none,
// each from the next page on; a password the proxy refuses is given once. Two proxies of
// the test's own on 127.0.0.1 answer for a site that does not exist.
#include "app/passwordstore.h"
#include "app/proxyoptions.h"
#include "browser/webenginebrowser.h"
#include "testenv.h"

#include <QAction>
#include <QApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

const QString kSite = QStringLiteral("http://veltra-proxy-test.example/page");

// Answers each request as if from the site; with `credentials`, "407" until it has them.
class TestProxy final : public QTcpServer
{
public:
    QStringList requests;             // "<path> <Proxy-Authorization>" for each page asked for
    QByteArray credentials;           // "user:password"; empty: none asked for

    TestProxy() { listen(QHostAddress::LocalHost); }
    QString name() const { return QStringLiteral("127.0.0.1:%1").arg(serverPort()); }

protected:
    void incomingConnection(qintptr handle) override
    {
        auto *socket = new QTcpSocket(this);
        socket->setSocketDescriptor(handle);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine() || socket->property("answered").toBool())
                return;
            QByteArray head = socket->peek(65536);
            if (!head.contains("\r\n\r\n"))
                return;
            socket->setProperty("answered", true);
            QByteArray authorization;
            for (const QByteArray &line : head.split('\n')) {
                if (line.toLower().startsWith("proxy-authorization:"))
                    authorization = line.mid(20).trimmed();
            }
            const QByteArray target = head.split(' ').value(1);
            if (target.contains("/page"))
                requests << QString::fromLatin1(target.mid(target.lastIndexOf('/')) + ' ' + authorization);
            const QByteArray page = "<title>Through " + name().toLatin1() + "</title>";
            socket->write(!credentials.isEmpty() && authorization != "Basic " + credentials.toBase64()
                              ? "HTTP/1.1 407 No\r\nProxy-Authenticate: Basic realm=\"t\"\r\nContent-Length: 0\r\n"
                                "Connection: close\r\n\r\n"
                              : "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
                                    + QByteArray::number(page.size()) + "\r\nConnection: close\r\n\r\n" + page);
            socket->disconnectFromHost();
        });
    }
};

// A keyring that has one password.
class OnePassword final : public PasswordStore
{
public:
    void read(const QString &key) override
    {
        QTimer::singleShot(0, this, [this, key] { emit readAnswered(key, Answer::Found, QStringLiteral("wrong")); });
    }
    void write(const QString &, const QString &) override {}
    void remove(const QString &) override {}
};

// The page's title, or empty when it failed.
QString load(WebEngineBrowser &browser, const QString &address)
{
    bool ended = false;
    bool failed = false;
    const auto error = QObject::connect(&browser, &Browser::navigateError, &browser, [&] { failed = true; });
    const auto done = QObject::connect(&browser, &Browser::documentComplete, &browser, [&] { ended = true; });
    browser.navigate(address);
    TestEnv::waitUntil([&] { return ended; }, 20000);
    QObject::disconnect(error);
    QObject::disconnect(done);
    return failed ? QString() : browser.documentTitle();
}

// Sets the application proxy and tells the browser, as the window does.
void choose(WebEngineBrowser &browser, const ProxySetting &setting)
{
    ProxyOptions::applyToApplication(setting);
    browser.proxyChanged();
    TestEnv::waitUntil([&] { return !browser.proxyChangePending(); }, 20000);
}

ProxySetting setting(ProxySetting::Mode mode, const TestProxy *proxy = nullptr)
{
    return {mode, QStringLiteral("127.0.0.1"), quint16(proxy ? proxy->serverPort() : 0), QStringLiteral("bob"), {}};
}

}

class TestBrowserProxy final : public QObject
{
    Q_OBJECT

    TestProxy m_desktops; // the desktop's, through http_proxy
    TestProxy m_chosen;   // chosen in Options, asking for bob's password

private slots:
    void initTestCase()
    {
        // The desktop's configuration is the environment's, whatever desktop runs the tests.
        for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "no_proxy", "NO_PROXY",
                                 "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "HTTP_PROXY"})
            qunsetenv(name);
        qputenv("http_proxy", ("http://" + m_desktops.name() + '/').toLatin1());
        m_chosen.credentials = "bob:s3cret";
    }

    void eachChoiceFollowed()
    {
        const ProxySetting system = setting(ProxySetting::Mode::System);
        ProxyOptions::applyToApplication(system);
        QCOMPARE(ProxyRouting::routeFor(system, QUrl(kSite)).name(), m_desktops.name());
        WebEngineBrowser browser; // made before the setting is read, as in the program
        int asked = 0;
        browser.setProxyCredentials([&](const QString &host, QString *user, QString *password) {
            ++asked;
            *user = QStringLiteral("bob");
            *password = QStringLiteral("s3cret");
            return host == QStringLiteral("127.0.0.1");
        });
        QCOMPARE(load(browser, kSite + '1'), QStringLiteral("Through ") + m_desktops.name());

        choose(browser, setting(ProxySetting::Mode::Manual, &m_chosen));
        QCOMPARE(load(browser, kSite + '2'), QStringLiteral("Through ") + m_chosen.name());
        QCOMPARE(asked, 1);
        choose(browser, setting(ProxySetting::Mode::None));
        QVERIFY(load(browser, kSite + '3').isEmpty()); // straight to a site that does not exist
        choose(browser, system);
        QCOMPARE(load(browser, kSite + '4'), QStringLiteral("Through ") + m_desktops.name());

        QCOMPARE(m_desktops.requests, (QStringList{"/page1 ", "/page4 "}));
        QCOMPARE(m_chosen.requests, (QStringList{"/page2 ", "/page2 Basic " + QByteArray("bob:s3cret").toBase64()}));
    }

    // At start-up the chosen proxy is set after the browser is made and before its first
    // page, which goes through it.
    void choiceBeforeTheFirstPage()
    {
        ProxyOptions::applyToApplication(setting(ProxySetting::Mode::System));
        WebEngineBrowser browser;
        browser.setProxyCredentials([&](const QString &, QString *user, QString *password) {
            *user = QStringLiteral("bob");
            *password = QStringLiteral("s3cret");
            return true;
        });
        choose(browser, setting(ProxySetting::Mode::Manual, &m_chosen));
        QCOMPARE(load(browser, kSite + '6'), QStringLiteral("Through ") + m_chosen.name());
    }

    // The window's part gives the keyring's password once; refused, the page fails.
    void refusedPasswordGivenOnce()
    {
        QAction menuItem(nullptr);
        ProxyOptions options(&menuItem, nullptr, std::make_unique<OnePassword>());
        options.load(setting(ProxySetting::Mode::Manual, &m_chosen));
        QVERIFY(TestEnv::waitUntil([&] { return !options.waitingForKeyring(); }));
        WebEngineBrowser browser;
        browser.setProxyCredentials([&](const QString &host, QString *user, QString *password) {
            return options.credentialsFor(host, user, password);
        });
        m_chosen.requests.clear();
        QVERIFY(load(browser, kSite + '5').isEmpty());
        QCOMPARE(m_chosen.requests, (QStringList{"/page5 ", "/page5 Basic " + QByteArray("bob:wrong").toBase64()}));
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestBrowserProxy test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_browserproxy.moc"
