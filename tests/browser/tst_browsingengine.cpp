// SPDX-License-Identifier: GPL-3.0-or-later
// Browsing from end to end with the real engine, against pages this test serves on
// loopback: typing addresses and search terms, the navigation buttons, the caption and the
// status line, the address list across a restart, a pop-up, and the page commands
// (print to PDF, page setup and preview, save as, find).
#include "app/form1.h"
#include "windowharness.h"
#include "browser/finddialog.h"
#include "browser/webenginebrowser.h"
#include "fixtures.h"
#include "modalanswerer.h"
#include "silentserver.h"
#include "testenv.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QLineEdit>
#include <QListWidget>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWebEngineFindTextResult>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

namespace {

constexpr int kLoadTimeoutMs = 20000;
const QString kLongTitle = QString(80, QLatin1Char('T')) + QStringLiteral("-cut-off-tail-of-twenty");

}

class TestBrowsingEngine final : public QObject
{
    Q_OBJECT

private:
    QHttpServer m_server;
    quint16 m_port = 0;
    QStringList m_requests; // path and query of every request, in order
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    std::unique_ptr<Form1> m_form;
    int m_documents = 0; // documentComplete notifications of the window's browser

    QString http(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path); }
    QString path(const QString &name) const { return m_dir->filePath(name); }
    WebEngineBrowser *browser() const { return static_cast<WebEngineBrowser *>(m_form->web1()); }
    template<typename T> T *child(const char *name) const { return m_form->findChild<T *>(QLatin1String(name)); }
    QComboBox *combo2() const { return child<QComboBox>("Combo2"); }
    QString status() const { return child<QLineEdit>("LblStBar1")->text(); }

    AppConfig config() const
    {
        AppConfig c;
        c.clubHost = QStringLiteral("127.0.0.1:%1").arg(m_port);
        c.groupServer = http(QString());
        c.searchServer = http(QString());
        return c;
    }

    // Starts the window in the data folder, on the real engine, and waits for start-up's
    // message page.
    bool start()
    {
        auto *engine = new WebEngineBrowser;
        m_documents = 0;
        connect(engine, &Browser::documentComplete, this, [this] { ++m_documents; });
        m_form = Harness::startWindow(engine, config());
        m_form->resize(900, 700);
        return TestEnv::waitUntil([&] { return m_documents >= 1; }, kLoadTimeoutMs)
            && browser()->documentUrl().endsWith(QLatin1String("tempfile.htm"));
    }
    // Runs `action` and waits for the navigation it starts to end.
    bool navigation(const std::function<void()> &action)
    {
        const int before = m_documents;
        action();
        return TestEnv::waitUntil([&] { return m_documents > before; }, kLoadTimeoutMs);
    }
    void type(const QString &text)
    {
        combo2()->setFocus();
        combo2()->clearEditText();
        QTest::keyClicks(combo2(), text);
        QTest::keyClick(combo2(), Qt::Key_Return);
    }
    void click(const char *button) { QTest::mouseClick(child<QToolButton>(button), Qt::LeftButton); }

