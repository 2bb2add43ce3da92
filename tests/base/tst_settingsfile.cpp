// SPDX-License-Identifier: GPL-3.0-or-later
// KnowledgeBase.ini: the exact bytes written, and reading that stops at the first bad value.
#include "base/listfile.h"
#include "base/preferences.h"
#include "base/settingsfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include "testtext.h"

#include <memory>

namespace {

using TestText::crlf;

const QByteArray kGood = crlf({" 300", " 450", " 9000", " 7500", "Author", "P", " 0", " 2", "True", "False", "True", " 1"});

// kGood with line `line` (1-based) replaced.
QByteArray withLine(int line, const char *text)
{
    QList<QByteArray> lines = kGood.split('\n');
    lines[line - 1] = QByteArray(text) + '\r';
    return lines.join('\n');
}

SettingsValues sample()
{
    SettingsValues v;
    v.top = 300;
    v.left = 450;
    v.width = 9000;
    v.height = 7500;
    v.searchField = QStringLiteral("Author");
    v.wildcard = QStringLiteral("P");
    v.panelTop = 0;
    v.windowState = 2;
    v.startPage = true;
    v.autoUpdate = false;
    v.minTray = true;
    v.noWarning = 1;
    return v;
}

bool sameValues(const SettingsValues &a, const SettingsValues &b)
{
    return a.top == b.top && a.left == b.left && a.width == b.width && a.height == b.height
        && a.searchField == b.searchField && a.wildcard == b.wildcard && a.panelTop == b.panelTop
        && a.windowState == b.windowState && a.startPage == b.startPage && a.autoUpdate == b.autoUpdate
        && a.minTray == b.minTray && a.noWarning == b.noWarning;
}

}

