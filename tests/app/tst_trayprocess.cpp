// SPDX-License-Identifier: GPL-3.0-or-later
// The tray and the logout signals with the window in a child process (tray_child): a real
// tray host (trayer) and window manager on an X display of the test's own, and SIGTERM,
// SIGHUP and SIGINT ending the program through its exit path, saving once.
#include "commandchild.h"
#include "fixtures.h"
#include "testenv.h"
#include "testtext.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/inotify.h>
#include <unistd.h>

using TestText::crlf;

namespace {

// tray_child in a data folder, one command and one answer a line.
class Child : public CommandChild
{
public:
    bool start(const QString &folder, const QProcessEnvironment &env)
    {
        return CommandChild::start(QStringLiteral(TRAY_CHILD_PATH), folder, env);
    }
    // The window's state: hidden, minimized, maximized, icon (shown), tray (a host runs),
    // rect (the icon's, x,y,w,h), window (its X id) and status (the status line).
    QMap<QString, QString> state() { return askPairs(QStringLiteral("state"), QStringLiteral("status")); }
    bool waitFor(const char *key, const char *value, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return state().value(QLatin1String(key)) == QLatin1String(value); }, timeoutMs);
    }
};

// Counts the times a file named `name` is put in place in `folder`: QSaveFile links or
// renames each whole new copy there.
class WriteCounter
{
public:
    WriteCounter(const QString &folder, const QString &name)
        : m_name(name.toLocal8Bit())
    {
        m_fd = inotify_init1(IN_NONBLOCK);
        inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_CREATE | IN_MOVED_TO);
    }
    ~WriteCounter() { ::close(m_fd); }
    int count()
    {
        alignas(inotify_event) char buffer[8192];
        ssize_t length;
        while ((length = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (char *p = buffer; p < buffer + length;) {
                const auto *event = reinterpret_cast<const inotify_event *>(p);
                if (event->len > 0 && m_name == event->name)
                    ++m_count;
                p += sizeof(inotify_event) + event->len;
            }
        }
        return m_count;
    }

private:
    QByteArray m_name;
    int m_fd = -1;
    int m_count = 0;
};

}

class TestTrayProcess final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() { m_dir.reset(); }

    void realTray();
    void logoutSignalsSaveOnce_data();
    void logoutSignalsSaveOnce();
};

