// SPDX-License-Identifier: GPL-3.0-or-later
#include "messagegenerator.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <map>

namespace {

constexpr qint32 kArchiveSize = 3000;

const QList<MessageRecord> &archive(quint64 seed)
{
    static std::map<quint64, QList<MessageRecord>> cache;
    auto it = cache.find(seed);
    if (it == cache.end())
        it = cache.emplace(seed, MessageGenerator::generate(seed, kArchiveSize)).first;
    return it->second;
}

QString unflagged(const QString &date)
{
    return date.startsWith(u"-1") ? date.mid(2) : date;
}

bool sameRecord(const MessageRecord &a, const MessageRecord &b)
{
    return a.messnum == b.messnum && a.messauthor == b.messauthor && a.messdate == b.messdate
        && a.messtitle == b.messtitle && a.message == b.message;
}

// The subject after the lead, without a reply marker.
QString threadSubject(const QString &title)
{
    QString subject = title.mid(7);
    if (subject.startsWith(u"Re: ") || subject.startsWith(u"RE: "))
        subject.remove(0, 4);
    return subject;
}

void addSeeds()
{
    QTest::addColumn<quint64>("seed");
    QTest::newRow("seed 1") << quint64(1);
    QTest::newRow("seed 2") << quint64(2);
    QTest::newRow("seed 77777") << quint64(77777);
}

} // namespace

class TestMessageGenerator final : public QObject
{
    Q_OBJECT

private slots:
    void sameSeedGivesSameArchive();
    void otherSeedGivesOtherArchive();
    void shorterArchiveIsStartOfLonger();
    void numbering_data() { addSeeds(); }
    void numbering();
    void deletionFlags_data() { addSeeds(); }
    void deletionFlags();
    void datesAreArchiveTextsInOrder_data() { addSeeds(); }
    void datesAreArchiveTextsInOrder();
    void subjects_data() { addSeeds(); }
    void subjects();
    void repliesFollowTheirThread_data() { addSeeds(); }
    void repliesFollowTheirThread();
    void ampersandsOnlyInEntities_data() { addSeeds(); }
    void ampersandsOnlyInEntities();
    void nonAsciiLetters();
    void bodies_data() { addSeeds(); }
    void bodies();
    void authorsRecur_data() { addSeeds(); }
    void authorsRecur();
};

void TestMessageGenerator::sameSeedGivesSameArchive()
{
    const QList<MessageRecord> a = MessageGenerator::generate(9, 400);
    const QList<MessageRecord> b = MessageGenerator::generate(9, 400);
    QCOMPARE(a.size(), b.size());
    for (qsizetype i = 0; i < a.size(); ++i)
        QVERIFY2(sameRecord(a[i], b[i]), qPrintable(QStringLiteral("message %1 differs").arg(a[i].messnum)));
}

void TestMessageGenerator::otherSeedGivesOtherArchive()
{
    const QList<MessageRecord> a = MessageGenerator::generate(1, 50);
    const QList<MessageRecord> b = MessageGenerator::generate(2, 50);
    int differentBodies = 0;
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
        differentBodies += a[i].message != b[i].message;
    QVERIFY(differentBodies > 40);
}

void TestMessageGenerator::shorterArchiveIsStartOfLonger()
{
    // A demo database up to 2900 and a demo site up to 3000 must agree on 1..2900.
    const QList<MessageRecord> shorter = MessageGenerator::generate(1, 2900);
    const QList<MessageRecord> &longer = archive(1);
    QVERIFY(shorter.size() < longer.size());
    for (qsizetype i = 0; i < shorter.size(); ++i)
        QVERIFY2(sameRecord(shorter[i], longer[i]), qPrintable(QStringLiteral("message %1 differs").arg(shorter[i].messnum)));
    QVERIFY(longer[shorter.size()].messnum > 2900);
}

void TestMessageGenerator::numbering()
{
    QFETCH(quint64, seed);
    const QList<MessageRecord> &records = archive(seed);
    QCOMPARE(records.first().messnum, 1);
    int gaps = 0;
    for (qsizetype i = 1; i < records.size(); ++i) {
        QVERIFY(records[i].messnum > records[i - 1].messnum);
        gaps += records[i].messnum != records[i - 1].messnum + 1;
    }
    QVERIFY(records.last().messnum <= kArchiveSize);
    QVERIFY2(gaps >= 3 && gaps <= 40, qPrintable(QString::number(gaps)));
}

