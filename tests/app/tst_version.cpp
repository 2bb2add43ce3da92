// SPDX-License-Identifier: GPL-3.0-or-later
// One version everywhere: what the built program prints, the local pages the build writes
// and the window's caption all name the version the project was configured with.
#include "app/form1.h"
#include "testenv.h"
#include "windowharness.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

namespace {

QString programOutput(const QStringList &arguments)
{
    QProcess program;
    program.start(QStringLiteral(VELTRA_KB_PATH), arguments);
    if (!program.waitForFinished(30000))
        return program.errorString();
    return QString::fromLocal8Bit(program.readAllStandardOutput());
}

QString page(const char *name)
{
    QFile file(QStringLiteral(VELTRA_PAGES_DIR "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

// Every version the text names after "Veltra Knowledgebase " (with or without a "V"),
// in the element given.
QStringList versionsIn(const QString &text, const QString &element)
{
    QStringList found;
    const QRegularExpression inElement(QStringLiteral("<%1>([^<]*)</%1>").arg(element));
    const QRegularExpression version(QStringLiteral("Veltra Knowledgebase V?([0-9][0-9.]*)"));
    for (const auto &e : inElement.globalMatch(text)) {
        for (const auto &v : version.globalMatch(e.captured(1)))
            found << v.captured(1);
    }
    return found;
}

}

class TestVersion final : public QObject
{
    Q_OBJECT

private slots:
    void everyPlaceNamesTheProjectVersion()
    {
        const QString project = QStringLiteral(VELTRA_PROJECT_VERSION);
        const QString version = programOutput({QStringLiteral("--version")});
        QCOMPARE(version.section(QLatin1Char('\n'), 0, 0), QStringLiteral("Veltra Knowledgebase ") + project);
        QVERIFY2(version.contains(QLatin1String("\nLicence GPL-3.0-or-later: ")), qPrintable(version));
        const QString about = page("about.html");
        const QString help = page("help.html");
        QCOMPARE(versionsIn(about, QStringLiteral("title")), QStringList{project});
        QCOMPARE(versionsIn(about, QStringLiteral("h1")), QStringList{project});
        QCOMPARE(versionsIn(help, QStringLiteral("title")), QStringList{project});
        QCOMPARE(versionsIn(help, QStringLiteral("h1")), QStringList{project});
        // The about page names the licence.
        QVERIFY(about.contains(QLatin1String("GNU General Public License")));
        QVERIFY(about.contains(QLatin1String("version 3 of the License, or (at your option) any later version")));

        Harness::DataFolder folder;
        FakeBrowser *fake = nullptr;
        auto w = Harness::startWindow(&fake, AppConfig{}, Harness::Engine::Fake, Harness::Questions::Declined);
        QCOMPARE(w->windowTitle(), QStringLiteral("Veltra Knowledgebase V") + project);
    }

    // Started by its path, the program still names itself as it is installed.
    void usageNamesTheProgram()
    {
        QVERIFY2(programOutput({QStringLiteral("--help")}).startsWith(QLatin1String("Usage: veltra-kb [options]\n")),
                 qPrintable(programOutput({QStringLiteral("--help")})));
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestVersion test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_version.moc"
