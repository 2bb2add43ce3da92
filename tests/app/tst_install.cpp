// SPDX-License-Identifier: GPL-3.0-or-later
// `cmake --install` into temporary prefixes, one plain and one with characters the desktop
// entry and the shell must quote; the installed files are then used as a desktop would.
#include "widgets/icons.h"
#include "processrun.h"
#include "testenv.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kVersionLine = QStringLiteral("Veltra Knowledgebase " VELTRA_PROJECT_VERSION "\n");
// --version's first line (the licence follows it).
QString firstLine(const QString &text)
{
    return text.left(text.indexOf(QLatin1Char('\n')) + 1);
}
const QString kEntry = QStringLiteral("share/applications/veltra-kb.desktop");
const QString kIcon = QStringLiteral("share/icons/hicolor/scalable/apps/veltra-kb.svg");

ProcessRun install(const QString &prefix, const QString &destdir = QString(), const QString &workingDir = QString())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), destdir);
    return runProcess(QStringLiteral(VELTRA_CMAKE),
               {QStringLiteral("--install"), QStringLiteral(VELTRA_BUILD_DIR), QStringLiteral("--prefix"), prefix}, env,
               workingDir);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A key of the entry with the string escape of backslashes undone (the entry uses no other).
QString entryValue(const QString &entryPath, const QString &key)
{
    for (const QString &line : QString::fromUtf8(contents(entryPath)).split(QLatin1Char('\n'))) {
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1).replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    }
    return QString();
}

// The arguments of an Exec value as a desktop splits them: blanks separate, double quotes
// group, and inside them a backslash keeps the next of " ` $ \ literal.
QStringList execArguments(const QString &exec)
{
    QStringList args;
    QString current;
    bool quoted = false;
    bool started = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted && c == QLatin1Char('\\') && i + 1 < exec.size() && QStringLiteral("\"`$\\").contains(exec.at(i + 1))) {
            current += exec.at(++i);
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
            started = true;
        } else if (c == QLatin1Char(' ') && !quoted) {
            if (started)
                args << current;
            current.clear();
            started = false;
        } else {
            current += c;
            started = true;
        }
    }
    if (started)
        args << current;
    return args;
}

QImage overWhite(const QImage &picture)
{
    QImage result(picture.size(), QImage::Format_RGB32);
    result.fill(Qt::white);
    QPainter(&result).drawImage(0, 0, picture);
    return result;
}

}

