// SPDX-License-Identifier: GPL-3.0-or-later
// The Debian package as scripts/deb.sh writes it from this build tree (./package does the
// same): what it holds, what it depends on, Debian's own checkers, and a second build under
// another umask, locale and time zone.
#include "fixtures.h"
#include "processrun.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList lines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// What the package holds besides its folders, as `dpkg-deb -c` shows it: mode and path.
const QStringList kFiles = {
    QStringLiteral("-rwxr-xr-x usr/bin/veltra-jetreader"),
    QStringLiteral("-rwxr-xr-x usr/bin/veltra-kb"),
    QStringLiteral("-rwxr-xr-x usr/bin/veltra-restarter"),
    QStringLiteral("-rwxr-xr-x usr/libexec/veltra-kb/veltra-kb-desktop"),
    QStringLiteral("-rwxr-xr-x usr/libexec/veltra-kb/veltra-kb-message"),
    QStringLiteral("-rw-r--r-- usr/share/applications/veltra-kb.desktop"),
    QStringLiteral("-rw-r--r-- usr/share/doc/veltra-kb/changelog.gz"),
    QStringLiteral("-rw-r--r-- usr/share/doc/veltra-kb/copyright"),
    QStringLiteral("-rw-r--r-- usr/share/icons/hicolor/16x16/apps/veltra-kb.png"),
    QStringLiteral("-rw-r--r-- usr/share/icons/hicolor/22x22/apps/veltra-kb.png"),
    QStringLiteral("-rw-r--r-- usr/share/icons/hicolor/24x24/apps/veltra-kb.png"),
    QStringLiteral("-rw-r--r-- usr/share/icons/hicolor/32x32/apps/veltra-kb.png"),
    QStringLiteral("-rw-r--r-- usr/share/icons/hicolor/48x48/apps/veltra-kb.png"),
    QStringLiteral("-rw-r--r-- usr/share/icons/hicolor/64x64/apps/veltra-kb.png"),
    QStringLiteral("-rw-r--r-- usr/share/icons/hicolor/128x128/apps/veltra-kb.png"),
    QStringLiteral("-rw-r--r-- usr/share/icons/hicolor/256x256/apps/veltra-kb.png"),
    QStringLiteral("-rw-r--r-- usr/share/icons/hicolor/scalable/apps/veltra-kb.svg"),
    QStringLiteral("-rw-r--r-- usr/share/man/man1/veltra-jetreader.1.gz"),
    QStringLiteral("-rw-r--r-- usr/share/man/man1/veltra-kb.1.gz"),
    QStringLiteral("-rw-r--r-- usr/share/man/man1/veltra-restarter.1.gz"),
    QStringLiteral("-rw-r--r-- usr/share/metainfo/org.veltraclub.knowledgebase.metainfo.xml"),
    QStringLiteral("-rw-r--r-- usr/share/veltra-kb/about.html"),
    QStringLiteral("-rw-r--r-- usr/share/veltra-kb/help.html"),
};

// `dpkg-deb -c` as "mode owner path" lines, in the package's order.
QStringList listing(const QString &deb)
{
    QStringList entries;
    static const QRegularExpression line(QStringLiteral("^(\\S+) (\\S+) +\\d+ \\S+ \\S+ \\./(.*)$"));
    for (const QString &text : lines(runProcess(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb}).out)) {
        const QRegularExpressionMatch m = line.match(text);
        entries << (m.hasMatch() ? m.captured(1) + QLatin1Char(' ') + m.captured(2) + QLatin1Char(' ') + m.captured(3) : text);
    }
    return entries;
}

}

class TestPackage final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_deb;      // built as a member builds it
    QString m_otherDeb; // built under umask 077, another locale and time zone
    QString m_root;     // m_deb unpacked, with its DEBIAN folder

    QString file(const QString &path) const { return QDir(m_root).filePath(path); }

    static QString build(const QString &out, const QProcessEnvironment &env, const QString &umask)
    {
        const ProcessRun r = runProcess(QStringLiteral("sh"),
                          {QStringLiteral("-c"), QStringLiteral("umask %1 && exec \"$0\" \"$@\"").arg(umask),
                           QStringLiteral(VELTRA_SOURCE_DIR "/scripts/deb.sh"), QStringLiteral(VELTRA_BUILD_DIR), out},
                          env);
        if (r.exitCode != 0) {
            qWarning("%s", qPrintable(r.out));
            return QString();
        }
        return r.out.trimmed().section(QLatin1Char('\n'), -1);
    }