void TestTrayProcess::realTray()
{
    REQUIRE_OR_SKIP(TestEnv::missingPrograms({"Xvfb", "trayer", "openbox", "xdotool"},
                                             QStringLiteral("Debian packages xvfb, trayer, openbox and xdotool")));

    // A display of its own: Xvfb picks a free one and names it when it is ready.
    OwnedProcess xvfb;
    xvfb.process.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    QVERIFY(QTest::qWaitFor([&] { return xvfb.process.canReadLine() || xvfb.process.state() == QProcess::NotRunning; }, 10000));
    const QString display = QLatin1Char(':') + QString::fromLatin1(xvfb.process.readLine()).trimmed();
    QVERIFY2(display.size() > 1, "Xvfb named no display");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // The window manager's and tray host's own files stay in the test's folder.
    env.insert(QStringLiteral("XDG_CACHE_HOME"), path(QStringLiteral("xdg")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("xdg")));
    const auto startOn = [&](OwnedProcess &helper, const QString &program, const QStringList &arguments) {
        helper.process.setProcessEnvironment(env);
        helper.process.setStandardOutputFile(QProcess::nullDevice());
        helper.process.setStandardErrorFile(QProcess::nullDevice());
        helper.process.start(program, arguments);
        return helper.process.waitForStarted();
    };
    const auto xdotool = [&](const QStringList &arguments) {
        OwnedProcess helper;
        return startOn(helper, QStringLiteral("xdotool"), arguments) && helper.process.waitForFinished(5000)
               && helper.process.exitCode() == 0;
    };
    // A desktop minimises through its window manager, which also brings a shown window back.
    OwnedProcess wm;
    QVERIFY(startOn(wm, QStringLiteral("openbox"), {"--sm-disable"}));
    OwnedProcess trayer;
    QVERIFY(startOn(trayer, QStringLiteral("trayer"), {}));

    // Maximised, with "&Minimize To System Tray" checked.
    Fixtures::writeAll(path("History.txt"), QByteArray());
    Fixtures::writeAll(path("UrlList.txt"), QByteArray());
    Fixtures::writeAll(path("KnowledgeBase.ini"),
                       crlf({" 300", " 450", " 9000", " 7500", "Subject", "B", " 100", " 2", "False", "False", "True", " 0"}));
    Child child;
    QVERIFY(child.start(m_dir->path(), env));
    QVERIFY2(child.waitFor("tray", "1"), "the tray host did not start");
    QCOMPARE(child.state().value("maximized"), QStringLiteral("1"));
    const QString window = child.state().value("window");
    const auto minimise = [&] {
        // Asked again while the window manager is not yet there to hear it.
        return QTest::qWaitFor([&] {
            const auto s = child.state();
            if (s.value("minimized") == QLatin1String("1"))
                return true;
            xdotool({"windowminimize", window});
            return false;
        }, 10000);
    };

    QVERIFY(minimise());
    QVERIFY(child.waitFor("hidden", "1"));
    auto s = child.state();
    QCOMPARE(s.value("icon"), QStringLiteral("1"));
    // A real double-click on the icon, again while the tray host has not yet mapped it.
    const auto doubleClickIcon = [&] {
        const QStringList r = child.state().value("rect").split(QLatin1Char(','));
        const int x = r.at(0).toInt() + r.at(2).toInt() / 2;
        const int y = r.at(1).toInt() + r.at(3).toInt() / 2;
        return r.size() == 4 && r.at(2).toInt() > 0
               && xdotool({"mousemove", QString::number(x), QString::number(y), "sleep", "0.1", "click", "--repeat",
                           "2", "--delay", "60", "1"})
               && child.waitFor("hidden", "0", 1500);
    };
    QVERIFY(QTest::qWaitFor(doubleClickIcon, 15000));
    s = child.state();
    QCOMPARE(s.value("minimized"), QStringLiteral("0"));
    QCOMPARE(s.value("maximized"), QStringLiteral("1"));
    QCOMPARE(s.value("icon"), QStringLiteral("0"));

    // Closing another window while this one is in the tray does not end the program.
    QCOMPARE(child.ask("page"), QStringLiteral("ok"));
    QVERIFY(minimise());
    QVERIFY(child.waitFor("hidden", "1"));
    QCOMPARE(child.ask("close-page"), QStringLiteral("ok"));
    // The child reads the next question only after what the close posted has run: a quit
    // would have ended it first, and no answer would come.
    QCOMPARE(child.state().value("icon"), QStringLiteral("1"));

    // The tray host goes away: the window comes back rather than stay out of reach.
    trayer.stop();
    QVERIFY(child.waitFor("hidden", "0"));
    QCOMPARE(child.state().value("status"), QStringLiteral("The system tray has closed, so the window is shown again."));

    // No tray host: an ordinary minimise, and why.
    QVERIFY(minimise());
    QVERIFY(QTest::qWaitFor([&] { return child.state().value("status").startsWith(QLatin1String("No system tray is running")); },
                            10000));
    s = child.state();
    QCOMPARE(s.value("hidden"), QStringLiteral("0"));
    QCOMPARE(s.value("icon"), QStringLiteral("0"));

    // "&Exit" from the tray ends the program, saved maximised.
    QVERIFY(xdotool({"windowactivate", "--sync", window}));
    QVERIFY(child.waitFor("minimized", "0"));
    // Now and then the window manager gives a window minimised without a tray back
    // unmaximised; the user maximises it again before sending it to the tray.
    if (!child.waitFor("maximized", "1", 3000))
        QCOMPARE(child.ask("maximize"), QStringLiteral("ok"));
    QVERIFY(child.waitFor("maximized", "1"));
    QVERIFY(startOn(trayer, QStringLiteral("trayer"), {}));
    QVERIFY(child.waitFor("tray", "1"));
    QVERIFY(minimise());
    QVERIFY(child.waitFor("hidden", "1"));
    QCOMPARE(child.ask("exit"), QStringLiteral("ok"));
    QCOMPARE(child.readLine(), QStringLiteral("ended"));
    QVERIFY(child.process().waitForFinished(10000));
    QCOMPARE(child.process().exitCode(), 0);
    QCOMPARE(Fixtures::readAll(path("KnowledgeBase.ini")).split('\n').value(7), QByteArray(" 2\r"));
}

void TestTrayProcess::logoutSignalsSaveOnce_data()
{
    QTest::addColumn<QList<int>>("signalNumbers");
    QTest::newRow("SIGTERM") << QList<int>{SIGTERM};
    QTest::newRow("SIGHUP") << QList<int>{SIGHUP};
    QTest::newRow("SIGINT") << QList<int>{SIGINT};
    QTest::newRow("all three together") << QList<int>{SIGTERM, SIGHUP, SIGINT};
}

void TestTrayProcess::logoutSignalsSaveOnce()
{
    QFETCH(QList<int>, signalNumbers);
    Child child;
    QVERIFY(child.start(m_dir->path(), QProcessEnvironment::systemEnvironment()));
    QCOMPARE(child.ask("search Subject"), QStringLiteral("ok"));
    WriteCounter settingsWrites(m_dir->path(), QStringLiteral("KnowledgeBase.ini"));

    for (int signalNumber : signalNumbers)
        ::kill(pid_t(child.process().processId()), signalNumber);
    QCOMPARE(child.readLine(), QStringLiteral("ended"));
    QVERIFY(child.process().waitForFinished(10000));
    QCOMPARE(child.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.process().exitCode(), 0);
    QCOMPARE(Fixtures::readAll(path("History.txt")), crlf({"Subject"}));
    QCOMPARE(settingsWrites.count(), 1);
}

QTEST_MAIN(TestTrayProcess)
#include "tst_trayprocess.moc"
