// SPDX-License-Identifier: GPL-3.0-or-later
// The proxy in the window: Options > Proxy...'s checks and keys, the application proxy for
// each choice, the setting each update runs with, the password from the keyring or asked
// for once a run (the prompt answered by the modal answerer), and never written to a file.
#include "app/form1.h"
#include "app/passwordstore.h"
#include "app/proxydialog.h"
#include "app/proxyoptions.h"
#include "browser/browser.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "loggingproxy.h"
#include "siteserver.h"
#include "sitewriter.h"
#include "modalanswerer.h"
#include "update/updatecontroller.h"
#include "windowharness.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

namespace {

using Mode = ProxySetting::Mode;
// Nothing listens there: an update through it ends at once.
const QByteArray kManual = "ProxyMode=manual\r\nProxyHost=127.0.0.1\r\nProxyPort=9\r\nProxyUser=bob\r\n";
const QString kKey = QStringLiteral("proxy bob@127.0.0.1:9");

// A keyring of the test's own: it answers from what it holds, says there is none, or is silent.
class FakeStore final : public PasswordStore
{
public:
    enum Behaviour { Answers, NoKeyring, Silent };
    explicit FakeStore(Behaviour behaviour, const QString &kept = {})
        : m_behaviour(behaviour)
    {
        if (!kept.isEmpty())
            this->kept.insert(kKey, kept);
    }
    QHash<QString, QString> kept;
    void read(const QString &key) override
    {
        if (m_behaviour == Silent)
            return;
        QTimer::singleShot(0, this, [this, key] {
            const Answer answer = m_behaviour == NoKeyring ? Answer::NoKeyring
                                  : kept.contains(key)      ? Answer::Found
                                                            : Answer::NotFound;
            emit readAnswered(key, answer, kept.value(key));
        });
    }
    void write(const QString &key, const QString &password) override
    {
        if (m_behaviour == Answers)
            kept.insert(key, password);
        QTimer::singleShot(0, this, [this, key] { emit writeAnswered(key, m_behaviour == Answers); });
    }
    void remove(const QString &key) override { kept.remove(key); }

private:
    Behaviour m_behaviour;
};

// Types as the user would; a letter beyond ASCII comes as an input method gives it.
void type(QLineEdit *field, const QString &text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    for (const QChar c : text)
        c.unicode() < 0x80 ? QTest::keyClicks(field, QString(c)) : field->insert(QString(c));
}

// Answers Options > Proxy... with the option and fields {host, port, user[, password]}, and
// the password prompt with `prompted` (Cancel when none).
DialogAnswerer *answer(const char *option, const QStringList &fields, std::optional<QString> prompted = {})
{
    return new DialogAnswerer([=](QDialog *dialog) {
        if (auto *prompt = qobject_cast<QInputDialog *>(dialog)) {
            if (prompt->objectName() != QStringLiteral("ProxyPasswordPrompt"))
                return false;
            prompt->setTextValue(prompted.value_or(QString()));
            prompted ? prompt->accept() : prompt->reject();
            return true;
        }
        if (!option)
            return false;
        dialog->findChild<QRadioButton *>(QLatin1String(option))->click();
        const char *names[] = {"TxtProxyHost", "TxtProxyPort", "TxtProxyUser", "TxtProxyPassword"};
        for (qsizetype i = 0; i < fields.size(); ++i)
            type(dialog->findChild<QLineEdit *>(QLatin1String(names[i])), fields.at(i));
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        return true;
    });
}

int prompts(const DialogAnswerer &answerer)
{
    return int(answerer.classes.count(QStringLiteral("QInputDialog")));
}

}

class TestProxyOptions final : public Harness::WindowTest
{
    Q_OBJECT