void TestMessageGenerator::deletionFlags()
{
    QFETCH(quint64, seed);
    int flagged = 0;
    int minusOneInside = 0;
    for (const MessageRecord &r : archive(seed)) {
        if (r.messdate.startsWith(u"-1"))
            ++flagged;
        else if (r.messdate.contains(u"-1"))
            ++minusOneInside;
    }
    QVERIFY2(flagged >= 5 && flagged <= 80, qPrintable(QString::number(flagged)));
    // These match the set-wide "*-1*" criterion but are not flagged.
    QVERIFY2(minusOneInside >= 5, qPrintable(QString::number(minusOneInside)));
}

void TestMessageGenerator::datesAreArchiveTextsInOrder()
{
    QFETCH(quint64, seed);
    static const QRegularExpression archiveForm(QStringLiteral(
        "^(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) ([1-9]|[12][0-9]|3[01]), "
        "(20[0-9]{2}) ([1-9]|1[0-2]):([0-5][0-9]) (am|pm)$"));
    static const QRegularExpression isoForm(QStringLiteral(
        "^(20[0-9]{2})-(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01]) ([01][0-9]|2[0-3]):([0-5][0-9])$"));
    static const QStringList weekdays = {QStringLiteral("Mon"), QStringLiteral("Tue"), QStringLiteral("Wed"), QStringLiteral("Thu"), QStringLiteral("Fri"), QStringLiteral("Sat"), QStringLiteral("Sun")};
    static const QStringList months = {QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"), QStringLiteral("Apr"), QStringLiteral("May"), QStringLiteral("Jun"),
                                       QStringLiteral("Jul"), QStringLiteral("Aug"), QStringLiteral("Sep"), QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};
    QDateTime previous;
    int isoDates = 0;
    for (const MessageRecord &r : archive(seed)) {
        const QString date = unflagged(r.messdate);
        QVERIFY2(!date.contains(u"&nbsp;"), qPrintable(date));
        QDateTime when;
        if (const QRegularExpressionMatch m = archiveForm.match(date); m.hasMatch()) {
            const QDate day(m.captured(4).toInt(), int(months.indexOf(m.captured(2))) + 1, m.captured(3).toInt());
            QVERIFY2(day.isValid(), qPrintable(date));
            QCOMPARE(weekdays.indexOf(m.captured(1)) + 1, day.dayOfWeek());
            const int hour = m.captured(5).toInt() % 12 + (m.captured(7) == u"pm" ? 12 : 0);
            when = QDateTime(day, QTime(hour, m.captured(6).toInt()));
        } else if (const QRegularExpressionMatch iso = isoForm.match(date); iso.hasMatch()) {
            ++isoDates;
            const QDate day(iso.captured(1).toInt(), iso.captured(2).toInt(), iso.captured(3).toInt());
            QVERIFY2(day.isValid(), qPrintable(date));
            when = QDateTime(day, QTime(iso.captured(4).toInt(), iso.captured(5).toInt()));
        } else {
            QFAIL(qPrintable(QStringLiteral("message %1: unexpected date text '%2'").arg(r.messnum).arg(date)));
        }
        QVERIFY2(!previous.isValid() || previous < when, qPrintable(date));
        previous = when;
    }
    QVERIFY(isoDates > 10);
}

void TestMessageGenerator::subjects()
{
    QFETCH(quint64, seed);
    const QString lead = MessageGenerator::subjectLead();
    QCOMPARE(lead.size(), 7);
    int replies = 0;
    int withQuote = 0;
    for (const MessageRecord &r : archive(seed)) {
        QVERIFY2(r.messtitle.startsWith(lead), qPrintable(r.messtitle));
        const QString subject = r.messtitle.mid(7);
        // The real subject begins right at the eighth character.
        QVERIFY2(!subject.isEmpty() && !subject.front().isSpace(), qPrintable(r.messtitle));
        QVERIFY(!subject.contains(lead));
        replies += subject.startsWith(u"Re: ") || subject.startsWith(u"RE: ");
        withQuote += subject.contains(u'"');
    }
    const auto count = archive(seed).size();
    QVERIFY2(replies > count / 2 && replies < count * 9 / 10, qPrintable(QString::number(replies)));
    QVERIFY(withQuote >= 3);
}

void TestMessageGenerator::repliesFollowTheirThread()
{
    QFETCH(quint64, seed);
    QSet<QString> started;
    for (const MessageRecord &r : archive(seed)) {
        const QString subject = threadSubject(r.messtitle);
        if (subject.size() == r.messtitle.size() - 7)
            started.insert(subject);
        else
            QVERIFY2(started.contains(subject), qPrintable(QStringLiteral("%1 answers an unknown thread").arg(r.messnum)));
    }
}

