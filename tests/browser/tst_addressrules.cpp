// SPDX-License-Identifier: GPL-3.0-or-later
// The address bar's rules without a window: what typed text opens, how the address list
// is rebuilt, the caption a page title gives, and addresses made fit for a list file.
#include "browser/addressrules.h"

#include <QtTest>

using AddressRules::AddressCommand;

namespace {

const QString kSearch = QStringLiteral("http://search.example");

QString search(const QString &query)
{
    return kSearch + QStringLiteral("/search?hl=en&q=") + query;
}

QStringList numbered(int count, const QString &prefix = QStringLiteral("http://site%1.example/"))
{
    QStringList entries;
    for (int i = 1; i <= count; ++i)
        entries << prefix.arg(i);
    return entries;
}

}

class TestAddressRules final : public QObject
{
    Q_OBJECT

private slots:
    void classify_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address"); // empty: ignored, nothing happens
        QTest::addColumn<bool>("record");
        QTest::addColumn<bool>("clearText");

        // Search terms: no ".", "/" or "\".
        QTest::newRow("two words") << "clutch cable" << search("clutch+cable") << false << true;
        QTest::newRow("empty bar") << "" << search("") << false << true;
        QTest::newRow("one word") << "veltra" << search("veltra") << false << true;
        QTest::newRow("every blank a plus") << "a  b " << search("a++b+") << false << true;
        QTest::newRow("characters that change the question")
            << "R&D #1 50% +x caf\u00e9" << search("R%26D+%231+50%25+%2Bx+caf%C3%A9") << false << true;
        QTest::newRow("script address without a dot") << "javascript:alert(1)" << search("javascript%3Aalert%281%29")
                                                      << false << true;
        // Addresses without "www." or "http:": opened with "http://" in front, not recorded.
        QTest::newRow("bare host") << "veltraclub.org" << "http://veltraclub.org" << false << false;
        QTest::newRow("host and path") << "example.org/a/b.htm" << "http://example.org/a/b.htm" << false << false;
        QTest::newRow("script address with a dot")
            << "javascript:document.title" << "http://javascript:document.title" << false << false;
        QTest::newRow("blank and dot is a search") << "veltra club.org" << search("veltra+club.org") << false << false;
        QTest::newRow("ftp without www is a search")
            << "ftp://ftp.example.org/pub" << search("ftp%3A%2F%2Fftp.example.org%2Fpub") << false << false;
        // Addresses with "www." or "http:": opened as typed and recorded.
        QTest::newRow("www host") << "www.veltraclub.org" << "www.veltraclub.org" << true << false;
        QTest::newRow("www in capitals") << "WWW.Veltra.ORG" << "WWW.Veltra.ORG" << true << false;
        QTest::newRow("scheme in capitals") << "HTTP://veltraclub.org" << "HTTP://veltraclub.org" << true << false;
        QTest::newRow("http with a blank") << "http://x.org/a b" << "http://x.org/a b" << true << false;
        QTest::newRow("ftp with www") << "ftp://www.example.org" << "ftp://www.example.org" << true << false;
        QTest::newRow("https") << "https://example.org/x" << "https://example.org/x" << true << false;
        // Local paths.
        QTest::newRow("drive letter") << "C:" << "/" << true << false;
        QTest::newRow("drive letter in lower case") << "d:" << "/" << true << false;
        QTest::newRow("drive root with backslash") << "C:\\" << "" << false << false;
        QTest::newRow("windows path") << "C:\\Windows\\win.ini" << "" << false << false;
        QTest::newRow("backslash anywhere") << "www.x.org\\a" << "" << false << false;
        QTest::newRow("local path") << "/home/me/page.html" << "/home/me/page.html" << true << false;
        QTest::newRow("local path with a blank") << "/home/me/My Page.html" << "/home/me/My Page.html" << true << false;
        QTest::newRow("file url") << "file:///home/me/a.html" << "file:///home/me/a.html" << true << false;
    }
    void classify()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QFETCH(bool, record);
        QFETCH(bool, clearText);
        AddressCommand expected;
        if (!address.isEmpty())
            expected = {AddressCommand::Kind::Navigate, address, record, clearText};
        const AddressCommand command = AddressRules::classify(text, kSearch);
        QCOMPARE(command.kind, expected.kind);
        QCOMPARE(command.address, expected.address);
        QCOMPARE(command.record, expected.record);
        QCOMPARE(command.clearText, expected.clearText);
    }

    void longSearchTermStaysOneAddress()
    {
        const AddressCommand command = AddressRules::classify(QString(10000, QLatin1Char('a')), kSearch);
        QCOMPARE(command.address, search(QString(10000, QLatin1Char('a'))));
        const QString controls = QStringLiteral("a\tb\nc\x01");
        QCOMPARE(AddressRules::classify(controls, kSearch).address, search("a%09b%0Ac%01"));
    }

    void rebuildAddressList_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("pending");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("first entry") << QStringList{} << "http://a/" << QStringList{"http://a/"};
        QTest::newRow("new entry on top") << QStringList{"http://a/", "http://b/"} << "http://c/"
                                          << QStringList{"http://c/", "http://a/", "http://b/"};
        QTest::newRow("copy in other case moves up")
            << QStringList{"http://a/", "HTTP://B/", "http://c/"} << "http://b/"
            << QStringList{"http://b/", "http://a/", "http://c/"};
        QTest::newRow("already first") << QStringList{"http://a/", "http://b/"} << "http://a/"
                                       << QStringList{"http://a/", "http://b/"};
        QTest::newRow("empties dropped") << QStringList{"http://a/", "", "http://b/", ""} << "http://c/"
                                         << QStringList{"http://c/", "http://a/", "http://b/"};
        QTest::newRow("only the copy nearest the end goes")
            << QStringList{"x", "a", "X"} << "x" << QStringList{"x", "x", "a"};
        QTest::newRow("empty address not added") << QStringList{"http://a/"} << "" << QStringList{"http://a/"};
        QTest::newRow("50 grow to 51") << numbered(50) << "http://new/" << (QStringList{"http://new/"} + numbered(50));
        QTest::newRow("51 stay 51") << numbered(51) << "http://new/" << (QStringList{"http://new/"} + numbered(50));
        QStringList withoutThird = numbered(50);
        withoutThird.removeAt(2);
        QTest::newRow("51 with a copy become 50")
            << numbered(51) << "http://SITE3.example/" << (QStringList{"http://SITE3.example/"} + withoutThird);
    }
    void rebuildAddressList()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, pending);
        QFETCH(QStringList, expected);
        QCOMPARE(AddressRules::rebuildAddressList(entries, pending), expected);
    }

    void captionFor_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("caption");
        QTest::newRow("no title") << "" << "Veltra Knowledgebase V3.4";
        QTest::newRow("title") << "Club news" << "Club news - Veltra Knowledgebase V3.4";
        QTest::newRow("80 characters") << QString(80, 'x') << QString(80, 'x') + " - Veltra Knowledgebase V3.4";
        QTest::newRow("100 characters") << QString(80, 'x') + QString(20, 'y')
                                        << QString(80, 'x') + " - Veltra Knowledgebase V3.4";
    }
    void captionFor()
    {
        QFETCH(QString, title);
        QFETCH(QString, caption);
        QCOMPARE(AddressRules::captionFor(title), caption);
    }

    void printable_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "http://x.org/caf\u00e9 a" << "http://x.org/caf\u00e9 a";
        QTest::newRow("line breaks") << "a\r\nb" << "a%0D%0Ab";
        QTest::newRow("tab and delete") << "\t\x7f" << "%09%7F";
        QTest::newRow("C1 control") << "a\u0085b" << "a%C2%85b";
        QTest::newRow("line separator") << "a\u2028b" << "a%E2%80%A8b";
    }
    void printable()
    {
        QFETCH(QString, address);
        QFETCH(QString, expected);
        QCOMPARE(AddressRules::printable(address), expected);
    }
};

QTEST_APPLESS_MAIN(TestAddressRules)

#include "tst_addressrules.moc"
