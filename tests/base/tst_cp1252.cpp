// SPDX-License-Identifier: GPL-3.0-or-later
// Windows-1252 decoding and the two encodings with their fallbacks.
#include "base/cp1252.h"
#include "testenv.h"

#include <QDirIterator>
#include <QtTest>

class TestCp1252 : public QObject
{
    Q_OBJECT

private slots:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("ascii and controls") << QByteArray("a\tb\r\n\0z", 7) << QString::fromUtf8("a\tb\r\n\0z", 7);
        QTest::newRow("latin-1 letters") << QByteArray("caf\xe9 \xc4\xd6\xdc\xdf\xff") << QStringLiteral(u"café ÄÖÜßÿ");
        QTest::newRow("euro and quotes") << QByteArray("\x80 \x93q\x94 \x85") << QStringLiteral(u"€ “q” …");
        QTest::newRow("other specials") << QByteArray("\x8a\x8c\x8e\x99\x9f\x83") << QStringLiteral(u"ŠŒŽ™Ÿƒ");
        QTest::newRow("undefined bytes kept") << QByteArray("\x81x\x8d\x8f\x90\x9d")
                                             << QStringLiteral(u"\u0081x\u008d\u008f\u0090\u009d");
        QTest::newRow("undefined at both ends") << QByteArray("\x9d" "abc" "\x81")
                                               << QStringLiteral(u"\u009dabc\u0081");
    }
    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(Cp1252::decode(bytes), text);
    }

    void everyByteRoundTrips()
    {
        QByteArray all(256, Qt::Uninitialized);
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        const QString text = Cp1252::decode(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(Cp1252::encode(text), all);
        QCOMPARE(Cp1252::encodeHtml(text), all);
    }

    void encode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("html");
        QTest::newRow("empty") << QString() << QByteArray() << QByteArray();
        QTest::newRow("latin-1") << QStringLiteral(u"Zürich") << QByteArray("Z\xfcrich") << QByteArray("Z\xfcrich");
        QTest::newRow("euro is 0x80") << QStringLiteral(u"5 €") << QByteArray("5 \x80") << QByteArray("5 \x80");
        QTest::newRow("outside: cyrillic") << QStringLiteral(u"aЖb") << QByteArray("a?b") << QByteArray("a&#1046;b");
        QTest::newRow("outside at both ends") << QStringLiteral(u"ĀxĀ") << QByteArray("?x?")
                                             << QByteArray("&#256;x&#256;");
        QTest::newRow("run of outside") << QStringLiteral(u"日本語") << QByteArray("???")
                                       << QByteArray("&#26085;&#26412;&#35486;");
        QTest::newRow("C1 control not in page") << QStringLiteral(u"\u0080\u0085") << QByteArray("??")
                                               << QByteArray("&#128;&#133;");
        QTest::newRow("pair is one character") << QStringLiteral(u"a😀b") << QByteArray("a?b")
                                              << QByteArray("a&#128512;b");
        QTest::newRow("lone high surrogate") << QString(QChar(0xD83D)) + u'x' << QByteArray("?x")
                                            << QByteArray("&#65533;x");
        QTest::newRow("lone high at end") << u'x' + QString(QChar(0xD83D)) << QByteArray("x?")
                                         << QByteArray("x&#65533;");
        QTest::newRow("lone low surrogate") << QString(QChar(0xDE00)) + u'a' << QByteArray("?a")
                                           << QByteArray("&#65533;a");
        QTest::newRow("reversed pair") << QString(QChar(0xDE00)) + QString(QChar(0xD83D)) + QStringLiteral("ok") << QByteArray("??ok")
                                      << QByteArray("&#65533;&#65533;ok");
        QTest::newRow("nul kept") << QString(QChar(0)) + QStringLiteral("a") << QByteArray("\0a", 2) << QByteArray("\0a", 2);
    }
    void encode()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, html);
        QCOMPARE(Cp1252::encode(text), plain);
        QCOMPARE(Cp1252::encodeHtml(text), html);
    }

    void htmlReferencesDecodeBack()
    {
        // What a browser does with the page: every reference stands for the original character.
        const QString text = QStringLiteral(u"Ω ≈ 2π, € & ü 🚗");
        const QString page = Cp1252::decode(Cp1252::encodeHtml(text));
        QString decoded;
        for (qsizetype i = 0; i < page.size(); ++i) {
            if (page.mid(i, 2) == u"&#") {
                const qsizetype end = page.indexOf(u';', i);
                decoded += QString::fromUcs4(std::array{char32_t(page.mid(i + 2, end - i - 2).toUInt())}.data(), 1);
                i = end;
            } else {
                decoded += page[i];
            }
        }
        QCOMPARE(decoded, text);
    }

    void realMailRoundTrips()
    {
        // Whatever the bytes (UTF-8, Latin-1, binary attachments), decoding and encoding
        // again must give them back, and outside 0x80..0x9F decoding is Latin-1.
        REQUIRE_OR_SKIP(TestEnv::missingCorpus());
        const QString corpus = TestEnv::corpusDir();
        int files = 0;
        QDirIterator it(corpus + QStringLiteral("/realmail"), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            const QString text = Cp1252::decode(bytes);
            QCOMPARE(text.size(), bytes.size());
            QVERIFY2(Cp1252::encode(text) == bytes, qPrintable(f.fileName()));
            for (qsizetype i = 0; i < bytes.size(); ++i) {
                const uchar b = uchar(bytes[i]);
                if ((b < 0x80 || b > 0x9F) && text[i].unicode() != b)
                    QFAIL(qPrintable(f.fileName()));
            }
            ++files;
        }
        QVERIFY(files > 0);
    }

    void largeTextsConvertInOnePass()
    {
        // A megabyte body with a quarter of it outside the page: every character is accounted for.
        QString body;
        body.reserve(1 << 20);
        while (body.size() < (1 << 20))
            body += QStringLiteral(u"Grüße aus Köln – Привет ");
        const QByteArray html = Cp1252::encodeHtml(body);
        const QByteArray plain = Cp1252::encode(body);
        const QString back = Cp1252::decode(plain);
        QCOMPARE(plain.size(), body.size());
        QCOMPARE(back.size(), body.size());
        QVERIFY(html.contains("&#1055;&#1088;"));
        QVERIFY(back.startsWith(QStringLiteral(u"Grüße aus Köln – ??????")));
    }
};

QTEST_APPLESS_MAIN(TestCp1252)
#include "tst_cp1252.moc"
