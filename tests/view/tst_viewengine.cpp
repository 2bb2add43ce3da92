// SPDX-License-Identifier: GPL-3.0-or-later
// The window with the real browser engine: start-up shows message 1, the buttons step on,
// the page the engine shows reads as the record, and a hostile body stays inert.
#include "app/form1.h"
#include "browser/webenginebrowser.h"
#include "fixtures.h"
#include "pagescript.h"
#include "testenv.h"
#include "windowharness.h"

#include <QApplication>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QScrollBar>
#include <QToolButton>
#include <QWebEngineScript>
#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

constexpr int kLoadTimeoutMs = 20000;

}

class TestViewEngine : public QObject
{
    Q_OBJECT

private:
    QHttpServer m_server;
    quint16 m_port = 0;
    QStringList m_requests;
    QByteArray m_control; // served at /control

    QString http(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path); }

    static QWebEnginePage *page(const WindowHarness &w) { return static_cast<WebEngineBrowser &>(w.browser()).page(); }

    static QVariant evaluate(const WindowHarness &w, const QString &script)
    {
        return PageScript::evaluate(page(w), script, kLoadTimeoutMs);
    }
    static QString bodyText(const WindowHarness &w)
    {
        return evaluate(w, QStringLiteral("document.body ? document.body.innerText : ''")).toString();
    }
    // Waits until the engine shows the page of message `messnum`.
    static bool waitForMessage(const WindowHarness &w, qint32 messnum)
    {
        const QString lead = QStringLiteral("Message Number: %1\n").arg(messnum);
        return TestEnv::waitUntil([&] { return bodyText(w).startsWith(lead); }, kLoadTimeoutMs);
    }

    QList<MessageRecord> records() const
    {
        QList<MessageRecord> r = Fixtures::range(1, 3);
        r[0].messauthor = QStringLiteral("Jan Smith");
        r[0].message = QStringLiteral("<tt>The clutch cable snapped.</tt>");
        r[1].messauthor = QStringLiteral("Ren\u00e9 \u0141ukasz");
        r[1].messdate = QStringLiteral("-1Tue Apr 1, 2003 9:00 pm");
        r[1].messtitle = QStringLiteral("[vclub] <b>Snow</b> \u2603 \u20ac");
        r[1].message = QStringLiteral("<tt>caf\u00e9 &amp; <i>cr\u00e8me</i> \u4e2d\U0001F697</tt>");
        const QString base = http(QString());
        r[2].message = QStringLiteral("<tt>hostile</tt><script>document.title = 'script ran';</script>"
                                      "<img id=\"remote\" src=\"%1/img.png\">"
                                      "<img id=\"local\" src=\"picture.svg\">"
                                      "<link rel=\"stylesheet\" href=\"%1/style.css\">"
                                      "<iframe src=\"%1/frame\"></iframe>"
                                      "<img src=\"x\" onerror=\"fetch('%1/onerror')\">")
                           .arg(base);
        return r;
    }