    // The window on three messages and a Preferences.ini with `lines`, updating from a port
    // where nothing listens; with `store`, the password is kept there.
    std::unique_ptr<Form1> startWith(const QByteArray &lines, FakeStore *store = nullptr)
    {
        if (!QFile::exists(path(QStringLiteral("veltra.mdb"))))
            Fixtures::writeDatabase(path(QStringLiteral("veltra.mdb")), Fixtures::range(1, 3));
        Fixtures::writeAll(path(QStringLiteral("Preferences.ini")), "[Veltra Knowledgebase preferences]\r\nFormat=1\r\n" + lines);
        AppConfig config;
        config.updateServer = QStringLiteral("http://127.0.0.1:9");
        auto w = restart(config);
        w->proxyOptions()->setKeyringWait(300);
        if (store)
            w->proxyOptions()->setPasswordStore(std::unique_ptr<PasswordStore>(store));
        return w;
    }

    // Update Now and its end; the proxy setting the run started with, if it started.
    std::optional<ProxySetting> runUpdate(Form1 *w)
    {
        std::optional<ProxySetting> started;
        const auto c = connect(w->updater(), &UpdateController::runStarting, this,
                               [&](const UpdateEngine::Settings &settings) { started = settings.proxy; });
        Harness::action(w, "MnuUpdateNow")->trigger();
        if (!QTest::qWaitFor([&] { return !w->updater()->isRunning(); }, 20000))
            qWarning("the update did not end");
        disconnect(c);
        return started;
    }

private slots:
    void initTestCase()
    {
        // No test reaches the desktop's own keyring: the session bus is one nobody runs.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/veltra-test-bus");
    }

    void dialogChecks_data()
    {
        QTest::addColumn<QStringList>("typed"); // host, port, user, password
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("says");
        using F = ProxyDialog::Field;
        QTest::newRow("host and port") << QStringList{" p.example ", "3128", "", ""} << int(F::None) << "";
        QTest::newRow("IPv6, highest port") << QStringList{"[::1]", "65535", "bob", "pw"} << int(F::None) << "";
        QTest::newRow("no host") << QStringList{" ", "3128", "", ""} << int(F::Host) << "Type the host name";
        QTest::newRow("a URL") << QStringList{"http://p", "1", "", ""} << int(F::Host) << "without \"http://\"";
        QTest::newRow("port after the host") << QStringList{"p:3128", "", "", ""} << int(F::Host) << "in the Port field";
        QTest::newRow("not a host") << QStringList{"a b", "1", "", ""} << int(F::Host) << "\"a b\" is not a host";
        QTest::newRow("no port") << QStringList{"p", "", "", ""} << int(F::Port) << "from 1 to 65535";
        QTest::newRow("port 0") << QStringList{"p", "0", "", ""} << int(F::Port) << "\"0\" is not a port";
        QTest::newRow("port 65536") << QStringList{"p", "65536", "", ""} << int(F::Port) << "\"65536\" is not a port";
        QTest::newRow("port with a sign") << QStringList{"p", "+80", "", ""} << int(F::Port) << "\"+80\" is not a port";
        QTest::newRow("password, no user") << QStringList{"p", "80", "", "pw"} << int(F::User) << "user name the password";
    }
    void dialogChecks()
    {
        QFETCH(QStringList, typed);
        QFETCH(int, field);
        QFETCH(QString, says);
        const auto problem = ProxyDialog::check(Mode::Manual, typed[0], typed[1], typed[2], typed[3]);
        QCOMPARE(int(problem.field), field);
        QVERIFY2(says.isEmpty() ? problem.text.isEmpty() : problem.text.contains(says), qPrintable(problem.text));
        // The other choices need none of the fields.
        QVERIFY(ProxyDialog::check(Mode::None, typed[0], typed[1], typed[2], typed[3]).text.isEmpty());
    }

