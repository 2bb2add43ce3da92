// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailtext.h"
#include "messagegenerator.h"
#include "testenv.h"
#include "vocabulary.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <map>

namespace {

constexpr qint32 kArchiveSize = 2000;

std::shared_ptr<const Vocabulary> shipped()
{
    static const auto vocabulary = Vocabulary::fromWordList();
    return vocabulary;
}

const QList<MessageRecord> &archive(quint64 seed)
{
    static std::map<quint64, QList<MessageRecord>> cache;
    auto it = cache.find(seed);
    if (it == cache.end())
        it = cache.emplace(seed, MessageGenerator::generate(seed, kArchiveSize, shipped())).first;
    return it->second;
}

QStringList bodyLines(const QString &body)
{
    return body.split(QStringLiteral("<br>\r\n"));
}

bool isReply(const MessageRecord &r)
{
    return r.messtitle.mid(7).startsWith(u"Re: ") || r.messtitle.mid(7).startsWith(u"RE: ");
}

} // namespace

class TestRealText final : public QObject
{
    Q_OBJECT

private slots:
    void shippedVocabulary();
    void mailWords_data();
    void mailWords();
    void vocabularyFromMail();
    void sameSeedSameArchive();
    void bodies_data();
    void bodies();
    void wordsFollowZipf();
};

void TestRealText::shippedVocabulary()
{
    // The list is built into the library; without it every word would be made up.
    const auto v = shipped();
    QVERIFY2(v->listWords() >= 3000, qPrintable(v->description()));
    QVERIFY(v->size() >= 20000);
    QCOMPARE(v->word(0), QStringLiteral("the"));
    QSet<QString> distinct;
    for (int r = 0; r < v->size(); ++r)
        distinct.insert(v->word(r));
    QCOMPARE(distinct.size(), v->size());
}

void TestRealText::mailWords_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    QTest::newRow("quoted-printable in its charset, quotes passed over")
        << QByteArray("Subject: headerword\nContent-Type: text/plain; charset=iso-8859-1\n"
                      "Content-Transfer-Encoding: quoted-printable\n\nGr=FC=DFe aus K=F6ln, the gear=\nbox\n"
                      "> quotedword\n")
        << QStringList{"grüße", "köln", "gearbox"} << QStringList{"gear", "quotedword", "headerword", "subject"};
    QTest::newRow("multipart: HTML and base64 parts passed over")
        << QByteArray("Content-Type: multipart/mixed; boundary=\"XX\"\n\n--XX\nContent-Type: text/plain\n\nplainword\n"
                      "--XX\nContent-Type: text/html\n\n<p>htmlword</p>\n--XX\nContent-Type: text/plain\n"
                      "Content-Transfer-Encoding: base64\n\nYmFzZXdvcmQK\n--XX--\n")
        << QStringList{"plainword"} << QStringList{"htmlword", "ymfzzxdvcmqk", "p"};
    QTest::newRow("mbox of two messages, signature and patch passed over")
        << QByteArray("From a@example.org Mon Jan 5 2004\nSubject: x\n\nfirstword\n\n"
                      "From b@example.org Tue Jan 6 2004\nSubject: y\n\nsecondword\n+addedline\n-- \nsigword\n")
        << QStringList{"firstword", "secondword"} << QStringList{"sigword", "addedline", "from"};
    QTest::newRow("code, addresses and versions are not words")
        << QByteArray("\nuse kmalloc_array() or mail foo@bar.com for v4.2, don't\n")
        << QStringList{"use", "or", "mail", "for", "don't"} << QStringList{"kmalloc_array", "kmalloc", "foo", "v"};
}

void TestRealText::mailWords()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    QHash<QString, qint64> counts;
    for (const QString &text : MailText::plainTexts(file))
        MailText::countWords(text, counts);
    for (const QString &word : present)
        QVERIFY2(counts.contains(word), qPrintable(word + " is missing from " + QStringList(counts.keys()).join(u' ')));
    for (const QString &word : absent)
        QVERIFY2(!counts.contains(word), qPrintable(word));
}

