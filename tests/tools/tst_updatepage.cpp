// SPDX-License-Identifier: GPL-3.0-or-later
#include "messagegenerator.h"
#include "sitewriter.h"
#include "splitmix64.h"
#include "updatepage.h"

#include "base/cp1252.h"

#include <QDir>
#include <QDirIterator>
#include <QSet>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(MessageRecord)

namespace {

// The updater's reading of an update page, rule by rule, kept apart from the writer so
// that a fault in the writer cannot hide behind the same fault in a shared parser.
std::optional<MessageRecord> parseUpdatePage(const QByteArray &bytes, qint32 messnum)
{
    QString page = Cp1252::decode(bytes);
    page.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    const qsizetype authorEnd = page.indexOf(QStringLiteral("<br>"));
    if (authorEnd < 0)
        return std::nullopt;
    const qsizetype dateStart = authorEnd + 4 + 2;
    const qsizetype dateEnd = page.indexOf(QStringLiteral("<br>"), dateStart);
    if (dateEnd < 0)
        return std::nullopt;
    const qsizetype subjectStart = dateEnd + 4 + 2;
    const qsizetype subjectEnd = page.indexOf(QStringLiteral("<br>"), subjectStart);
    const qsizetype bodyMark = page.indexOf(QStringLiteral("<tt>"), subjectStart);
    if (subjectEnd < 0 || bodyMark < 0)
        return std::nullopt;
    MessageRecord record;
    record.messnum = messnum;
    record.messauthor = page.left(authorEnd);
    record.messdate = page.mid(dateStart, dateEnd - dateStart).replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    record.messtitle = page.mid(subjectStart, subjectEnd - subjectStart);
    record.message = page.mid(bodyMark + 4);
    return record;
}

QString firstDifference(const MessageRecord &expected, const std::optional<MessageRecord> &actual)
{
    if (!actual)
        return QStringLiteral("page could not be parsed");
    if (actual->messauthor != expected.messauthor)
        return QStringLiteral("author '%1' != '%2'").arg(actual->messauthor, expected.messauthor);
    if (actual->messdate != expected.messdate)
        return QStringLiteral("date '%1' != '%2'").arg(actual->messdate, expected.messdate);
    if (actual->messtitle != expected.messtitle)
        return QStringLiteral("subject '%1' != '%2'").arg(actual->messtitle, expected.messtitle);
    if (actual->message != expected.message)
        return QStringLiteral("body differs");
    return {};
}

MessageRecord makeRecord(const QString &author, const QString &date, const QString &subject, const QString &body)
{
    MessageRecord r;
    r.messnum = 17;
    r.messauthor = author;
    r.messdate = date;
    r.messtitle = subject;
    r.message = body;
    return r;
}

// Pieces that sit close to the page's own markers and entities.
QString hostileText(SplitMix64 &rng)
{
    static const QStringList pieces = {
        QStringLiteral("a"), QStringLiteral(" "), QStringLiteral("\""), QStringLiteral("&"),
        QStringLiteral("quot;"), QStringLiteral("&quot"), QStringLiteral("nbsp;"), QStringLiteral("&nbsp"),
        QStringLiteral(";"), QStringLiteral("<b"), QStringLiteral("r>"), QStringLiteral("<br"),
        QStringLiteral("<t"), QStringLiteral("t>"), QStringLiteral("\r\n"), QStringLiteral("é"),
        QStringLiteral("€"), QStringLiteral("1"), QStringLiteral("&amp;"), QStringLiteral("<"),
    };
    QString text;
    const int count = rng.between(0, 8);
    for (int i = 0; i < count; ++i)
        text += pieces[rng.below(quint32(pieces.size()))];
    return text;
}

} // namespace

class TestUpdatePage final : public QObject
{
    Q_OBJECT

private slots:
    void folderFor_data();
    void folderFor();
    void pagePath();
    void pageLayout();
    void pageIsWindows1252();
    void generatedMessagesRoundTrip_data();
    void generatedMessagesRoundTrip();
    void hostileTextsRoundTripWhenAccepted();
    void problemsAreReported_data();
    void problemsAreReported();
    void lastMessagePage();
    void siteTree();
    void siteWriterRefusesPageThatWouldNotReadBack();
};