class TestSettingsFile : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString iniPath() const { return m_dir->filePath(QStringLiteral("KnowledgeBase.ini")); }

    SettingsFile::ReadResult readBytes(const QByteArray &bytes)
    {
        QFile f(iniPath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            qFatal("cannot write the test file");
        f.close();
        return SettingsFile::read(iniPath());
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void writesExactBytes()
    {
        QCOMPARE(SettingsFile::toBytes(sample()), kGood);
        SettingsValues v = sample();
        v.top = -15;
        v.left = 1.5f;
        v.panelTop = 100;
        v.windowState = 0;
        v.startPage = false;
        v.noWarning = 0;
        QCOMPARE(SettingsFile::toBytes(v), crlf({"-15", " 1.5", " 9000", " 7500", "Author", "P", " 100", " 0", "False",
                                                 "False", "True", " 0"}));
        QString error;
        QVERIFY2(SettingsFile::write(iniPath(), sample(), &error), qPrintable(error));
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), kGood);
    }

    void roundTrip()
    {
        SettingsValues v = sample();
        v.top = -120.25f;
        v.width = 16777216;
        v.searchField = QStringLiteral(u"Bödy €"); // not a known field, but kept as read
        v.noWarning = 2;
        QVERIFY(SettingsFile::write(iniPath(), v));
        const auto result = SettingsFile::read(iniPath());
        QCOMPARE(result.count, 12);
        QVERIFY(sameValues(result.values, v));
    }

    void readStopsAtFirstBadValue_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("count");
        QTest::newRow("complete") << kGood << 12;
        QTest::newRow("extra lines ignored") << kGood + crlf({"junk", "more"}) << 12;
        QTest::newRow("empty file") << QByteArray() << 0;
        QTest::newRow("only four lines") << crlf({" 300", " 450", " 9000", " 7500"}) << 4;
        QTest::newRow("no final line end") << kGood.chopped(2) << 12;
        QTest::newRow("LF line ends") << QByteArray(kGood).replace("\r\n", "\n") << 12;
        QTest::newRow("line 1 text") << withLine(1, "abc") << 0;
        QTest::newRow("line 3 number and text") << withLine(3, "12abc") << 2;
        QTest::newRow("line 4 empty") << withLine(4, "") << 3;
        QTest::newRow("line 2 beyond a window coordinate") << withLine(2, "3e9") << 1;
        QTest::newRow("line 5 any text") << withLine(5, "body") << 12;
        QTest::newRow("line 5 comma shifts the rest") << withLine(5, "Body,Author") << 6;
        QTest::newRow("line 7 text") << withLine(7, "shown") << 6;
        QTest::newRow("line 7 other number") << withLine(7, " 37.5") << 12;
        QTest::newRow("line 8 seven") << withLine(8, "7") << 7;
        QTest::newRow("line 8 minimised") << withLine(8, " 1") << 12;
        QTest::newRow("line 8 half rounds to even") << withLine(8, "2.5") << 12;
        QTest::newRow("line 8 negative") << withLine(8, "-1") << 7;
        QTest::newRow("line 8 text") << withLine(8, "Maximized") << 7;
        QTest::newRow("line 9 lower case") << withLine(9, "true") << 12;
        QTest::newRow("line 9 number") << withLine(9, "-1") << 12;
        QTest::newRow("line 10 yes") << withLine(10, "Yes") << 9;
        QTest::newRow("line 12 text reads as 0") << withLine(12, "abc") << 12;
        QTest::newRow("line 12 leading number") << withLine(12, "1 unchecked") << 12;
        QTest::newRow("line 12 three") << withLine(12, " 3") << 11;
        QTest::newRow("line 12 huge") << withLine(12, "1e99") << 11;
        QTest::newRow("binary garbage") << QByteArray("\x00\xff\x81\r\n\x01", 6) << 0;
    }
    void readStopsAtFirstBadValue()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, count);
        QCOMPARE(readBytes(bytes).count, count);
    }

    void valuesAsRead()
    {
        auto r = readBytes(withLine(5, "body"));
        QCOMPARE(r.values.searchField, QStringLiteral("body"));
        QCOMPARE(r.values.wildcard, QStringLiteral("P"));
        QCOMPARE(r.values.panelTop, 0.0f);
        QCOMPARE(r.values.windowState, qint16(2));
        QVERIFY(r.values.startPage && !r.values.autoUpdate && r.values.minTray);

        r = readBytes(withLine(8, "2.5"));
        QCOMPARE(r.values.windowState, qint16(2));
        r = readBytes(withLine(12, "1 unchecked"));
        QCOMPARE(r.values.noWarning, qint16(1));
        r = readBytes(withLine(12, "abc"));
        QCOMPARE(r.values.noWarning, qint16(0));
        r = readBytes(withLine(12, "1.5"));
        QCOMPARE(r.values.noWarning, qint16(2));
        r = readBytes(withLine(9, "0"));
        QVERIFY(!r.values.startPage);

        // Quotes and blanks around items, as another writer might produce them.
        r = readBytes(crlf({"  300  ", "\"450\"", " 9000", " 7500", "\"Subject\"", " B "}));
        QCOMPARE(r.count, 6);
        QCOMPARE(r.values.top, 300.0f);
        QCOMPARE(r.values.left, 450.0f);
        QCOMPARE(r.values.searchField, QStringLiteral("Subject"));
        QCOMPARE(r.values.wildcard, QStringLiteral("B"));
    }

    void missingFileReadsNothing()
    {
        QCOMPARE(SettingsFile::read(m_dir->filePath(QStringLiteral("absent.ini"))).count, 0);
    }

    void checkGroupLines_data()
    {
        QTest::addColumn<QList<bool>>("checks");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("wildcard");
        QTest::newRow("none checked") << QList<bool>{false, false, false, false} << "Subject" << "B";
        QTest::newRow("first") << QList<bool>{true, false, false, false} << "Body" << "P";
        QTest::newRow("second") << QList<bool>{false, true, false, false} << "Author" << "A";
        QTest::newRow("third") << QList<bool>{false, false, true, false} << "Subject" << "B";
        QTest::newRow("fourth") << QList<bool>{false, false, false, true} << "Subject" << "N";
        QTest::newRow("several: the first wins") << QList<bool>{false, true, true, true} << "Author" << "A";
        QTest::newRow("all") << QList<bool>{true, true, true, true} << "Body" << "P";
    }
    void checkGroupLines()
    {
        QFETCH(QList<bool>, checks);
        QFETCH(QString, field);
        QFETCH(QString, wildcard);
        QCOMPARE(SettingsFile::searchFieldLine(checks[0], checks[1], checks[2]), field);
        QCOMPARE(SettingsFile::wildcardLine(checks[0], checks[1], checks[2], checks[3]), wildcard);
    }

    void failedWriteNamesTheFile()
    {
        QFile blocker(m_dir->filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QString error;
        const QString under = m_dir->filePath(QStringLiteral("file/KnowledgeBase.ini"));
        QVERIFY(!SettingsFile::write(under, sample(), &error));
        QVERIFY2(error.contains(QStringLiteral("KnowledgeBase.ini")), qPrintable(error));
    }
    // Preferences.ini: what comes back from a file, whole, damaged or from a later version.
    void preferencesRead_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("share");
        QTest::addColumn<QRect>("window");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<int>("columns");
        QTest::addColumn<bool>("openOnLast");
        QTest::addColumn<int>("lastMessage");
        using K = PreferencesFile::Kind;
        const QByteArray head = "[Veltra Knowledgebase preferences]\r\nFormat=1\r\n";
        const QRect none;
        QTest::newRow("whole") << head + "Window=-20,30,900,650\r\nPanelShare=0.4\r\nResultColumns=50,300,90,120\r\n"
                                         "Zoom=125\r\nOpenOnLastMessage=1\r\nLastMessage=77\r\n"
                               << int(K::Read) << 0.4 << QRect(-20, 30, 900, 650) << 125 << 4 << true << 77;
        QTest::newRow("only the header: defaults") << head << int(K::Read) << 0.0 << none << 100 << 0 << false << 0;
        QTest::newRow("bad values keep their defaults")
            << head + "Window=10,10,-800,600\r\nPanelShare=1.5\r\nZoom=9999\r\nResultColumns=50,x,90\r\n"
                      "OpenOnLastMessage=2\r\nLastMessage=1e3\r\n"
            << int(K::Read) << 0.0 << none << 100 << 0 << false << 0;
        QTest::newRow("window: a side missing, no size, too far; a share below 0")
            << head + "Window=10,10,800\r\nWindow=1,2,0,5\r\nWindow=200000,0,800,600\r\nPanelShare=-0.2\r\n"
            << int(K::Read) << 0.0 << none << 100 << 0 << false << 0;
        QTest::newRow("a share not a number") << head + "PanelShare=nan\r\n" << int(K::Read) << 0.0 << none << 100 << 0
                                              << false << 0;
        QTest::newRow("unknown keys and stray lines") << head + "Colour=blue\r\nnonsense\r\n=3\r\nZoom=80\r\n"
                                                      << int(K::Read) << 0.0 << none << 80 << 0 << false << 0;
        QTest::newRow("later version") << QByteArray("[Veltra Knowledgebase preferences]\r\nFormat=2\r\nZoom=150\r\n")
                                       << int(K::Newer) << 0.0 << none << 100 << 0 << false << 0;
        QTest::newRow("no format line") << QByteArray("[Veltra Knowledgebase preferences]\r\nZoom=150\r\n")
                                        << int(K::Damaged) << 0.0 << none << 100 << 0 << false << 0;
        QTest::newRow("another file") << kGood << int(K::Damaged) << 0.0 << none << 100 << 0 << false << 0;
        QTest::newRow("binary") << QByteArray("\0\xff\xfe[x]\0", 7) << int(K::Damaged) << 0.0 << none << 100 << 0
                                << false << 0;
    }
    void preferencesRead()
    {
        QFETCH(QByteArray, bytes);
        const auto read = PreferencesFile::parse(bytes);
        QFETCH(int, kind);
        QCOMPARE(int(read.kind), kind);
        QFETCH(double, share);
        QCOMPARE(read.values.panelShare, share);
        QFETCH(QRect, window);
        QCOMPARE(read.values.window, window);
        QFETCH(int, zoom);
        QCOMPARE(read.values.zoomPercent, zoom);
        QFETCH(int, columns);
        QCOMPARE(read.values.columnWidths.size(), columns);
        QFETCH(bool, openOnLast);
        QCOMPARE(read.values.openOnLastMessage, openOnLast);
        QFETCH(int, lastMessage);
        QCOMPARE(read.values.lastMessage, lastMessage);
    }

    void preferencesRoundTrip()
    {
        Preferences values;
        values.window = QRect(-1200, 40, 1000, 700);
        values.panelShare = 0.123457;
        values.columnWidths = {40, 200, 100, 130};
        values.zoomPercent = 67;
        values.openOnLastMessage = true;
        values.lastMessage = 2147483647;
        const QByteArray bytes = PreferencesFile::toBytes(values);
        QVERIFY(bytes.endsWith("\r\n"));
        const auto read = PreferencesFile::parse(bytes);
        QCOMPARE(int(read.kind), int(PreferencesFile::Kind::Read));
        QCOMPARE(read.values.window, values.window);
        QCOMPARE(read.values.panelShare, values.panelShare);
        QCOMPARE(read.values.columnWidths, values.columnWidths);
        QCOMPARE(read.values.zoomPercent, values.zoomPercent);
        QCOMPARE(read.values.openOnLastMessage, values.openOnLastMessage);
        QCOMPARE(read.values.lastMessage, values.lastMessage);
    }

    // The proxy's keys: a value that cannot be taken keeps its default, and "this proxy"
    // without a host or port is the default (the desktop's proxy). A password is never read.
    void proxyPreferencesRead_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("expected"); // mode host port user
        QTest::newRow("none: the desktop's") << QByteArray() << "0  0 ";
        QTest::newRow("manual") << QByteArray("ProxyMode=manual\r\nProxyHost=p.example\r\nProxyPort=3128\r\nProxyUser=bob\r\n")
                                << "2 p.example 3128 bob";
        QTest::newRow("no proxy, IPv6") << QByteArray("ProxyMode=none\r\nProxyHost=::1\r\nProxyPort=8080\r\n") << "1 ::1 8080 ";
        QTest::newRow("user beyond ASCII") << QByteArray("ProxyMode=none\r\nProxyUser=J%C3%BCrgen%20M%25\r\n")
                                           << QStringLiteral("1  0 J\u00fcrgen M%");
        QTest::newRow("unknown mode") << QByteArray("ProxyMode=MANUAL\r\nProxyHost=p\r\nProxyPort=1\r\n") << "0 p 1 ";
        QTest::newRow("port past 65535") << QByteArray("ProxyMode=manual\r\nProxyHost=p\r\nProxyPort=65536\r\n") << "0 p 0 ";
        QTest::newRow("port not a number") << QByteArray("ProxyMode=manual\r\nProxyHost=p\r\nProxyPort=-3\r\n") << "0 p 0 ";
        QTest::newRow("not a host") << QByteArray("ProxyMode=manual\r\nProxyHost=http://p\r\nProxyPort=1\r\n") << "0  1 ";
        QTest::newRow("bytes beyond ASCII") << QByteArray("ProxyMode=none\r\nProxyHost=p\xe9" "\r\nProxyUser=b\xf6" "b\r\n")
                                            << "1  0 ";
        QTest::newRow("not UTF-8, a control") << QByteArray("ProxyMode=none\r\nProxyHost=%FF\r\nProxyUser=a%07\r\n") << "1  0 ";
    }
    void proxyPreferencesRead()
    {
        QFETCH(QByteArray, lines);
        const auto read = PreferencesFile::parse("[Veltra Knowledgebase preferences]\r\nFormat=1\r\nZoom=90\r\n" + lines
                                                 + "ProxyPassword=secret\r\n");
        QCOMPARE(read.values.zoomPercent, 90);
        const ProxySetting &p = read.values.proxy;
        QFETCH(QString, expected);
        QCOMPARE(QStringLiteral("%1 %2 %3 %4").arg(int(p.mode)).arg(p.host).arg(p.port).arg(p.user), expected);
        QVERIFY(p.password.isEmpty());
    }

    // Written after the keys that were there, the format unchanged, ASCII, never the password.
    void proxyPreferencesWritten()
    {
        Preferences values;
        values.proxy = {ProxySetting::Mode::Manual, QStringLiteral("2001:db8::1"), 65535,
                        QStringLiteral("DOMAIN\\J\u00fcrgen M=%"), QStringLiteral("pw-never-written")};
        const QByteArray bytes = PreferencesFile::toBytes(values);
        QCOMPARE(bytes, QByteArray("[Veltra Knowledgebase preferences]\r\nFormat=1\r\nWindow=\r\nPanelShare=0.000000\r\n"
                                   "ResultColumns=\r\n"
                                   "Zoom=100\r\nOpenOnLastMessage=0\r\nNotifyNewMessages=1\r\nWholeWords=0\r\nLastMessage=0\r\nProxyMode=manual\r\n"
                                   "ProxyHost=2001:db8::1\r\nProxyPort=65535\r\nProxyUser=DOMAIN%5CJ%C3%BCrgen%20M%3D%25\r\n"));
        const ProxySetting back = PreferencesFile::parse(bytes).values.proxy;
        QCOMPARE(int(back.mode), int(values.proxy.mode));
        QCOMPARE(back.host, values.proxy.host);
        QCOMPARE(back.port, values.proxy.port);
        QCOMPARE(back.user, values.proxy.user);
        QVERIFY(PreferencesFile::toBytes(Preferences())
                    .endsWith("LastMessage=0\r\nProxyMode=system\r\nProxyHost=\r\nProxyPort=0\r\nProxyUser=\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