private slots:
    void initTestCase()
    {
        m_server.route("/<arg>", [this](const QString &, const QHttpServerRequest &request) {
            const QString path = request.url().path();
            // An ordinary page's icon is asked for whenever the engine gets round to it.
            if (path != QLatin1String("/favicon.ico"))
                m_requests << request.url().toString(QUrl::RemoveScheme | QUrl::RemoveAuthority);
            if (path == QLatin1String("/titled"))
                return QHttpServerResponse("text/html", "<html><head><title>" + kLongTitle.toUtf8()
                                                            + "</title></head><body>The clutch cable page</body></html>");
            if (path == QLatin1String("/second"))
                return QHttpServerResponse("text/html", "<html><head><title>Second</title></head><body>2</body></html>");
            if (path == QLatin1String("/popup"))
                return QHttpServerResponse("text/html", "<html><body><a id=\"p\" target=\"_blank\" href=\"/second\">"
                                                        "new window</a></body></html>");
            if (path == QLatin1String("/search"))
                return QHttpServerResponse("text/html", "<html><head><title>Results</title></head></html>");
            return QHttpServerResponse("text/plain", "none here", QHttpServerResponse::StatusCode::NotFound);
        });
        m_port = m_server.listen(QHostAddress::LocalHost, 0);
        QVERIFY(m_port != 0);
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_previousDir = QDir::currentPath();
        QDir::setCurrent(m_dir->path());
        QList<MessageRecord> records = Fixtures::range(1, 3);
        records[0].messtitle = QStringLiteral("[vclb] Clutch cable snapped");
        records[0].message = QStringLiteral("<tt>The clutch cable went on the motorway.</tt>"
                                            "<img src=\"%1\">").arg(http("/from-the-message.png"));
        QVERIFY(Fixtures::writeDatabase(path("veltra.mdb"), records));
        Fixtures::writeAll(path("help.html"), "<html><head><title>Knowledgebase Help</title></head><body>help</body></html>");
        m_requests.clear();
    }

    void cleanup()
    {
        // As the user would: closing waits for a print still being written.
        if (m_form)
            m_form->close();
        m_form.reset();
        QDir::setCurrent(m_previousDir);
        m_dir.reset();
    }

    void typedAddressesAndButtons()
    {
        QVERIFY(start());
        // Start-up's message page: the message commands are there, the bar is empty.
        QVERIFY(child<QToolButton>("CmdMarkDelete")->isEnabled());
        QCOMPARE(combo2()->currentText(), QString());

        const QString titled = http("/titled");
        QVERIFY(navigation([&] { type(titled); }));
        QCOMPARE(combo2()->currentText(), titled);
        QCOMPARE(m_form->windowTitle(), QString(80, QLatin1Char('T')) + " - Veltra Knowledgebase V3.4");
        QVERIFY(!child<QToolButton>("CmdMarkDelete")->isEnabled());
        QVERIFY(child<QToolButton>("CmdBack")->isEnabled());
        QVERIFY(!child<QToolButton>("CmdForward")->isEnabled());

        // A search term: blanks become "+", "&" is escaped, the bar is cleared.
        QVERIFY(navigation([&] { type("clutch & cable"); }));
        QCOMPARE(m_requests.last(), QStringLiteral("/search?hl=en&q=clutch+%26+cable"));
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Results - Veltra Knowledgebase V3.4"));

        QVERIFY(navigation([&] { click("CmdBack"); }));
        QCOMPARE(browser()->documentUrl(), titled);
        QVERIFY(child<QToolButton>("CmdForward")->isEnabled());
        QVERIFY(navigation([&] { click("CmdForward"); }));
        QVERIFY(browser()->documentUrl().startsWith(http("/search")));
        m_requests.clear();
        QVERIFY(navigation([&] { click("CmdRefresh"); }));
        QCOMPARE(m_requests, QStringList{"/search?hl=en&q=clutch+%26+cable"});

        // Stop ends a navigation the server never answers, on the page in view.
        SilentServer silent;
        type(QStringLiteral("http://127.0.0.1:%1/never").arg(silent.serverPort()));
        QTRY_VERIFY_WITH_TIMEOUT(child<QToolButton>("CmdStop")->isEnabled(), kLoadTimeoutMs);
        QVERIFY(!child<ResultTable>("List1")->isEnabled());
        QVERIFY(navigation([&] { click("CmdStop"); }));
        QVERIFY(child<ResultTable>("List1")->isEnabled());
        QVERIFY(!child<QToolButton>("CmdStop")->isEnabled());

        // A port nobody listens on: the status line says so until the next navigation.
        quint16 closed = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            closed = probe.serverPort();
        }
        const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(closed);
        QVERIFY(navigation([&] { type(refused); }));
        QCOMPARE(status(), "Unable to navigate to " + refused);

        // The local help page: opened, not recorded.
        QVERIFY(navigation([&] { child<QAction>("MenuHelpContents")->trigger(); }));
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Knowledgebase Help - Veltra Knowledgebase V3.4"));
        QCOMPARE(combo2()->currentText(), QUrl::fromLocalFile(path("help.html")).toString());

        // Only what was typed as an address is in the list, newest first, and it is saved.
        const QStringList typed{refused, QStringLiteral("http://127.0.0.1:%1/never").arg(silent.serverPort()), titled};
        QStringList listed;
        for (int i = 0; i < combo2()->count(); ++i)
            listed << combo2()->itemText(i);
        QCOMPARE(listed, typed);
        QVERIFY(m_form->close());
        m_form.reset();
        QCOMPARE(Fixtures::readAll(path("UrlList.txt")), (typed.join(QLatin1String("\r\n")) + QLatin1String("\r\n")).toLatin1());

        // After a restart the drop-down offers them, and picking one opens it.
        QVERIFY(start());
        QCOMPARE(combo2()->count(), 3);
        QCOMPARE(combo2()->itemText(2), titled);
        combo2()->showPopup();
        QVERIFY(QTest::qWaitForWindowExposed(combo2()->view()->window()));
        combo2()->view()->setCurrentIndex(combo2()->model()->index(2, 0));
        QVERIFY(navigation([&] { QTest::keyClick(combo2()->view(), Qt::Key_Return); }));
        QCOMPARE(browser()->documentUrl(), titled);
        QCOMPARE(combo2()->itemText(0), titled);
    }

    void popupOpensInItsOwnWindow()
    {
        QVERIFY(start());
        QVERIFY(navigation([&] { type(http("/popup")); }));
        QTimer *timer2 = m_form->findChild<QTimer *>(QStringLiteral("Timer2"));
        timer2->setInterval(24 * 60 * 60 * 1000);
        timer2->start();
        browser()->page()->runJavaScript(QStringLiteral("document.getElementById('p').click()"));
        QTRY_COMPARE_WITH_TIMEOUT(browser()->popups().size(), 1, kLoadTimeoutMs);
        QVERIFY(!timer2->isActive());
        QWebEngineView *popup = browser()->popups().first();
        QTRY_COMPARE_WITH_TIMEOUT(popup->windowTitle(), QStringLiteral("Second"), kLoadTimeoutMs);
        QCOMPARE(browser()->documentUrl(), http("/popup"));
        QTest::keySequence(popup, QKeySequence::Close);
        QTRY_VERIFY_WITH_TIMEOUT(browser()->popups().isEmpty(), kLoadTimeoutMs);
    }

    void printSetupAndPreviewShareOnePageLayout()
    {
        QVERIFY(start());
        // Page setup turns the page; preview and print then use that page.
        QList<QPageLayout::Orientation> seen;
        int previewPages = 0;
        const QString pdf = path("printed.pdf");
        QString printTo = pdf;
        bool cancel = false;
        DialogAnswerer answerer([&](QDialog *dialog) {
            if (auto *setup = qobject_cast<QPageSetupDialog *>(dialog)) {
                auto *landscape = setup->findChild<QRadioButton *>(QStringLiteral("landscape"));
                if (!landscape)
                    return false;
                landscape->click();
                setup->accept();
            } else if (auto *preview = qobject_cast<QPrintPreviewDialog *>(dialog)) {
                auto *widget = preview->findChild<QPrintPreviewWidget *>();
                if (!widget || widget->pageCount() == 0)
                    return false;
                previewPages = widget->pageCount();
                seen << preview->printer()->pageLayout().orientation();
                preview->reject();
            } else if (auto *print = qobject_cast<QPrintDialog *>(dialog)) {
                if (cancel) {
                    print->reject();
                    return true;
                }
                seen << print->printer()->pageLayout().orientation();
                print->printer()->setOutputFormat(QPrinter::PdfFormat);
                print->printer()->setOutputFileName(printTo);
                print->done(QDialog::Accepted);
            } else {
                dialog->reject();
            }
            return true;
        });
        QSignalSpy printed(browser()->page(), &QWebEnginePage::pdfPrintingFinished);
        child<QAction>("MnuPageSetup")->trigger();
        child<QAction>("MnuPrintPreview")->trigger();
        child<QAction>("MenuFilePrint")->trigger();
        QCOMPARE(answerer.classes, (QStringList{"QPageSetupDialog", "QPrintPreviewDialog", "QPrintDialog"}));
        QCOMPARE(seen, (QList<QPageLayout::Orientation>{QPageLayout::Landscape, QPageLayout::Landscape}));
        QVERIFY(previewPages >= 1);

        QTRY_COMPARE_WITH_TIMEOUT(printed.size(), 1, kLoadTimeoutMs);
        QVERIFY(Fixtures::readAll(pdf).trimmed().endsWith("%%EOF"));
        QVERIFY(!m_requests.contains(QStringLiteral("/from-the-message.png")));

        // A cancelled print writes nothing and says nothing.
        ModalAnswerer boxes;
        printTo = path("cancelled.pdf");
        cancel = true;
        child<QAction>("MenuFilePrint")->trigger();
        cancel = false;
        const QString cancelled = printTo;

        // Closing the window while a print is being written waits for it.
        printTo = path("second.pdf");
        child<QAction>("MenuFilePrint")->trigger();
        QVERIFY(m_form->close());
        QVERIFY(Fixtures::readAll(printTo).trimmed().endsWith("%%EOF"));
        // The page prints one job after the other: the cancelled one would be written by now.
        QVERIFY(!QFile::exists(cancelled));
        QCOMPARE(boxes.texts, QStringList());
        REQUIRE_OR_SKIP(TestEnv::missingPrograms({QStringLiteral("pdftotext")},
                                                 QStringLiteral("Debian package poppler-utils; the PDF's text was not read back")));
        QProcess pdftotext;
        pdftotext.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY(pdftotext.waitForFinished(30000));
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
        QVERIFY2(text.contains(QLatin1String("Clutch cable snapped")), qPrintable(text));
        QVERIFY2(text.contains(QLatin1String("The clutch cable went on the motorway.")), qPrintable(text));
    }

    void saveAsWritesThePage()
    {
        QVERIFY(start());
        const QString saved = path("saved.htm");
        const QString unwritable = path("help.html/page.htm"); // under a file: no folder can be made there
        QString target = saved;
        QString filter; // the dialog's first choice when empty
        QStringList offered;
        DialogAnswerer answerer([&](QDialog *dialog) {
            auto *files = qobject_cast<QFileDialog *>(dialog);
            if (!files)
                return false;
            offered = files->nameFilters();
            if (!filter.isEmpty())
                files->selectNameFilter(filter);
            // Typed into the name field, as a user would; selectFile() loses the race
            // with the folder listing the dialog reads in the background.
            if (target.isEmpty()) {
                files->reject();
                return true;
            }
            auto *name = files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (!name)
                return false;
            name->setText(target);
            static_cast<QDialog *>(files)->accept(); // the file dialog's own accept checks the name
            return true;
        });
        ModalAnswerer boxes;

        // The message page is saved as it stands, or as a web archive: neither fetches
        // anything it names.
        child<QAction>("MenuFileSaveAs")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(Fixtures::readAll(saved).contains("The clutch cable went on the motorway."),
                                 kLoadTimeoutMs);
        QCOMPARE(offered.size(), 2);
        filter = offered.last();
        target = path("message.mht");
        child<QAction>("MenuFileSaveAs")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(Fixtures::readAll(target).contains("clutch cable went on the"), kLoadTimeoutMs);
        filter.clear();

        QVERIFY(navigation([&] { type(http("/titled")); }));
        // The server has seen the page asked for after the save: a fetch the save made came before.
        QVERIFY(!m_requests.contains(QStringLiteral("/from-the-message.png")));
        target = path("titled.htm");
        child<QAction>("MenuFileSaveAs")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(Fixtures::readAll(target).contains("The clutch cable page"), kLoadTimeoutMs);

        // A cancelled save writes nothing and says nothing (a late word would come before the
        // refusal below, which must be the first).
        target.clear();
        child<QAction>("MenuFileSaveAs")->trigger();
        QCOMPARE(boxes.texts, QStringList());

        target = unwritable;
        child<QAction>("MenuFileSaveAs")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts.size(), 1, kLoadTimeoutMs);
        QVERIFY2(boxes.texts.first().startsWith("The page could not be saved as " + QDir::toNativeSeparators(unwritable)),
                 qPrintable(boxes.texts.first()));
        // Once the engine has written a later save, a word of its own on the refused one would be in.
        target = path("after.htm");
        child<QAction>("MenuFileSaveAs")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(Fixtures::readAll(target).contains("The clutch cable page"), kLoadTimeoutMs);
        QCOMPARE(boxes.texts.size(), 1);
        QCOMPARE(answerer.classes.size(), 6);
        QCOMPARE(offered.size(), 3);
    }

    void findHighlightsAWord()
    {
        QVERIFY(start());
        QVERIFY(navigation([&] { type(http("/titled")); }));
        QWidget *view = browser()->widget();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        browser()->takeFocus();
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::focusWidget() && view->isAncestorOf(QApplication::focusWidget()),
                                 kLoadTimeoutMs);
        child<QAction>("MnuFind")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(browser()->findDialog() && browser()->findDialog()->isVisible(), kLoadTimeoutMs);

        QWebEngineFindTextResult found;
        bool finished = false;
        connect(browser()->page(), &QWebEnginePage::findTextFinished, this, [&](const QWebEngineFindTextResult &r) {
            found = r;
            finished = true;
        });
        FindDialog *dialog = browser()->findDialog();
        dialog->findChild<QLineEdit *>()->setText(QStringLiteral("clutch"));
        dialog->findNext();
        QTRY_VERIFY_WITH_TIMEOUT(finished, kLoadTimeoutMs);
        QCOMPARE(found.numberOfMatches(), 1);
        QCOMPARE(found.activeMatch(), 1);
        dialog->close();
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestBrowsingEngine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_browsingengine.moc"