void TestUpdatePage::folderFor_data()
{
    QTest::addColumn<qint32>("messnum");
    QTest::addColumn<QString>("folder");
    QTest::newRow("one digit") << 7 << QStringLiteral("7");
    QTest::newRow("two digits") << 42 << QStringLiteral("42");
    QTest::newRow("three digits") << 999 << QStringLiteral("999");
    QTest::newRow("four digits") << 1000 << QStringLiteral("100");
    QTest::newRow("five digits") << 12345 << QStringLiteral("123");
    QTest::newRow("last below 100000") << 99999 << QStringLiteral("999");
    QTest::newRow("100000") << 100000 << QStringLiteral("1000");
    QTest::newRow("six digits") << 123456 << QStringLiteral("1234");
    QTest::newRow("largest") << 2147483647 << QStringLiteral("2147");
}

void TestUpdatePage::folderFor()
{
    QFETCH(qint32, messnum);
    QFETCH(QString, folder);
    QCOMPARE(UpdatePage::folderFor(messnum), folder);
}

void TestUpdatePage::pagePath()
{
    QCOMPARE(UpdatePage::pagePath(12345), QStringLiteral("dbupdate/123/msg12345.htm"));
    QCOMPARE(UpdatePage::pagePath(100000), QStringLiteral("dbupdate/1000/msg100000.htm"));
    QCOMPARE(UpdatePage::lastMessagePath(), QStringLiteral("dbupdate/lastmessage.html"));
}

void TestUpdatePage::pageLayout()
{
    const MessageRecord r = makeRecord(QStringLiteral("Jo &lt;jo@example.com&gt;"),
                                       QStringLiteral("Mon Mar 3, 2003 10:41 am"),
                                       QStringLiteral("[vclb] The \"Veltra\" badge"),
                                       QStringLiteral("Hi,<br>\r\n&gt; \"quoted\"<br>\r\n"));
    const QString page = UpdatePage::renderText(r);
    QVERIFY2(page.startsWith(QStringLiteral("Jo &lt;jo@example.com&gt;<br>\r\n"
                                            "Mon&nbsp;Mar&nbsp;3,&nbsp;2003 10:41&nbsp;am<br>\r\n"
                                            "[vclb] The &quot;Veltra&quot; badge<br>\r\n")),
             qPrintable(page.left(200)));
    // The body follows the first <tt> and runs to the end of the file, unchanged.
    QVERIFY(page.endsWith(QStringLiteral("<tt>") + r.message));
    QCOMPARE(page.count(QStringLiteral("<tt>")), 1);
}

void TestUpdatePage::pageIsWindows1252()
{
    const MessageRecord r = makeRecord(QStringLiteral("Søren"), QStringLiteral("Tue Mar 4, 2003 9:05 pm"),
                                       QStringLiteral("[vclb] Café"), QStringLiteral("€80 – it’s fine"));
    const QByteArray bytes = UpdatePage::render(r);
    QVERIFY(bytes.startsWith("S\xF8ren<br>\r\n"));
    QVERIFY(bytes.contains("[vclb] Caf\xE9<br>\r\n"));
    QVERIFY(bytes.endsWith("<tt>\x80" "80 \x96 it\x92s fine"));
}

void TestUpdatePage::generatedMessagesRoundTrip_data()
{
    QTest::addColumn<quint64>("seed");
    QTest::newRow("seed 1") << quint64(1);
    QTest::newRow("seed 5") << quint64(5);
}

void TestUpdatePage::generatedMessagesRoundTrip()
{
    QFETCH(quint64, seed);
    const QList<MessageRecord> records = MessageGenerator::generate(seed, 5000);
    QVERIFY(records.size() > 4900);
    for (const MessageRecord &r : records) {
        QVERIFY2(UpdatePage::roundTripProblem(r).isEmpty(), qPrintable(UpdatePage::roundTripProblem(r)));
        const QString difference = firstDifference(r, parseUpdatePage(UpdatePage::render(r), r.messnum));
        QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("message %1: %2").arg(r.messnum).arg(difference)));
    }
}

void TestUpdatePage::hostileTextsRoundTripWhenAccepted()
{
    SplitMix64 rng(2024);
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        const MessageRecord r = makeRecord(hostileText(rng), hostileText(rng), hostileText(rng), hostileText(rng));
        if (!UpdatePage::roundTripProblem(r).isEmpty())
            continue;
        ++accepted;
        const QString difference = firstDifference(r, parseUpdatePage(UpdatePage::render(r), r.messnum));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
    // Otherwise the check above would prove little.
    QVERIFY2(accepted > 2000, qPrintable(QString::number(accepted)));
}