void TestRealText::vocabularyFromMail()
{
    REQUIRE_OR_SKIP(TestEnv::missingCorpus());
    const QString mail = TestEnv::corpusDir() + QStringLiteral("/realmail");
    REQUIRE_OR_SKIP(QDir(mail).exists() ? QString() : QStringLiteral("the shared corpus has no folder ") + mail);
    QString error;
    const auto v = Vocabulary::fromMail(mail, &error);
    QVERIFY2(v, qPrintable(error));
    QVERIFY2(v->mailWords() >= 1000, qPrintable(v->description()));
    QVERIFY(v->size() >= 20000);
    QCOMPARE(v->word(0), QStringLiteral("the"));
}

void TestRealText::sameSeedSameArchive()
{
    // Also the start of a longer archive, as with the demo text.
    const QList<MessageRecord> shorter = MessageGenerator::generate(5, 600, shipped());
    const QList<MessageRecord> &longer = archive(5);
    QVERIFY(shorter.size() < longer.size());
    for (qsizetype i = 0; i < shorter.size(); ++i) {
        QCOMPARE(shorter[i].message, longer[i].message);
        QCOMPARE(shorter[i].messtitle, longer[i].messtitle);
    }
    QVERIFY(archive(6).first().message != longer.first().message);
}

void TestRealText::bodies_data()
{
    QTest::addColumn<quint64>("seed");
    QTest::newRow("seed 1") << quint64(1);
    QTest::newRow("seed 5") << quint64(5);
}

void TestRealText::bodies()
{
    QFETCH(quint64, seed);
    const QList<MessageRecord> &records = archive(seed);
    QSet<QString> earlierLines;
    int replies = 0;
    int quoting = 0;
    int nonAscii = 0;
    for (const MessageRecord &r : records) {
        const int words = MessageGenerator::wordCount(r.message);
        QVERIFY2(words >= 60 && words <= 260, qPrintable(QStringLiteral("message %1: %2 words").arg(r.messnum).arg(words)));
        QVERIFY2(!r.messtitle.contains(u"{") && !r.message.contains(u"{"), qPrintable(r.messtitle));
        nonAscii += std::any_of(r.message.cbegin(), r.message.cend(), [](QChar c) { return c.unicode() > 0x7f; });
        const QStringList lines = bodyLines(r.message);
        const auto quoted = std::find_if(lines.cbegin(), lines.cend(), [](const QString &l) { return l.startsWith(u"&gt; "); });
        if (isReply(r)) {
            ++replies;
            if (quoted != lines.cend()) {
                ++quoting;
                // The quote is what an earlier message of the archive says.
                QVERIFY2(earlierLines.contains(quoted->mid(5)), qPrintable(*quoted));
            }
        } else {
            QVERIFY2(quoted == lines.cend(), qPrintable(QStringLiteral("message %1 starts a thread").arg(r.messnum)));
        }
        for (const QString &line : lines)
            earlierLines.insert(line);
    }
    QVERIFY2(replies > records.size() / 2, qPrintable(QString::number(replies)));
    QVERIFY2(quoting > replies / 2, qPrintable(QStringLiteral("%1 of %2 replies quote").arg(quoting).arg(replies)));
    QVERIFY2(nonAscii > records.size() / 50, qPrintable(QString::number(nonAscii)));
}

void TestRealText::wordsFollowZipf()
{
    static const QRegularExpression word(QStringLiteral("[^\\s.,?!]+"));
    QHash<QString, int> counts;
    for (const MessageRecord &r : archive(1)) {
        const QString text = QString(r.message).replace(QStringLiteral("<br>"), QStringLiteral(" ")).toLower();
        for (auto it = word.globalMatch(text); it.hasNext();)
            ++counts[it.next().captured()];
    }
    QList<int> frequencies = counts.values();
    std::sort(frequencies.begin(), frequencies.end(), std::greater<>());
    // Tens of thousands of words, a few of them everywhere and most seldom: 1/r gives the
    // first a thousand times the thousandth; a flat draw would give them about the same.
    QVERIFY2(frequencies.size() >= 15000, qPrintable(QString::number(frequencies.size())));
    QVERIFY2(frequencies[0] > 100 * frequencies[999], qPrintable(QStringLiteral("%1 against %2").arg(frequencies[0]).arg(frequencies[999])));
    QVERIFY(frequencies[99] > 5 * frequencies[999]);
}

QTEST_GUILESS_MAIN(TestRealText)
#include "tst_realtext.moc"