class TestInstall final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString plain() const { return m_tmp.filePath(QStringLiteral("usr")); }
    // A blank, an apostrophe, a dollar sign and a double quote: reserved in an Exec line,
    // and each breaks a carelessly quoted shell word.
    QString quoted() const { return m_tmp.filePath(QStringLiteral("Veltra KB's $HOME \"x\"")); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        for (const QString &prefix : {plain(), quoted()}) {
            const ProcessRun r = install(prefix);
            QVERIFY2(r.exitCode == 0, qPrintable(r.out));
        }
    }

    void installed_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::newRow("plain") << plain();
        QTest::newRow("quoted") << quoted();
    }
    void installed()
    {
        QFETCH(QString, prefix);
        const QDir p(prefix);
        QVERIFY(QFileInfo(p.filePath(kIcon)).isFile());
        const ProcessRun version = runProcess(p.filePath(QStringLiteral("bin/veltra-kb")), {QStringLiteral("--version")});
        QCOMPARE(firstLine(version.out), kVersionLine);
        // The program starts its companion from its own folder; without arguments it shows its usage.
        const ProcessRun companion = runProcess(p.filePath(QStringLiteral("bin/veltra-restarter")), {});
        QCOMPARE(companion.exitCode, 2);
        QVERIFY2(companion.out.contains(QLatin1String("--pid PID --dir FOLDER")), qPrintable(companion.out));
        QCOMPARE(entryValue(p.filePath(kEntry), QStringLiteral("Icon")), QFileInfo(kIcon).baseName());

        // What the desktop runs starts the installed program in ~/VeltraKnowledgebase, made on
        // first use, with the installed help pages beside the database, renewed at each start.
        const QStringList exec = execArguments(entryValue(p.filePath(kEntry), QStringLiteral("Exec")));
        QCOMPARE(exec.size(), 1);
        QCOMPARE(QFileInfo(exec.first()).absolutePath(), p.filePath(QStringLiteral("libexec/veltra-kb")));
        QCOMPARE(entryValue(p.filePath(kEntry), QStringLiteral("TryExec")), exec.first());
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        const QDir folder(home.filePath(QStringLiteral("VeltraKnowledgebase")));
        for (int start = 1; start <= 2; ++start) {
            QCOMPARE(firstLine(runProcess(exec.first(), {QStringLiteral("--version")}, env).out), kVersionLine);
            for (const char *page : {"help.html", "about.html"}) {
                const QString name = QString::fromLatin1(page);
                QCOMPARE(contents(folder.filePath(name)), contents(QStringLiteral(VELTRA_BUILD_DIR "/pages/") + name));
                QCOMPARE(contents(p.filePath(QStringLiteral("share/veltra-kb/") + name)), contents(folder.filePath(name)));
            }
            QFile stale(folder.filePath(QStringLiteral("help.html")));
            QVERIFY(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QFile database(folder.filePath(QStringLiteral("veltra.mdb")));
            QVERIFY(database.open(QIODevice::WriteOnly | QIODevice::Append));
            database.write("messages");
        }
        QCOMPARE(contents(folder.filePath(QStringLiteral("veltra.mdb"))), QByteArray("messagesmessages"));
    }

    // Started from the menu, the launcher says why it cannot start rather than failing silently.
    void launcherSaysWhyItCannotStart_data()
    {
        QTest::addColumn<QString>("home"); // empty: HOME is not set
        QTest::addColumn<QString>("reason");
        QTest::newRow("HOME not set") << QString() << QStringLiteral("HOME is not set");
        QTest::newRow("no home folder") << m_tmp.filePath(QStringLiteral("nobody"))
                                        << QStringLiteral("could not be made: No such file or directory.");
        QTest::newRow("a file in the way") << m_tmp.filePath(QStringLiteral("filehome"))
                                           << QStringLiteral("could not be made: File exists.");
    }
    void launcherSaysWhyItCannotStart()
    {
        QFETCH(QString, home);
        QFETCH(QString, reason);
        QVERIFY(QDir().mkpath(m_tmp.filePath(QStringLiteral("filehome"))));
        QFile inTheWay(m_tmp.filePath(QStringLiteral("filehome/VeltraKnowledgebase")));
        QVERIFY(inTheWay.open(QIODevice::WriteOnly));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Without a display the reason goes to standard error only, with no box to wait on.
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        env.remove(QStringLiteral("HOME"));
        if (!home.isEmpty())
            env.insert(QStringLiteral("HOME"), home);
        const ProcessRun r = runProcess(QDir(plain()).filePath(QStringLiteral("libexec/veltra-kb/veltra-kb-desktop")), {QStringLiteral("--version")}, env);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.contains(reason) && !r.out.contains(kVersionLine), qPrintable(r.out));
        QVERIFY(!QFileInfo::exists(m_tmp.filePath(QStringLiteral("nobody"))));
    }

    void entryIsValid_data() { installed_data(); }
    void entryIsValid()
    {
        QFETCH(QString, prefix);
        REQUIRE_OR_SKIP(TestEnv::missingPrograms({QStringLiteral("desktop-file-validate")},
                                                 QStringLiteral("Debian package desktop-file-utils")));
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        const ProcessRun r = runProcess(validator, {QDir(prefix).filePath(kEntry)});
        QVERIFY2(r.exitCode == 0 && r.out.isEmpty(), qPrintable(r.out)); // not even a hint
    }

    // A package is built with DESTDIR: the files go under it, the entry names the final places.
    void stagedInstallNamesTheFinalPlaces()
    {
        const QString stage = m_tmp.filePath(QStringLiteral("stage"));
        const ProcessRun r = install(QStringLiteral("/usr"), stage);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out));
        QVERIFY(QFileInfo(stage + QStringLiteral("/usr/bin/veltra-kb")).isExecutable());
        QCOMPARE(execArguments(entryValue(stage + QStringLiteral("/usr/") + kEntry, QStringLiteral("Exec"))),
                 QStringList{QStringLiteral("/usr/libexec/veltra-kb/veltra-kb-desktop")});
        const QByteArray launcher = contents(stage + QStringLiteral("/usr/libexec/veltra-kb/veltra-kb-desktop"));
        QVERIFY(launcher.contains("'/usr/bin/veltra-kb'"));
        QVERIFY(!launcher.contains(stage.toUtf8()));
    }

    // A relative prefix is taken from the folder the install runs in, where the files go.
    void relativePrefixGivesAbsolutePaths()
    {
        const QString base = m_tmp.filePath(QStringLiteral("cwd"));
        QVERIFY(QDir().mkpath(base));
        const ProcessRun r = install(QStringLiteral("relative"), QString(), base);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out));
        const QDir p(base + QStringLiteral("/relative"));
        QCOMPARE(execArguments(entryValue(p.filePath(kEntry), QStringLiteral("Exec"))),
                 QStringList{p.filePath(QStringLiteral("libexec/veltra-kb/veltra-kb-desktop"))});
    }

    // The desktop's icon is drawn by hand after the window's; rendered by librsvg, as desktops
    // render it, the two must look alike.
    void iconLooksLikeTheWindowIcon()
    {
        REQUIRE_OR_SKIP(TestEnv::missingPrograms({QStringLiteral("rsvg-convert")},
                                                 QStringLiteral("Debian package librsvg2-bin, a build dependency")));
        const QString rsvg = QStandardPaths::findExecutable(QStringLiteral("rsvg-convert"));
        const QString png = m_tmp.filePath(QStringLiteral("icon.png"));
        const ProcessRun r = runProcess(rsvg, {QStringLiteral("-w"), QStringLiteral("32"), QStringLiteral("-h"), QStringLiteral("32"),
                                 QStringLiteral("-o"), png, QDir(plain()).filePath(kIcon)});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out));
        const QImage desktop = overWhite(QImage(png));
        const QImage window = overWhite(Icons::appIcon().pixmap(32, 32).toImage());
        QCOMPARE(desktop.size(), window.size());
        qint64 difference = 0;
        int farOff = 0;
        for (int y = 0; y < desktop.height(); ++y) {
            for (int x = 0; x < desktop.width(); ++x) {
                const QRgb a = desktop.pixel(x, y);
                const QRgb b = window.pixel(x, y);
                const int d = qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b));
                difference += d;
                farOff += d > 3 * 64;
            }
        }
        // Edges are smoothed a little differently; shapes and colours must agree (a moved
        // magnifier or another body colour comes to about 12).
        const double mean = double(difference) / (32 * 32 * 3);
        QVERIFY2(mean < 4.0 && farOff < 16, qPrintable(QStringLiteral("mean %1, %2 pixels far off").arg(mean).arg(farOff)));
    }
};

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