void TestMessageGenerator::ampersandsOnlyInEntities()
{
    QFETCH(quint64, seed);
    static const QStringList entities = {QStringLiteral("&amp;"), QStringLiteral("&nbsp;"), QStringLiteral("&lt;"), QStringLiteral("&gt;")};
    int ampersandsInBodies = 0;
    int ampersandsInSubjects = 0;
    int ampersandsInAuthors = 0;
    for (const MessageRecord &r : archive(seed)) {
        for (const QString *text : {&r.messauthor, &r.messdate, &r.messtitle, &r.message}) {
            for (qsizetype at = text->indexOf(u'&'); at >= 0; at = text->indexOf(u'&', at + 1)) {
                const QStringView rest = QStringView(*text).mid(at);
                QVERIFY2(std::any_of(entities.begin(), entities.end(), [&](const QString &e) { return rest.startsWith(e); }),
                         qPrintable(QStringLiteral("message %1: %2").arg(r.messnum).arg(rest.left(12))));
            }
        }
        ampersandsInBodies += r.message.contains(u"&amp;");
        ampersandsInSubjects += r.messtitle.contains(u"&amp;");
        ampersandsInAuthors += r.messauthor.contains(u"&amp;");
    }
    QVERIFY(ampersandsInBodies > 50);
    QVERIFY(ampersandsInSubjects > 3);
    QVERIFY(ampersandsInAuthors > 3);
}

void TestMessageGenerator::nonAsciiLetters()
{
    QString authors;
    QString bodies;
    for (const MessageRecord &r : archive(1)) {
        authors += r.messauthor;
        bodies += r.message;
    }
    for (const QChar letter : {u'é', u'ü', u'ß', u'ø'}) {
        QVERIFY2(authors.contains(letter), qPrintable(QString(letter)));
        QVERIFY2(bodies.contains(letter), qPrintable(QString(letter)));
    }
    // Typographic marks live in Windows-1252's 0x80-0x9F block, not in Latin-1.
    for (const QChar mark : {u'\u2019', u'\u2013', u'\u20AC'})
        QVERIFY2(bodies.contains(mark), qPrintable(QString::number(mark.unicode(), 16)));
}

void TestMessageGenerator::bodies()
{
    QFETCH(quint64, seed);
    int blockquotes = 0;
    int quotedLines = 0;
    int apostrophes = 0;
    int spaces = 0;
    int partNumbers = 0;
    static const QRegularExpression partNumber(QStringLiteral("VT-[0-9]{4}-[0-9]{3}|14A[0-9]{4}"));
    for (const MessageRecord &r : archive(seed)) {
        QVERIFY2(r.message.size() >= 500 && r.message.size() <= 4096,
                 qPrintable(QStringLiteral("message %1 has %2 characters").arg(r.messnum).arg(r.message.size())));
        // The updater would take a "<tt>" in the body for its start.
        QVERIFY(!r.message.contains(u"<tt>"));
        QVERIFY(!r.message.contains(u"&quot;"));
        blockquotes += r.message.contains(u"<blockquote>");
        quotedLines += r.message.contains(u"<br>\r\n&gt; ");
        apostrophes += r.message.contains(u'\'');
        spaces += r.message.contains(u"&nbsp;");
        partNumbers += r.message.contains(partNumber);
    }
    QVERIFY(blockquotes > 20);
    QVERIFY(quotedLines > 200);
    QVERIFY(apostrophes > 1000);
    QVERIFY(spaces > 100);
    QVERIFY(partNumbers > 100);
}

void TestMessageGenerator::authorsRecur()
{
    QFETCH(quint64, seed);
    QHash<QString, int> posts;
    for (const MessageRecord &r : archive(seed)) {
        QVERIFY(!r.messauthor.isEmpty());
        QVERIFY(!r.messauthor.contains(u"<br>"));
        ++posts[r.messauthor];
    }
    QVERIFY2(posts.size() >= 24 && posts.size() <= 60, qPrintable(QString::number(posts.size())));
    for (auto it = posts.cbegin(); it != posts.cend(); ++it)
        QVERIFY2(it.value() >= 5, qPrintable(it.key()));
}

QTEST_APPLESS_MAIN(TestMessageGenerator)
#include "tst_messagegenerator.moc"