    // The choices by their keys, the fields by their labels' keys and named after them, OK
    // refusing with a word and going to the field, Enter for OK and Escape for Cancel.
    void dialogByKeyboard()
    {
        ProxyDialog dialog;
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto *manual = dialog.findChild<QRadioButton *>(QStringLiteral("OptProxyManual"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_T, Qt::AltModifier);
        QTRY_VERIFY(manual->isChecked() && !manual->isDown()); // clicked as the mouse would, a moment later
        const QList<QPair<Qt::Key, QString>> fields{
            {Qt::Key_H, "Host"}, {Qt::Key_P, "Port"}, {Qt::Key_U, "User name"}, {Qt::Key_W, "Password"}};
        for (const auto &[key, name] : fields) {
            QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget()->accessibleName(), name);
        }
        type(dialog.findChild<QLineEdit *>(QStringLiteral("TxtProxyHost")), QStringLiteral("B\u00fccher.example"));
        auto *port = dialog.findChild<QLineEdit *>(QStringLiteral("TxtProxyPort"));
        type(port, QStringLiteral("99999"));
        ModalAnswerer answerer;
        QTest::keyClick(port, Qt::Key_Return);
        QCOMPARE(answerer.texts, QStringList{QStringLiteral("\"99999\" is not a port. The port is a whole number from 1 to "
                                                            "65535 (often 3128 or 8080).")});
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.focusWidget(), port);
        type(port, QStringLiteral("8080"));
        QTest::keyClick(port, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.setting().host, QStringLiteral("xn--bcher-kva.example"));
        QCOMPARE(int(dialog.setting().port), 8080);

        dialog.show();
        QTest::keyClick(port, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        dialog.findChild<QRadioButton *>(QStringLiteral("OptProxySystem"))->click(); // the fields are for "this proxy"
        QVERIFY(!port->isEnabled());
    }

