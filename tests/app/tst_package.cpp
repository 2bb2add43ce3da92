// SPDX-License-Identifier: GPL-3.0-or-later
// The Debian package built the Debian way, as ./package builds it: `dpkg-buildpackage -us -uc
// -b` in a copy of the source tree (the checkout is not touched), once. Then what it holds,
// what it depends on, its hardening, lintian, Debian's other checkers, the same bytes when
// the built tree is packed a second time under another umask, locale and time zone, and (as
// root, where the package is not installed already) `apt install` and `apt remove`.
#include "fixtures.h"
#include "processrun.h"
#include "testenv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

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

// The folders only this package puts files in: `apt remove` must take them away.
const QStringList kOwnFolders = {
    QStringLiteral("usr/libexec/veltra-kb"),
    QStringLiteral("usr/share/doc/veltra-kb"),
    QStringLiteral("usr/share/veltra-kb"),
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

// A long run (a build, an install), its output kept in `log`; false when it failed, with the
// end of the log given as the reason.
bool runLong(const QString &program, const QStringList &args, const QProcessEnvironment &env,
             const QString &workingDir, const QString &log, QString *why)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workingDir);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardOutputFile(log);
    p.start(program, args);
    const bool ended = p.waitForStarted() && p.waitForFinished(25 * 60 * 1000);
    if (ended && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    if (!ended)
        p.kill();
    const QString text = QString::fromUtf8(Fixtures::readAll(log));
    *why = QStringLiteral("%1 %2 failed (%3); the end of its output (%4):\n%5")
               .arg(program, args.join(u' '), ended ? QString::number(p.exitCode()) : p.errorString(), log,
                    text.right(6000));
    return false;
}

// The lintian tags the README explains, in its section "What lintian still says": every
// "- `tag`" item there.
QSet<QString> explainedTags()
{
    const QString readme = QString::fromUtf8(Fixtures::readAll(QStringLiteral(VELTRA_SOURCE_DIR "/README.md")));
    const qsizetype start = readme.indexOf(QLatin1String("What lintian still says"));
    if (start < 0)
        return {};
    qsizetype end = readme.indexOf(QLatin1String("\n#"), start);
    if (end < 0)
        end = readme.size();
    QSet<QString> tags;
    static const QRegularExpression item(QStringLiteral("^- `([a-z0-9][a-z0-9+.-]*)`"), QRegularExpression::MultilineOption);
    for (const auto &m : item.globalMatch(readme.mid(start, end - start)))
        tags.insert(m.captured(1));
    return tags;
}

bool isRoot()
{
    return geteuid() == 0;
}

// dpkg's status of veltra-kb on this machine, empty when it is not there at all (never
// installed, or removed with nothing left to purge).
QString packageStatus()
{
    const ProcessRun r = runProcess(QStringLiteral("dpkg-query"), {QStringLiteral("-W"), QStringLiteral("-f=${Status}"), QStringLiteral("veltra-kb")});
    const QString status = r.exitCode == 0 ? r.out.trimmed() : QString();
    return status.endsWith(QLatin1String(" not-installed")) ? QString() : status;
}

}

class TestPackage final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_version;  // of debian/changelog, which CMake checked against project()
    QString m_arch;
    QString m_changes;  // the .changes of the build, beside its packages
    QString m_deb;      // built as ./package builds it
    QString m_dbgsym;   // its debugging symbols
    QString m_otherDir; // the same built tree packed again under umask 077, another locale and time zone
    QString m_root;     // m_deb unpacked, with its DEBIAN folder
    bool m_installed = false;

    QString file(const QString &path) const { return QDir(m_root).filePath(path); }
    QString debName(const char *package) const
    {
        return QStringLiteral("%1_%2_%3.deb").arg(QLatin1String(package), m_version, m_arch);
    }

    // The tools' environment: their messages in plain English, whatever the machine's locale.
    static QProcessEnvironment buildEnvironment()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        return env;
    }

    static QString changelogField(const QString &field)
    {
        return runProcess(QStringLiteral("dpkg-parsechangelog"),
                          {QStringLiteral("-l"), QStringLiteral(VELTRA_SOURCE_DIR "/debian/changelog"), QStringLiteral("-S"), field})
            .out.trimmed();
    }

    // Moves what a dpkg-buildpackage run left beside the source tree into `dir`.
    bool collect(const QString &dir) const
    {
        const QDir out(m_tmp.filePath(QStringLiteral("out")));
        QDir().mkpath(dir);
        bool moved = false;
        for (const QString &name : out.entryList({QStringLiteral("*.deb"), QStringLiteral("*.changes"), QStringLiteral("*.buildinfo")}, QDir::Files))
            moved = QFile::rename(out.filePath(name), QDir(dir).filePath(name)) || moved;
        return moved;
    }

