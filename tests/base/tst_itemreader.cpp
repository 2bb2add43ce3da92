// SPDX-License-Identifier: GPL-3.0-or-later
// The item reader over byte arrays and devices: separators, quotes, blanks, line ends,
// and garbage that must stay cheap.
#include "base/itemreader.h"

#include <QIODevice>
#include <QtTest>

namespace {

// Hands out its data a few bytes per read, so every item boundary falls across reads;
// optionally endless (repeating the data) and optionally failing after `failAfter` bytes.
class TrickleDevice final : public QIODevice
{
public:
    TrickleDevice(QByteArray data, qint64 step, bool endless = false, qint64 failAfter = -1)
        : m_data(std::move(data)), m_step(step), m_endless(endless), m_failAfter(failAfter)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    qint64 delivered() const { return m_delivered; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *out, qint64 max) override
    {
        if (m_failAfter >= 0 && m_delivered >= m_failAfter) {
            setErrorString(QStringLiteral("simulated read error"));
            return -1;
        }
        qint64 n = 0;
        while (n < std::min(max, m_step)) {
            if (m_pos == m_data.size()) {
                if (!m_endless || m_data.isEmpty())
                    break;
                m_pos = 0;
            }
            out[n++] = m_data[m_pos++];
        }
        m_delivered += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_step;
    bool m_endless;
    qint64 m_failAfter;
    qsizetype m_pos = 0;
    qint64 m_delivered = 0;
};

QStringList readAll(ItemReader &reader)
{
    QStringList items;
    while (!reader.atEnd()) {
        const auto item = reader.next();
        if (!item)
            break;
        items << *item;
    }
    return items;
}

}

class TestItemReader : public QObject
{
    Q_OBJECT

private slots:
    void items_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("one line") << QByteArray("abc\r\n") << QStringList{"abc"};
        QTest::newRow("no final line end") << QByteArray("abc\r\ndef") << QStringList{"abc", "def"};
        QTest::newRow("LF only") << QByteArray("a\nb\n") << QStringList{"a", "b"};
        QTest::newRow("CR only") << QByteArray("a\rb\r") << QStringList{"a", "b"};
        QTest::newRow("mixed line ends") << QByteArray("a\r\nb\nc\rd") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("CR CR LF is two ends") << QByteArray("a\r\r\nb") << QStringList{"a", "", "b"};
        QTest::newRow("LF CR is two ends") << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
        QTest::newRow("empty line") << QByteArray("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"};
        QTest::newRow("line end alone") << QByteArray("\r\n") << QStringList{""};
        QTest::newRow("comma splits") << QByteArray("a,b\r\n") << QStringList{"a", "b"};
        QTest::newRow("term with comma blank") << QByteArray("red, car\r\nnext\r\n")
                                              << QStringList{"red", "car", "next"};
        QTest::newRow("commas only") << QByteArray(",,\r\n") << QStringList{"", "", ""};
        QTest::newRow("comma ends the line") << QByteArray("a,\r\nb") << QStringList{"a", "", "b"};
        QTest::newRow("comma ends the file") << QByteArray("a,") << QStringList{"a"};
        QTest::newRow("leading blanks dropped") << QByteArray("   abc\r\n") << QStringList{"abc"};
        QTest::newRow("trailing blanks dropped") << QByteArray("abc   \r\n") << QStringList{"abc"};
        QTest::newRow("inner blanks kept") << QByteArray("a  b\r\n") << QStringList{"a  b"};
        QTest::newRow("tabs kept") << QByteArray("\tabc\t\r\n") << QStringList{"\tabc\t"};
        QTest::newRow("blank line is empty") << QByteArray("   \r\nx") << QStringList{"", "x"};
        QTest::newRow("blanks at end of file") << QByteArray("x\r\n  ") << QStringList{"x", ""};
        QTest::newRow("quoted comma kept") << QByteArray("\"a, b\"\r\n") << QStringList{"a, b"};
        QTest::newRow("quoted blanks kept") << QByteArray("\"  a  \"\r\n") << QStringList{"  a  "};
        QTest::newRow("blanks before quote") << QByteArray("  \"q\"\r\n") << QStringList{"q"};
        QTest::newRow("rest after quote dropped") << QByteArray("\"q\" junk,next\r\n") << QStringList{"q", "next"};
        QTest::newRow("quote inside kept") << QByteArray("say \"hi\"\r\n") << QStringList{"say \"hi\""};
        QTest::newRow("unclosed quote ends at line end") << QByteArray("\"open\r\nnext\r\n")
                                                        << QStringList{"open", "next"};
        QTest::newRow("unclosed quote at end of file") << QByteArray("\"open") << QStringList{"open"};
        QTest::newRow("empty quotes") << QByteArray("\"\"\r\n\"b\"") << QStringList{"", "b"};
        // A line that is one quoted item with doubled quotes: each pair is one quote.
        QTest::newRow("doubled quotes, whole line") << QByteArray("\"say \"\"hi\"\", ok\"\r\nnext")
                                                   << QStringList{"say \"hi\", ok", "next"};
        QTest::newRow("quoted phrase, whole line") << QByteArray("\"\"\"for the clutch\"\"\"\r\n")
                                                  << QStringList{"\"for the clutch\""};
        QTest::newRow("a lone quote") << QByteArray("\"\"\"\"\r\n") << QStringList{"\""};
        QTest::newRow("two quotes") << QByteArray("\"\"\"\"\"\"") << QStringList{"\"\""};
        QTest::newRow("blanks around") << QByteArray("  \"a\"\"b\"  \r\nc") << QStringList{"a\"b", "c"};
        // Anywhere else the first quote still ends the item, as in files written before.
        QTest::newRow("pair, then junk") << QByteArray("\"a\"\"b\" x\r\nn") << QStringList{"a", "n"};
        QTest::newRow("pair, then a comma") << QByteArray("\"a\"\"b\",c\r\n") << QStringList{"a", "c"};
        QTest::newRow("pair never closed") << QByteArray("\"clutch\"\"\r\nn") << QStringList{"clutch", "n"};
        QTest::newRow("comma in a pair never closed") << QByteArray("\"a\"\"b,c\r\n") << QStringList{"a", "c"};
        QTest::newRow("three quotes") << QByteArray("\"\"\"\r\nn") << QStringList{"", "n"};
        QTest::newRow("pair after a comma") << QByteArray("x,\"a\"\"b\"\r\n") << QStringList{"x", "a"};
        QTest::newRow("items after a comma come back")
            << QByteArray("\"a\"\"b,c,\"d\"\"e\"\r\nf") << QStringList{"a", "c", "d", "f"};
        QTest::newRow("Windows-1252 decoded") << QByteArray("caf\xe9 \x80 5\r\n") << QStringList{QStringLiteral(u"café € 5")};
        QTest::newRow("binary bytes") << QByteArray("\x00\x01\xff\x81\x1a,\x7f", 7)
                                      << QStringList{QString::fromUtf16(u"\u0000\u0001\u00ff\u0081\u001a", 5),
                                                     QStringLiteral(u"\u007f")};
    }
    void items()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, items);
        ItemReader fromBytes(bytes);
        QCOMPARE(readAll(fromBytes), items);
        // The same through a device that splits the input at every byte.
        TrickleDevice device(bytes, 1);
        ItemReader fromDevice(&device);
        QCOMPARE(readAll(fromDevice), items);
    }

    void readingPastTheEndIsAnError()
    {
        ItemReader reader(QByteArray("only\r\n"));
        QCOMPARE(reader.next(), std::optional<QString>(QStringLiteral("only")));
        QVERIFY(reader.atEnd());
        QCOMPARE(reader.next(), std::nullopt);
        QVERIFY(!reader.errorString().isEmpty());
        QCOMPARE(reader.next(), std::nullopt);

        ItemReader empty{QByteArray()};
        QVERIFY(empty.atEnd());
        QCOMPARE(empty.next(), std::nullopt);
    }

    void deviceErrorIsReported()
    {
        TrickleDevice device(QByteArray("first\r\nsecond item is longer\r\n"), 4, false, 12);
        ItemReader reader(&device);
        QCOMPARE(reader.next(), std::optional<QString>(QStringLiteral("first")));
        QCOMPARE(reader.next(), std::nullopt);
        QCOMPARE(reader.errorString(), QStringLiteral("simulated read error"));
        QVERIFY(reader.atEnd());
    }

    void overlongItemIsCut_data()
    {
        QTest::addColumn<QByteArray>("opening");
        QTest::addColumn<QByteArray>("closing");
        QTest::newRow("unquoted") << QByteArray() << QByteArray();
        QTest::newRow("quoted") << QByteArray("\"") << QByteArray("\" tail");
    }
    void overlongItemIsCut()
    {
        QFETCH(QByteArray, opening);
        QFETCH(QByteArray, closing);
        const QByteArray bytes = opening + QByteArray(3 * ItemReader::kMaxItemBytes + 7, 'x') + closing + "\r\nnext\r\n";
        TrickleDevice device(bytes, 4096);
        ItemReader reader(&device);
        QCOMPARE(readAll(reader), (QStringList{QString(ItemReader::kMaxItemBytes, u'x'), QStringLiteral("next")}));
    }

    void doubledQuotesLookAheadIsBounded_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("item");
        constexpr qsizetype longest = ItemReader::kMaxItemBytes;
        QTest::newRow("longest item of quotes") << '"' + QByteArray(2 * longest, '"') + '"' << QString(longest, u'"');
        QTest::newRow("past the look-ahead: read as before")
            << "\"a\"\"" + QByteArray(ItemReader::kMaxLookAheadBytes, 'x') + "\"" << QStringLiteral("a");
    }
    void doubledQuotesLookAheadIsBounded()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, item);
        TrickleDevice device(line + "\r\nnext\r\n", 4096);
        ItemReader reader(&device);
        QCOMPARE(readAll(reader), (QStringList{item, QStringLiteral("next")}));
    }

    void lineEndAcrossReads()
    {
        // CR as the last byte of one read and LF as the first of the next are one line end.
        const QByteArray first(65535, 'a');
        TrickleDevice device(first + "\r\nb\r\n", 65536);
        ItemReader reader(&device);
        QCOMPARE(readAll(reader), (QStringList{QString(65535, u'a'), QStringLiteral("b")}));
    }

    void endlessInputIsBounded_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<int>("wanted");
        QTest::addColumn<qint64>("maxBytes");
        // No line break at all, like a huge binary file: one capped item, then the input ends.
        QTest::newRow("no line break") << QByteArray("\x00\x9d\xff garbage ", 12) << 50
                                       << ItemReader::kMaxReadBytes + 65536;
        // Short lines: twenty items need only the first read.
        QTest::newRow("many short lines") << QByteArray("entry\r\n") << 20 << qint64(65536);
        // Every line makes the reader look ahead for doubled quotes and give back what
        // follows the comma: that must not cost a copy of the rest of the input each time.
        QTest::newRow("doubled quote and comma on each line") << QByteArray("\"a\"\"b,c\r\n") << 2000000
                                                             << qint64(9 * 1000 * 1000 + 65536);
    }
    void endlessInputIsBounded()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(int, wanted);
        QFETCH(qint64, maxBytes);
        TrickleDevice device(pattern, 65536, true);
        ItemReader reader(&device);
        QStringList items;
        while (items.size() < wanted && !reader.atEnd())
            items << reader.next().value_or(QString());
        QVERIFY(!items.isEmpty());
        QVERIFY(items.first().size() <= ItemReader::kMaxItemBytes);
        QVERIFY2(device.delivered() <= maxBytes, qPrintable(QString::number(device.delivered())));
    }
};

QTEST_APPLESS_MAIN(TestItemReader)
#include "tst_itemreader.moc"