private slots:
    void initTestCase()
    {
        m_server.route("/<arg>", [this](const QString &, const QHttpServerRequest &request) {
            const QString path = request.url().path();
            // An ordinary page's icon is asked for whenever the engine gets round to it.
            if (path != QLatin1String("/favicon.ico"))
                m_requests << path;
            if (path == QLatin1String("/control"))
                return QHttpServerResponse("text/html", m_control);
            if (path == QLatin1String("/scripted"))
                return QHttpServerResponse("text/html", "<html><body><script>document.title = 'ordinary page ran';"
                                                        "</script>scripted</body></html>");
            return QHttpServerResponse("text/plain", "none here", QHttpServerResponse::StatusCode::NotFound);
        });
        m_port = m_server.listen(QHostAddress::LocalHost, 0);
        QVERIFY(m_port != 0);
    }

    void init()
    {
        m_requests.clear();
    }

    void startUpAndStepShowTheRecords()
    {
        WindowHarness w(records(), AppConfig{}, WindowHarness::Engine::Real);
        QVERIFY(w.activated());
        QVERIFY(waitForMessage(w, 1));
        const MessageRecord first = records().at(0);
        QCOMPARE(bodyText(w), QStringLiteral("Message Number: 1\nFrom: Jan Smith\n%1\n%2\n\nThe clutch cable snapped.")
                                  .arg(first.messdate, first.messtitle));

        QTest::mouseClick(w.child<QToolButton>("H1Up"), Qt::LeftButton);
        QVERIFY(waitForMessage(w, 2));
        QCOMPARE(bodyText(w), QStringLiteral("Message Number: 2\nFrom: Ren\u00e9 \u0141ukasz\nTue Apr 1, 2003 9:00 pm\n"
                                             "[vclub] Snow \u2603 \u20ac\n\ncaf\u00e9 & cr\u00e8me \u4e2d\U0001F697"));
        QCOMPARE(evaluate(w, "document.characterSet").toString().toLower(), QStringLiteral("windows-1252"));
        QCOMPARE(evaluate(w, "document.querySelector('b').textContent").toString(), QStringLiteral("Snow"));
        QCOMPARE(w.browser().documentUrl(), QUrl::fromLocalFile(w.pagePath()).toString());
    }

    void hostileBodyStaysInert()
    {
        WindowHarness w(records(), AppConfig{}, WindowHarness::Engine::Real);
        QVERIFY(w.activated());
        Fixtures::writeAll(w.path("picture.svg"), "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"30\"/>");
        QVERIFY(waitForMessage(w, 1));
        w.child<QScrollBar>("hscroll1")->setValue(3);
        QVERIFY(waitForMessage(w, 3));

        QCOMPARE(evaluate(w, "document.title").toString(), QString());
        QCOMPARE(evaluate(w, "document.getElementById('remote').naturalWidth").toInt(), 0);
        QCOMPARE(evaluate(w, "document.getElementById('local').naturalWidth").toInt(), 0);

        // An ordinary page keeps its scripts; once it has loaded from the same server,
        // anything the message page had sent would have arrived before it.
        w.browser().navigate(http("/scripted"));
        QVERIFY(TestEnv::waitUntil([&] { return evaluate(w, "document.title").toString() == "ordinary page ran"; },
                                kLoadTimeoutMs));
        QCOMPARE(m_requests, QStringList{"/scripted"});

        // The same page served as an ordinary page does reach the server, so the quiet
        // above is the message page's doing.
        m_control = Fixtures::readAll(w.pagePath());
        w.browser().navigate(http("/control"));
        // All of them, so that none arrives late, in the next test.
        QVERIFY(TestEnv::waitUntil(
            [&] {
                return m_requests.contains("/img.png") && m_requests.contains("/onerror")
                       && m_requests.contains("/frame") && m_requests.contains("/style.css");
            },
            kLoadTimeoutMs));
        QCOMPARE(evaluate(w, "document.title").toString(), QStringLiteral("script ran"));
    }

    // A data folder where the page file cannot be written: the page comes from memory,
    // under the file's address, just as inert.
    void pageFromMemoryStaysInert()
    {
        WindowHarness w(records(), AppConfig{}, WindowHarness::Engine::Real);
        QVERIFY(w.activated());
        QVERIFY(waitForMessage(w, 1));
        QVERIFY(QFile::remove(w.pagePath()));
        QVERIFY(QDir(w.path(".")).mkdir("tempfile.htm"));
        w.child<QScrollBar>("hscroll1")->setValue(3);
        QVERIFY(waitForMessage(w, 3));
        // The window takes it for the message page: the flag button comes on.
        QVERIFY(TestEnv::waitUntil([&] { return w.child<QToolButton>("CmdMarkDelete")->isEnabled(); }, kLoadTimeoutMs));
        QCOMPARE(w.browser().documentUrl(), QUrl::fromLocalFile(w.pagePath()).toString());
        QCOMPARE(evaluate(w, "document.title").toString(), QString());
        QCOMPARE(evaluate(w, "document.getElementById('remote').naturalWidth").toInt(), 0);
        // Everything the body asks for has been asked for once the document is complete.
        QVERIFY(TestEnv::waitUntil([&] { return evaluate(w, "document.readyState").toString() == "complete"; },
                                   kLoadTimeoutMs));
        w.child<QScrollBar>("hscroll1")->setValue(2);
        QVERIFY(waitForMessage(w, 2));
        QVERIFY(bodyText(w).contains(QStringLiteral("caf\u00e9 & cr\u00e8me")));
        // Once an ordinary page has loaded from the same server, anything the message page
        // had sent would have arrived before it.
        w.browser().navigate(http("/scripted"));
        QVERIFY(TestEnv::waitUntil([&] { return m_requests.contains("/scripted"); }, kLoadTimeoutMs));
        QVERIFY2(m_requests == QStringList{"/scripted"}, qPrintable(m_requests.join(QLatin1Char(' '))));
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestViewEngine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_viewengine.moc"