private slots:
    void initTestCase()
    {
        REQUIRE_OR_SKIP(TestEnv::missingPrograms({"dpkg-buildpackage", "dh", "dpkg-deb"},
                                                 QStringLiteral("Debian packages dpkg-dev and debhelper")));
        QVERIFY(m_tmp.isValid());
        m_arch = runProcess(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}).out.trimmed();
        m_version = changelogField(QStringLiteral("Version"));
        QCOMPARE(m_version, QStringLiteral(VELTRA_PROJECT_VERSION));

        // dpkg-buildpackage writes beside the source tree, here out/.
        const QString source = m_tmp.filePath(QStringLiteral("out/veltra-kb-") + m_version);
        const ProcessRun copied = runProcess(QStringLiteral(VELTRA_SOURCE_DIR "/scripts/sourcecopy.sh"), {source});
        QVERIFY2(copied.exitCode == 0, qPrintable(copied.out));

        QElapsedTimer clock;
        clock.start();
        QString why;
        // As many jobs as cores, as ./package: the rest of the suite is short beside this build.
        QVERIFY2(runLong(QStringLiteral("dpkg-buildpackage"), {QStringLiteral("-us"), QStringLiteral("-uc"), QStringLiteral("-b")},
                         buildEnvironment(), source, m_tmp.filePath(QStringLiteral("build.log")), &why),
                 qPrintable(why));
        const qint64 built = clock.restart();
        const QString one = m_tmp.filePath(QStringLiteral("one"));
        QVERIFY(collect(one));

        // The second packing: the build is not run again (dh's build stamp), but everything
        // from the install into debian/veltra-kb on is: stripping, compressing, the control
        // files, the checksums and the archives. dh_prep clears the package's tree but not
        // the debugging symbols' (only `dh clean` does), so that goes first, as in a new build.
        QProcessEnvironment other = buildEnvironment();
        other.remove(QStringLiteral("LC_ALL"));
        other.insert(QStringLiteral("LANG"), QStringLiteral("POSIX"));
        other.insert(QStringLiteral("TZ"), QStringLiteral("Pacific/Chatham"));
        QVERIFY2(runLong(QStringLiteral("sh"),
                         {QStringLiteral("-c"), QStringLiteral("umask 077 && rm -rf debian/.debhelper/veltra-kb && exec dpkg-buildpackage -us -uc -b -nc")}, other,
                         source, m_tmp.filePath(QStringLiteral("repack.log")), &why),
                 qPrintable(why));
        m_otherDir = m_tmp.filePath(QStringLiteral("two"));
        QVERIFY(collect(m_otherDir));
        qInfo("dpkg-buildpackage took %.0f s, the second packing %.0f s", built / 1000.0, clock.elapsed() / 1000.0);

        m_deb = QDir(one).filePath(debName("veltra-kb"));
        m_dbgsym = QDir(one).filePath(debName("veltra-kb-dbgsym"));
        m_changes = QDir(one).filePath(QStringLiteral("veltra-kb_%1_%2.changes").arg(m_version, m_arch));
        for (const QString &path : {m_deb, m_dbgsym, m_changes})
            QVERIFY2(QFileInfo::exists(path), qPrintable(path + QStringLiteral(" was not written: ") + QDir(one).entryList().join(u' ')));
        m_root = m_tmp.filePath(QStringLiteral("root"));
        const ProcessRun unpacked = runProcess(QStringLiteral("dpkg-deb"), {QStringLiteral("-R"), m_deb, m_root});
        QVERIFY2(unpacked.exitCode == 0, qPrintable(unpacked.out));
    }

    void cleanupTestCase()
    {
        // A test that stopped between installing and removing leaves no package behind.
        if (m_installed)
            runProcess(QStringLiteral("dpkg"), {QStringLiteral("--remove"), QStringLiteral("veltra-kb")});
    }

    // Only what ships was built: the developer build's tools, tests and benchmarks were not.
    void buildsOnlyWhatShips()
    {
        const QString log = QString::fromUtf8(Fixtures::readAll(m_tmp.filePath(QStringLiteral("build.log"))));
        QVERIFY2(log.contains(QLatin1String("-DVELTRA_DEVELOPER_BUILD=OFF")), "the package build is not configured as one");
        for (const char *target : {"veltra-demogen", "tst_", "bench_"})
            QVERIFY2(!log.contains(QStringLiteral("Built target %1").arg(QLatin1String(target))), target);
        QVERIFY(log.contains(QLatin1String("Built target veltra-kb")));
        // Debian's build flags, hardening included, reached the compiler and the linker.
        for (const char *flag : {"-D_FORTIFY_SOURCE=2", "-fstack-protector-strong", "-Wl,-z,relro", "-Wl,-z,now"})
            QVERIFY2(log.contains(QLatin1String(flag)), flag);
    }

    void nameCarriesVersionAndArchitecture()
    {
        QCOMPARE(QFileInfo(m_deb).fileName(), QStringLiteral("veltra-kb_" VELTRA_PROJECT_VERSION "_%1.deb").arg(m_arch));
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
        // No maintainer scripts, triggers or configuration files: removing the package removes
        // all of it, and installing, upgrading or removing it runs nothing in anyone's home.
        QCOMPARE(QDir(file(QStringLiteral("DEBIAN"))).entryList(QDir::Files, QDir::Name),
                 (QStringList{QStringLiteral("control"), QStringLiteral("md5sums")}));
    }

    // The debugging symbols of every program, by build id, in a package of their own.
    void debugSymbolsApart()
    {
        QCOMPARE(runProcess(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_dbgsym, QStringLiteral("Depends")}).out.trimmed(),
                 QStringLiteral("veltra-kb (= %1)").arg(m_version));
        int debugFiles = 0;
        for (const QString &entry : listing(m_dbgsym))
            debugFiles += entry.contains(QRegularExpression(QStringLiteral("usr/lib/debug/\\.build-id/[0-9a-f]{2}/[0-9a-f]+\\.debug$")));
        QCOMPARE(debugFiles, int(kFiles.filter(QStringLiteral("-rwxr-xr-x ")).size()) - 1); // the launcher is a script
        for (const QString &entry : kFiles.filter(QStringLiteral("-rwxr-xr-x "))) {
            const QString path = entry.section(QLatin1Char(' '), 1);
            if (path.endsWith(QLatin1String("veltra-kb-desktop")))
                continue;
            const QString sections = runProcess(QStringLiteral("readelf"), {QStringLiteral("-S"), file(path)}).out;
            QVERIFY2(!sections.contains(QLatin1String(".debug_info")), qPrintable(path + QStringLiteral(" is not stripped")));
        }
    }

    // hardening-check (devscripts) finds every hardening feature Debian 12's dpkg-buildflags
    // gives (control-flow protection is not among them before Debian 13).
    void programsAreHardened()
    {
        REQUIRE_OR_SKIP(TestEnv::missingPrograms({QStringLiteral("hardening-check")}, QStringLiteral("Debian package devscripts")));
        const QString tool = QStandardPaths::findExecutable(QStringLiteral("hardening-check"));
        QStringList args{QStringLiteral("--nocfprotection")};
        for (const QString &entry : kFiles.filter(QStringLiteral("-rwxr-xr-x "))) {
            if (!entry.endsWith(QLatin1String("veltra-kb-desktop")))
                args << file(entry.section(QLatin1Char(' '), 1));
        }
        const ProcessRun r = runProcess(tool, args);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out));
        QCOMPARE(r.out.count(QLatin1String("Immediate binding: yes")), args.size() - 1);
        QCOMPARE(r.out.count(QLatin1String("Position Independent Executable: yes")), args.size() - 1);
    }

    void sameWhateverTheUmaskLocaleAndTimeZone()
    {
        for (const char *package : {"veltra-kb", "veltra-kb-dbgsym"}) {
            const QString first = QFileInfo(m_deb).dir().filePath(debName(package));
            const QString second = QDir(m_otherDir).filePath(debName(package));
            QCOMPARE(listing(second), listing(first));
            QVERIFY2(Fixtures::readAll(second) == Fixtures::readAll(first),
                     qPrintable(QStringLiteral("the two packings of %1 differ in their bytes").arg(QLatin1String(package))));
        }
        // Every file's time is the newest changelog entry's (SOURCE_DATE_EPOCH).
        const QDateTime when = QDateTime::fromSecsSinceEpoch(changelogField(QStringLiteral("Timestamp")).toLongLong(), Qt::UTC);
        QCOMPARE(QFileInfo(file(QStringLiteral("usr/bin/veltra-kb"))).lastModified().toUTC(), when);
    }

    // lintian, pedantic, with info and experimental tags, on both packages and the build's
    // record: no error, no warning, and every other tag explained in the README.
    void lintianFindsNothingUnexplained()
    {
        REQUIRE_OR_SKIP(TestEnv::missingPrograms({QStringLiteral("lintian")}, QStringLiteral("Debian package lintian")));
        const QString tool = QStandardPaths::findExecutable(QStringLiteral("lintian"));
        const ProcessRun r = runProcess(tool, {QStringLiteral("--pedantic"), QStringLiteral("-I"), QStringLiteral("-E"), m_changes},
                                        buildEnvironment());
        QVERIFY2(r.exitCode == 0, qPrintable(r.out));
        const QSet<QString> explained = explainedTags();
        QVERIFY2(!explained.isEmpty(), "the README's section \"What lintian still says\" names no tag");
        static const QRegularExpression tagLine(QStringLiteral("^([A-Z]): [^ ]+: ([^ ]+)"));
        QSet<QString> seen;
        for (const QString &line : lines(r.out)) {
            if (line == QLatin1String("running with root privileges is not recommended!"))
                continue;
            const QRegularExpressionMatch m = tagLine.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(QStringLiteral("lintian said: ") + line));
            QVERIFY2(m.captured(1) != QLatin1String("E") && m.captured(1) != QLatin1String("W"), qPrintable(line));
            QVERIFY2(explained.contains(m.captured(2)),
                     qPrintable(line + QStringLiteral("\n(a tag the README's \"What lintian still says\" does not explain)")));
            seen.insert(m.captured(2));
        }
        // A tag that went away goes from the README too.
        QCOMPARE(explained - seen, QSet<QString>());
    }

    // The package names its licence where Debian and software centres look for it.
    void namesItsLicence_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("text");
        QTest::newRow("copyright") << "usr/share/doc/veltra-kb/copyright" << "\nLicense: GPL-3.0-or-later\n";
        QTest::newRow("metainfo") << "usr/share/metainfo/org.veltraclub.knowledgebase.metainfo.xml"
                                  << "<project_license>GPL-3.0-or-later</project_license>";
        QTest::newRow("about page") << "usr/share/veltra-kb/about.html" << "GNU General Public License";
    }
    void namesItsLicence()
    {
        QFETCH(QString, path);
        QFETCH(QString, text);
        QVERIFY2(QString::fromUtf8(Fixtures::readAll(file(path))).contains(text), qPrintable(path));
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
    }
    void checkersFindNothing()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(QString, quietLines);
        REQUIRE_OR_SKIP(TestEnv::missingPrograms({tool}, QStringLiteral("Debian packages desktop-file-utils, appstream and man-db")));
        const QString program = QStandardPaths::findExecutable(tool);
        for (QString &arg : args)
            arg = arg.startsWith(QLatin1String("usr/")) ? file(arg) : arg;
        QProcessEnvironment env = buildEnvironment();
        env.insert(QStringLiteral("MANROFFSEQ"), QString());
        env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
        const ProcessRun r = runProcess(program, args, env, QString(), tool == QLatin1String("man") ? ProcessOutput::ErrorOnly : ProcessOutput::Both);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out));
        const QRegularExpression quiet(quietLines);
        for (const QString &line : lines(r.out))
            QVERIFY2(quiet.match(line).hasMatch(), qPrintable(r.out));
    }

    // Installed with apt, started from its launcher as the menu starts it, and removed with
    // apt: nothing of the package is left, and the user's data folder is left as it was.
    void aptRemoveLeavesOnlyTheDataFolder()
    {
        if (!isRoot())
            QSKIP("installing the package needs root (CI runs the tests as root)");
        const QString status = packageStatus();
        if (!status.isEmpty())
            QSKIP(qPrintable(QStringLiteral("veltra-kb is on this machine (%1): the test leaves it alone").arg(status)));
        QProcessEnvironment env = buildEnvironment();
        env.insert(QStringLiteral("DEBIAN_FRONTEND"), QStringLiteral("noninteractive"));
        QString why;
        m_installed = true;
        QVERIFY2(runLong(QStringLiteral("apt-get"), {QStringLiteral("install"), QStringLiteral("-y"), QStringLiteral("--no-install-recommends"), m_deb},
                         env, m_tmp.path(), m_tmp.filePath(QStringLiteral("install.log")), &why),
                 qPrintable(why));
        for (const QString &entry : kFiles)
            QVERIFY2(QFileInfo::exists(QLatin1Char('/') + entry.section(QLatin1Char(' '), 1)), qPrintable(entry));

        // The menu entry's launcher makes the data folder and puts the pages there.
        const QString home = m_tmp.filePath(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(home));
        QProcessEnvironment user = QProcessEnvironment::systemEnvironment();
        user.insert(QStringLiteral("HOME"), home);
        user.remove(QStringLiteral("DISPLAY"));
        user.remove(QStringLiteral("WAYLAND_DISPLAY"));
        const ProcessRun started = runProcess(QStringLiteral("/usr/libexec/veltra-kb/veltra-kb-desktop"), {QStringLiteral("--version")}, user);
        QCOMPARE(started.exitCode, 0);
        QVERIFY2(started.out.startsWith(QStringLiteral("Veltra Knowledgebase " VELTRA_PROJECT_VERSION "\n")), qPrintable(started.out));
        const QString data = QDir(home).filePath(QStringLiteral("VeltraKnowledgebase"));
        QCOMPARE(QDir(data).entryList(QDir::Files, QDir::Name), (QStringList{QStringLiteral("about.html"), QStringLiteral("help.html")}));

        QVERIFY2(runLong(QStringLiteral("apt-get"), {QStringLiteral("remove"), QStringLiteral("-y"), QStringLiteral("veltra-kb")}, env,
                         m_tmp.path(), m_tmp.filePath(QStringLiteral("remove.log")), &why),
                 qPrintable(why));
        m_installed = false;
        // Nothing to purge: without configuration files or maintainer scripts dpkg forgets it.
        QCOMPARE(packageStatus(), QString());
        for (const QString &entry : kFiles)
            QVERIFY2(!QFileInfo::exists(QLatin1Char('/') + entry.section(QLatin1Char(' '), 1)), qPrintable(entry + QStringLiteral(" is left")));
        for (const QString &folder : kOwnFolders)
            QVERIFY2(!QFileInfo::exists(QLatin1Char('/') + folder), qPrintable(folder + QStringLiteral(" is left")));
        QCOMPARE(QDir(data).entryList(QDir::Files, QDir::Name), (QStringList{QStringLiteral("about.html"), QStringLiteral("help.html")}));
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