private slots:
    void initTestCase()
    {
        for (const char *tool : {"dpkg-deb", "dpkg-shlibdeps", "dpkg-gencontrol"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP("the Debian package tools are not installed (Debian package dpkg-dev; scripts/deps.sh installs it)");
        }
        QVERIFY(m_tmp.isValid());
        m_deb = build(m_tmp.filePath(QStringLiteral("one")), QProcessEnvironment::systemEnvironment(), QStringLiteral("022"));
        QVERIFY(!m_deb.isEmpty());
        QProcessEnvironment other = QProcessEnvironment::systemEnvironment();
        other.remove(QStringLiteral("LC_ALL"));
        other.insert(QStringLiteral("LANG"), QStringLiteral("POSIX"));
        other.insert(QStringLiteral("TZ"), QStringLiteral("Pacific/Chatham"));
        m_otherDeb = build(m_tmp.filePath(QStringLiteral("two")), other, QStringLiteral("077"));
        QVERIFY(!m_otherDeb.isEmpty());
        m_root = m_tmp.filePath(QStringLiteral("root"));
        const ProcessRun unpacked = runProcess(QStringLiteral("dpkg-deb"), {QStringLiteral("-R"), m_deb, m_root});
        QVERIFY2(unpacked.exitCode == 0, qPrintable(unpacked.out));
    }

    void nameCarriesVersionAndArchitecture()
    {
        const QString arch = runProcess(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}).out.trimmed();
        QCOMPARE(QFileInfo(m_deb).fileName(), QStringLiteral("veltra-kb_" VELTRA_PROJECT_VERSION "_%1.deb").arg(arch));
    }

    // Folders are those the files need; everything root's, readable by all, no umask's trace.
    void holdsItsFilesAndNothingElse()
    {
        QStringList expected;
        QSet<QString> folders{QString()};
        for (const QString &entry : kFiles) {
            const QString path = entry.section(QLatin1Char(' '), 1);
            expected << entry.section(QLatin1Char(' '), 0, 0) + QStringLiteral(" root/root ") + path;
            for (QString folder = QFileInfo(path).path(); folder != QLatin1String("."); folder = QFileInfo(folder).path())
                folders.insert(folder + QLatin1Char('/'));
        }
        for (const QString &folder : folders)
            expected << QStringLiteral("drwxr-xr-x root/root ") + folder;
        QStringList found = listing(m_deb);
        found.sort();
        expected.sort();
        QCOMPARE(found, expected);
        // No maintainer scripts and no configuration files: removing the package removes all
        // of it, and installing, upgrading or removing it runs nothing in anyone's home.
        QCOMPARE(QDir(file(QStringLiteral("DEBIAN"))).entryList(QDir::Files, QDir::Name),
                 (QStringList{QStringLiteral("control"), QStringLiteral("md5sums")}));
    }

    void sameWhateverTheUmaskLocaleAndTimeZone()
    {
        QCOMPARE(listing(m_otherDeb), listing(m_deb));
        QVERIFY2(Fixtures::readAll(m_otherDeb) == Fixtures::readAll(m_deb), "the two packages differ in their bytes");
    }

    // Every library the programs are linked with comes from a package named in Depends.
    void dependsCoverTheLinkedLibraries()
    {
        const QString control = runProcess(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb, QStringLiteral("Depends")}).out;
        QSet<QString> depends;
        for (const QString &item : control.split(QRegularExpression(QStringLiteral("[,|]"))))
            depends.insert(item.trimmed().section(QLatin1Char(' '), 0, 0));
        QSet<QString> libraries;
        static const QRegularExpression needed(QStringLiteral("\\(NEEDED\\)\\s+Shared library: \\[(.+)\\]"));
        for (const QString &entry : kFiles.filter(QStringLiteral("-rwxr-xr-x "))) {
            const ProcessRun r = runProcess(QStringLiteral("readelf"), {QStringLiteral("-d"), file(entry.section(QLatin1Char(' '), 1))});
            for (const QString &line : lines(r.out)) {
                const QRegularExpressionMatch m = needed.match(line);
                if (m.hasMatch())
                    libraries.insert(m.captured(1));
            }
        }
        QVERIFY2(libraries.contains(QStringLiteral("libQt6WebEngineWidgets.so.6")), qPrintable(libraries.values().join(u' ')));
        for (const QString &library : std::as_const(libraries)) {
            const ProcessRun owners = runProcess(QStringLiteral("dpkg"), {QStringLiteral("-S"), QStringLiteral("*/") + library});
            bool covered = false;
            for (const QString &line : lines(owners.out))
                covered = covered || depends.contains(line.section(QLatin1Char(':'), 0, 0));
            QVERIFY2(covered, qPrintable(library + QStringLiteral(" (") + owners.out.trimmed() + QStringLiteral(") is not in Depends: ") + control));
        }
    }

    // The option list of --help is the manual page's: an option added to one is added to both.
    void manualPageNamesEveryOption()
    {
        const ProcessRun help = runProcess(file(QStringLiteral("usr/bin/veltra-kb")), {QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        const QString page = runProcess(QStringLiteral("gzip"), {QStringLiteral("-dc"), file(QStringLiteral("usr/share/man/man1/veltra-kb.1.gz"))}).out;
        static const QRegularExpression option(QStringLiteral("(?<![\\w-])--([a-z][a-z-]*)"));
        int options = 0;
        for (auto it = option.globalMatch(help.out); it.hasNext(); ++options) {
            const QString name = it.next().captured(1);
            QVERIFY2(page.contains(QStringLiteral("\\-\\-") + QString(name).replace(QLatin1Char('-'), QStringLiteral("\\-"))),
                     qPrintable(QStringLiteral("--") + name + QStringLiteral(" is not in the manual page")));
        }
        QVERIFY(options >= 9);
    }

    // Each checker prints nothing but these lines when it finds nothing wrong.
    void checkersFindNothing_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("quietLines");
        const QString none = QStringLiteral("(?!)");
        QTest::newRow("menu entry") << "desktop-file-validate" << QStringList{QStringLiteral("usr/share/applications/veltra-kb.desktop")} << none;
        QTest::newRow("metainfo") << "appstreamcli"
                                  << QStringList{QStringLiteral("validate"), QStringLiteral("--pedantic"),
                                                 QStringLiteral("usr/share/metainfo/org.veltraclub.knowledgebase.metainfo.xml")}
                                  << QStringLiteral("^✔ Validation was successful.*$");
        // As lintian reads manual pages.
        for (const char *page : {"veltra-kb", "veltra-restarter", "veltra-jetreader"}) {
            QTest::newRow(page) << "man"
                                << QStringList{QStringLiteral("--warnings"), QStringLiteral("-E"), QStringLiteral("UTF-8"), QStringLiteral("-l"),
                                               QStringLiteral("-Tutf8"), QStringLiteral("-Z"),
                                               QStringLiteral("usr/share/man/man1/%1.1.gz").arg(QLatin1String(page))}
                                << none;
        }
        // Warnings are looked at by hand; an error fails.
        QTest::newRow("lintian") << "lintian" << QStringList{QStringLiteral("--fail-on"), QStringLiteral("error"), QStringLiteral("PACKAGE")}
                                 << QStringLiteral("^([WIPNXC]: .*|running with root privileges is not recommended!)$");
    }
    void checkersFindNothing()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(QString, quietLines);
        const QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty())
            QSKIP(qPrintable(tool + QStringLiteral(" is not installed (scripts/deps.sh installs it)")));
        for (QString &arg : args)
            arg = arg == QLatin1String("PACKAGE") ? m_deb : arg.startsWith(QLatin1String("usr/")) ? file(arg) : arg;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("MANROFFSEQ"), QString());
        env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
        const ProcessRun r = runProcess(program, args, env, QString(), tool == QLatin1String("man") ? ProcessOutput::ErrorOnly : ProcessOutput::Both);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out));
        const QRegularExpression quiet(quietLines);
        for (const QString &line : lines(r.out))
            QVERIFY2(quiet.match(line).hasMatch(), qPrintable(r.out));
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