    // Each choice is the application proxy (the browser's engine follows it) at once, kept
    // in Preferences.ini, and set again at the next start, before the first page.
    void applicationProxy_data()
    {
        QTest::addColumn<QByteArray>("option");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("none") << QByteArray("OptProxyNone") << QStringList{} << int(QNetworkProxy::NoProxy)
                              << QByteArray("ProxyMode=none\r\nProxyHost=\r\nProxyPort=0\r\nProxyUser=\r\n");
        QTest::newRow("this proxy") << QByteArray("OptProxyManual") << QStringList{"p.example", "3128"}
                                    << int(QNetworkProxy::HttpProxy)
                                    << QByteArray("ProxyMode=manual\r\nProxyHost=p.example\r\nProxyPort=3128\r\nProxyUser=\r\n");
        QTest::newRow("the desktop's") << QByteArray("OptProxySystem") << QStringList{} << -1
                                       << QByteArray("ProxyMode=system\r\nProxyHost=\r\nProxyPort=0\r\nProxyUser=\r\n");
    }
    void applicationProxy()
    {
        QFETCH(QByteArray, option);
        QFETCH(QStringList, fields);
        QFETCH(int, type);
        QFETCH(QByteArray, kept);
        const auto check = [&] {
            QCOMPARE(QNetworkProxyFactory::usesSystemConfiguration(), type == -1);
            if (type != -1)
                QCOMPARE(int(QNetworkProxy::applicationProxy().type()), type);
            if (type == QNetworkProxy::HttpProxy)
                QCOMPARE(QNetworkProxy::applicationProxy().hostName() + QNetworkProxy::applicationProxy().port(),
                         QStringLiteral("p.example") + quint16(3128));
        };
        auto w = startWith(QByteArray());
        QVERIFY(QNetworkProxyFactory::usesSystemConfiguration()); // the default
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::Socks5Proxy, QStringLiteral("elsewhere"), 1));
        std::unique_ptr<DialogAnswerer> answerer(answer(option.constData(), fields));
        Harness::action(w.get(), "MnuProxy")->trigger();
        check();
        QVERIFY(Fixtures::readAll(path(QStringLiteral("Preferences.ini"))).endsWith("LastMessage=1\r\n" + kept));
        w.reset();
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::Socks5Proxy, QStringLiteral("elsewhere"), 1));
        auto *fake = new FakeBrowser;
        Form1 unshown(AppConfig{}, fake);
        QVERIFY(fake->navigations().isEmpty());
        check();
    }

    // Each run starts with the setting as chosen, its password included, from the keyring.
    void updateSetting_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("expected"); // mode host port user password
        QTest::newRow("no file: the desktop's") << QByteArray() << "0  0  ";
        QTest::newRow("none") << QByteArray("ProxyMode=none\r\n") << "1  0  ";
        QTest::newRow("this proxy") << QByteArray("ProxyMode=manual\r\nProxyHost=127.0.0.1\r\nProxyPort=9\r\n")
                                    << "2 127.0.0.1 9  ";
        QTest::newRow("with a user") << kManual << "2 127.0.0.1 9 bob kpw";
    }
    void updateSetting()
    {
        QFETCH(QByteArray, lines);
        auto w = startWith(lines, new FakeStore(FakeStore::Answers, QStringLiteral("kpw")));
        std::unique_ptr<DialogAnswerer> answerer(answer(nullptr, {}, QStringLiteral("typed")));
        const std::optional<ProxySetting> p = runUpdate(w.get());
        QVERIFY(p);
        QFETCH(QString, expected);
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5").arg(int(p->mode)).arg(p->host).arg(p->port).arg(p->user, p->password),
                 expected);
        QCOMPARE(prompts(*answerer), 0);
        // A choice made in the dialog is the next run's, with the password typed there.
        answerer.reset(answer("OptProxyManual", {"127.0.0.1", "9", "alice", "s3cret"}));
        Harness::action(w.get(), "MnuProxy")->trigger();
        QCOMPARE(runUpdate(w.get())->password, QStringLiteral("s3cret"));
    }

    // Asked for at most once a run: not when the keyring has it; when it has none (and keeps
    // what is typed), says there is none, gives no answer in time, or (the program's own
    // store) finds no Secret Service on the bus.
    void passwordAskedOnceARun_data()
    {
        QTest::addColumn<int>("behaviour"); // -1: the desktop's keyring store
        QTest::addColumn<QString>("inKeyring");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("keptInKeyring");
        QTest::newRow("the keyring has it") << int(FakeStore::Answers) << "kpw" << 0 << "kpw" << true;
        QTest::newRow("it has none") << int(FakeStore::Answers) << "" << 1 << "typed" << true;
        QTest::newRow("no keyring") << int(FakeStore::NoKeyring) << "" << 1 << "typed" << false;
        QTest::newRow("no answer in time") << int(FakeStore::Silent) << "" << 1 << "typed" << false;
        QTest::newRow("no Secret Service") << -1 << "" << 1 << "typed" << false;
    }
    void passwordAskedOnceARun()
    {
        QFETCH(int, behaviour);
        QFETCH(QString, inKeyring);
        auto *store = behaviour < 0 ? nullptr : new FakeStore(FakeStore::Behaviour(behaviour), inKeyring);
        auto w = startWith(kManual, store);
        std::unique_ptr<DialogAnswerer> answerer(answer(nullptr, {}, QStringLiteral("typed")));
        QFETCH(QString, password);
        QCOMPARE(runUpdate(w.get())->password, password);
        QCOMPARE(runUpdate(w.get())->password, password);
        QString user;
        QString given;
        QVERIFY(w->web1()->proxyCredentials(QStringLiteral("127.0.0.1"), &user, &given)); // the browser too
        QCOMPARE(user + given, QStringLiteral("bob") + password);
        QFETCH(int, asked);
        QCOMPARE(prompts(*answerer), asked);
        QFETCH(bool, keptInKeyring);
        QCOMPARE(store && store->kept.value(kKey) == password, keptInKeyring);
        // Asked again, the proxy refused them: not given over and over.
        QVERIFY(!w->web1()->proxyCredentials(QStringLiteral("127.0.0.1"), &user, &given));
        QVERIFY(!w->web1()->proxyCredentials(QStringLiteral("other.example"), &user, &given));
    }

    // Cancel ends that update before anything is fetched, with a word to say so; the run's
    // later updates do not ask again, and a password given in Options serves.
    void promptCancelled()
    {
        auto w = startWith(kManual, new FakeStore(FakeStore::NoKeyring));
        std::unique_ptr<DialogAnswerer> answerer(answer(nullptr, {}, std::nullopt));
        for (int run = 0; run < 2; ++run) {
            QVERIFY(!runUpdate(w.get()));
            QCOMPARE(w->findChild<QLabel *>(QStringLiteral("LblUpdateStatus"))->text(),
                     QStringLiteral("Update cancelled: no password was given for the proxy 127.0.0.1:9 (Options > "
                                    "Proxy... takes one); nothing was fetched."));
        }
        QCOMPARE(prompts(*answerer), 1);
        answerer.reset(answer("OptProxyManual", {"127.0.0.1", "9", "bob", "late"}));
        Harness::action(w.get(), "MnuProxy")->trigger();
        QCOMPARE(runUpdate(w.get())->password, QStringLiteral("late"));
    }

    // The whole way: the proxy and user named in Preferences.ini, the password from the
    // keyring, every page of the run carried by that proxy, which lets in only that user.
    void updateGoesThroughTheChosenProxy()
    {
        QTemporaryDir site;
        QVERIFY(site.isValid());
        SiteWriter writer(site.path());
        for (const MessageRecord &r : Fixtures::range(4, 12))
            QVERIFY(writer.writeMessage(r));
        QVERIFY(writer.writeLastMessage(12));
        SiteServer server(site.path());
        QVERIFY(server.listenLocal() != 0);
        LoggingProxy proxy;
        QVERIFY(proxy.listenLocal() != 0);
        proxy.requireCredentials("bob", "kpw");
        Fixtures::writeDatabase(path(QStringLiteral("veltra.mdb")), Fixtures::range(1, 3));
        Fixtures::writeAll(path(QStringLiteral("Preferences.ini")),
                           "[Veltra Knowledgebase preferences]\r\nFormat=1\r\nProxyMode=manual\r\nProxyHost=127.0.0.1\r\n"
                           "ProxyPort=" + QByteArray::number(proxy.serverPort()) + "\r\nProxyUser=bob\r\n");
        AppConfig config;
        config.updateServer = server.baseUrl();
        auto w = restart(config);
        auto store = std::make_unique<FakeStore>(FakeStore::Answers);
        store->kept.insert(QStringLiteral("proxy bob@127.0.0.1:%1").arg(proxy.serverPort()), QStringLiteral("kpw"));
        w->proxyOptions()->setPasswordStore(std::move(store));
        QVERIFY(runUpdate(w.get()));
        QVERIFY2(w->findChild<QLabel *>(QStringLiteral("LblUpdateStatus"))->text().contains(QLatin1String("Last # 12")),
                 qPrintable(w->findChild<QLabel *>(QStringLiteral("LblUpdateStatus"))->text()));
        QStringList carried;
        for (const QString &request : server.requests())
            carried << QStringLiteral("GET ") + server.baseUrl() + request;
        QCOMPARE(carried.size(), 10);
        // The first request learns how the proxy wants the user signed in; every later one
        // signs in at once rather than being refused first.
        QCOMPARE(proxy.requests(), QStringList{carried.constFirst()} + carried);
    }

    // After a run with a password, no file of the data folder holds it in any form.
    void passwordInNoFile()
    {
        const QString secret = QStringLiteral("Pw-7f3a9Qx!vel\u00e9tra");
        auto w = startWith(QByteArray());
        std::unique_ptr<DialogAnswerer> answerer(answer("OptProxyManual", {"127.0.0.1", "9", "bob", secret}));
        Harness::action(w.get(), "MnuProxy")->trigger();
        QCOMPARE(runUpdate(w.get())->password, secret);
        w->close();
        w.reset();
        const QList<QByteArray> forms{secret.toUtf8(), secret.toLatin1(), QUrl::toPercentEncoding(secret),
                                      QByteArray(reinterpret_cast<const char *>(secret.utf16()), secret.size() * 2),
                                      (QStringLiteral("bob:") + secret).toUtf8().toBase64()};
        int files = 0;
        QDirIterator it(path(QString()), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QByteArray bytes = Fixtures::readAll(it.next());
            ++files;
            for (const QByteArray &form : forms)
                QVERIFY2(!bytes.contains(form), qPrintable(it.filePath()));
        }
        QVERIFY(files >= 5);
        QVERIFY(Fixtures::readAll(path(QStringLiteral("Preferences.ini"))).endsWith(kManual));
    }
};

QTEST_MAIN(TestProxyOptions)
#include "tst_proxyoptions.moc"
