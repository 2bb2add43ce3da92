// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: the endpoints' defaults, their overrides and refused values.
#include "config/appconfig.h"

#include <QtTest>

class TestAppConfig : public QObject
{
    Q_OBJECT
private slots:
    void defaults()
    {
        const auto r = parseCommandLine({QStringLiteral("veltra-kb")});
        QVERIFY(r.config);
        QCOMPARE(r.config->groupArchiveBase(), QStringLiteral("http://groups.yahoo.com/group/veltraclub/"));
        QCOMPARE(r.config->clubStartPage(), QStringLiteral("http://www.veltraclub.org"));
        QVERIFY(r.config->searchIndex);
        const auto off = parseCommandLine({QStringLiteral("veltra-kb"), QStringLiteral("--no-search-index")});
        QVERIFY(off.config && !off.config->searchIndex);
    }

    void overrides_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("update");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("club");
        QTest::addColumn<QString>("search");
        QTest::newRow("all four") << QStringList{"--update-server", "http://127.0.0.1:8642", "--group-server",
                                                 "http://127.0.0.1:9000/", "--club-host", "club.test:8080",
                                                 "--search-server", "https://search.test"}
                                  << "http://127.0.0.1:8642" << "http://127.0.0.1:9000" << "club.test:8080"
                                  << "https://search.test";
        QTest::newRow("path and query dropped")
            << QStringList{"--update-server=http://u.test/dbupdate/?x=1"} << "http://u.test"
            << "http://groups.yahoo.com" << "veltraclub.org" << "http://www.google.com";
    }
    void overrides()
    {
        QFETCH(QStringList, args);
        args.prepend(QStringLiteral("veltra-kb"));
        const auto r = parseCommandLine(args);
        QVERIFY2(r.config, qPrintable(r.message));
        QTEST(r.config->updateServer, "update");
        QTEST(r.config->groupServer, "group");
        QTEST(r.config->clubHost, "club");
        QTEST(r.config->searchServer, "search");
    }

    void updateNumbers_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("fetches"); // 0: refused
        QTest::addColumn<int>("first");
        QTest::newRow("defaults") << QStringList{} << 8 << 1;
        QTest::newRow("both") << QStringList{"--update-fetches", "2", "--update-first=40000"} << 2 << 40000;
        QTest::newRow("one at a time") << QStringList{"--update-fetches", "1"} << 1 << 1;
        QTest::newRow("highest number") << QStringList{"--update-first", "2147483647"} << 8 << 2147483647;
        QTest::newRow("no fetches") << QStringList{"--update-fetches", "0"} << 0 << 0;
        QTest::newRow("too many fetches") << QStringList{"--update-fetches", "65"} << 0 << 0;
        QTest::newRow("first past 32 bits") << QStringList{"--update-first", "2147483648"} << 0 << 0;
        QTest::newRow("first not a number") << QStringList{"--update-first", "12a"} << 0 << 0;
        QTest::newRow("first negative") << QStringList{"--update-first", "-3"} << 0 << 0;
    }
    void updateNumbers()
    {
        QFETCH(QStringList, args);
        QFETCH(int, fetches);
        QFETCH(int, first);
        args.prepend(QStringLiteral("veltra-kb"));
        const auto r = parseCommandLine(args);
        QCOMPARE(bool(r.config), fetches != 0);
        if (!r.config) {
            QCOMPARE(r.exitCode, 2);
            QVERIFY(r.message.contains(QLatin1String("needs a whole number")));
            return;
        }
        QCOMPARE(r.config->updateFetches, fetches);
        QCOMPARE(r.config->updateFirst, first);
    }

    void refused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no scheme") << QStringList{"--update-server", "u.test"};
        QTest::newRow("ftp") << QStringList{"--group-server", "ftp://g.test"};
        QTest::newRow("club host with path") << QStringList{"--club-host", "club.test/x"};
        QTest::newRow("club host empty") << QStringList{"--club-host", ""};
        QTest::newRow("unknown option") << QStringList{"--verbose"};
        QTest::newRow("positional") << QStringList{"somewhere"};
    }
    void refused()
    {
        QFETCH(QStringList, args);
        args.prepend(QStringLiteral("veltra-kb"));
        const auto r = parseCommandLine(args);
        QVERIFY(!r.config);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(!r.message.isEmpty());
    }

    void helpListsEveryOption()
    {
        const auto r = parseCommandLine({QStringLiteral("veltra-kb"), QStringLiteral("--help")});
        QVERIFY(!r.config);
        QCOMPARE(r.exitCode, 0);
        for (const char *option : {"--update-server", "--group-server", "--club-host", "--search-server",
                                   "--update-fetches", "--update-first", "--no-search-index"})
            QVERIFY2(r.message.contains(QLatin1String(option)), option);
    }

    // Listed in the help, so it must not start the window instead.
    void helpAllPrintsTheHelp()
    {
        const auto r = parseCommandLine({QStringLiteral("veltra-kb"), QStringLiteral("--help-all")});
        QVERIFY(!r.config);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.message, parseCommandLine({QStringLiteral("veltra-kb"), QStringLiteral("--help")}).message);
    }

    void versionPrintsNameAndProjectVersion_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("long") << QStringList{"--version"};
        QTest::newRow("short") << QStringList{"-v"};
        QTest::newRow("with an endpoint") << QStringList{"--club-host", "club.test", "--version"};
    }
    void versionPrintsNameAndProjectVersion()
    {
        QFETCH(QStringList, args);
        args.prepend(QStringLiteral("veltra-kb"));
        const auto r = parseCommandLine(args);
        QVERIFY(!r.config);
        QCOMPARE(r.exitCode, 0);
        // The version the build was configured with, not one written into the source, alone
        // on the first line; the licence after it.
        QCOMPARE(r.message.section(QLatin1Char('\n'), 0, 0), QStringLiteral("Veltra Knowledgebase " VELTRA_PROJECT_VERSION));
        QCOMPARE(r.message.section(QLatin1Char('\n'), 2, 2),
                 QStringLiteral("Licence GPL-3.0-or-later: GNU General Public License, version 3 or later "
                                "<https://www.gnu.org/licenses/gpl-3.0.html>."));
        QVERIFY(r.message.endsWith(QLatin1String("There is NO WARRANTY, to the extent permitted by law.\n")));
    }
};

QTEST_GUILESS_MAIN(TestAppConfig)
#include "tst_appconfig.moc"