void TestUpdatePage::problemsAreReported_data()
{
    QTest::addColumn<MessageRecord>("record");
    const QString date = QStringLiteral("Mon Mar 3, 2003 10:41 am");
    const QString subject = QStringLiteral("[vclb] Subject");
    QTest::newRow("<br> in author") << makeRecord(QStringLiteral("a<br>b"), date, subject, QStringLiteral("x"));
    QTest::newRow("<br> in date") << makeRecord(QStringLiteral("a"), QStringLiteral("Mon<br>"), subject, QStringLiteral("x"));
    QTest::newRow("<br> in subject") << makeRecord(QStringLiteral("a"), date, QStringLiteral("[vclb] a<br>b"), QStringLiteral("x"));
    QTest::newRow("<tt> in subject") << makeRecord(QStringLiteral("a"), date, QStringLiteral("[vclb] <tt>"), QStringLiteral("x"));
    QTest::newRow("&nbsp; in date") << makeRecord(QStringLiteral("a"), QStringLiteral("Mon&nbsp;Mar"), subject, QStringLiteral("x"));
    QTest::newRow("&quot; in author") << makeRecord(QStringLiteral("&quot;Jo&quot;"), date, subject, QStringLiteral("x"));
    QTest::newRow("&quot; in body") << makeRecord(QStringLiteral("a"), date, subject, QStringLiteral("say &quot;hi&quot;"));
    QTest::newRow("outside Windows-1252") << makeRecord(QStringLiteral("a"), date, subject, QStringLiteral("Ω"));
}

void TestUpdatePage::problemsAreReported()
{
    QFETCH(MessageRecord, record);
    QVERIFY(!UpdatePage::roundTripProblem(record).isEmpty());
    // Each reported problem is real: the page would not read back as the record.
    QVERIFY(!firstDifference(record, parseUpdatePage(UpdatePage::render(record), record.messnum)).isEmpty());
}

void TestUpdatePage::lastMessagePage()
{
    const QByteArray page = UpdatePage::renderLastMessage(3000);
    QVERIFY(page.startsWith("3000\r\n"));
    QVERIFY(page.size() > 6);
}

void TestUpdatePage::siteTree()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    SiteWriter site(root.path());
    constexpr qint32 first = 950;
    constexpr qint32 last = 1300;
    MessageGenerator generator(3);
    QList<MessageRecord> published;
    qint32 newest = 0;
    int flagged = 0;
    for (MessageRecord r = generator.next(); r.messnum <= last; r = generator.next()) {
        newest = r.messnum;
        if (r.messnum < first)
            continue;
        QVERIFY2(site.writeMessage(r), qPrintable(site.lastError()));
        // The server does not know about local deletion flags.
        if (r.messdate.startsWith(u"-1")) {
            r.messdate.remove(0, 2);
            ++flagged;
        }
        published.append(r);
    }
    QVERIFY(site.writeLastMessage(newest));
    QVERIFY(flagged > 0);

    const QDir dir(root.path());
    QFile lastMessage(dir.filePath(QStringLiteral("dbupdate/lastmessage.html")));
    QVERIFY(lastMessage.open(QIODevice::ReadOnly));
    QCOMPARE(lastMessage.readLine(), QByteArray::number(newest) + "\r\n");

    for (const MessageRecord &r : published) {
        QFile page(dir.filePath(UpdatePage::pagePath(r.messnum)));
        QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(page.fileName()));
        const QString difference = firstDifference(r, parseUpdatePage(page.readAll(), r.messnum));
        QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("message %1: %2").arg(r.messnum).arg(difference)));
    }
    // Exactly these pages and nothing else: no pages below the first number or for skipped numbers.
    int pages = 0;
    for (QDirIterator it(dir.filePath(QStringLiteral("dbupdate")), QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++pages;
    QCOMPARE(pages, published.size() + 1);
    QSet<QString> folders;
    for (const MessageRecord &r : published)
        folders.insert(UpdatePage::folderFor(r.messnum));
    const QStringList made = QDir(dir.filePath(QStringLiteral("dbupdate"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(QSet<QString>(made.begin(), made.end()), folders);
    QVERIFY(folders.contains(QStringLiteral("999")) && folders.contains(QStringLiteral("100")));
}

void TestUpdatePage::siteWriterRefusesPageThatWouldNotReadBack()
{
    QTemporaryDir root;
    SiteWriter site(root.path());
    const MessageRecord r = makeRecord(QStringLiteral("a<br>b"), QStringLiteral("Mon"), QStringLiteral("[vclb] x"),
                                       QStringLiteral("x"));
    QVERIFY(!site.writeMessage(r));
    QVERIFY(site.lastError().contains(QStringLiteral("17")));
    QVERIFY(!QFile::exists(QDir(root.path()).filePath(UpdatePage::pagePath(17))));
}

QTEST_APPLESS_MAIN(TestUpdatePage)
#include "tst_updatepage.moc"
