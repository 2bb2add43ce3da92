// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/compiledcriteria.h"
#include "store/criteria.h"
#include "store/jetlike.h"
#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"

#include <QtTest>

#include <sqlite3.h>

using Numbers = QList<int>;

namespace {

struct Row
{
    int messnum;
    const char *author;
    const char *date;
    const char *title;
    const char *body;
};

// Subjects carry the seven characters the subject searches pass over.
const Row kRows[] = {
    {1, "Alice <a@example.org>", "Mon Mar 3, 2003 10:01 am", "[vc12] Red car for sale", "<p>I have a red car</p>"},
    {2, "O'Neil, Pat", "-1Tue Mar 4, 2003 9:12 pm", "[vc12] Blue car", "red car"},
    {3, "Bob", "Wed Mar 5, 2003 10:15-1", "[vc12] a&amp;b", "Red Car"},
    {4, "Ümit", "Thu Mar 6, 2003", "[vc12] ÉCOLE", "école"},
    {120, "x", "y", "[vc12] RED", "<b>Red</b> and car"},
    {7, nullptr, nullptr, nullptr, nullptr},
};
constexpr int kRowCount = int(sizeof(kRows) / sizeof(kRows[0]));

QString errorOf(const std::variant<Numbers, QString> &result)
{
    const auto *error = std::get_if<QString>(&result);
    return error ? *error : QStringLiteral("accepted");
}

} // namespace

class TestCriteria final : public QObject
{
    Q_OBJECT

    SqliteDb m_db;

    // Numbers of the rows the criteria select, in stored order; an error text otherwise.
    std::variant<Numbers, QString> run(const QString &criteria)
    {
        QString error;
        const auto compiled = CompiledCriteria::compile(criteria, &error);
        if (!compiled)
            return error;
        SqliteStatement statement;
        if (!statement.prepare(m_db, "SELECT messnum FROM veltra WHERE " + compiled->sql() + " ORDER BY id"))
            return QStringLiteral("prepare failed: ") + m_db.lastError();
        if (!compiled->bind(statement, 1))
            return QStringLiteral("bind failed: ") + m_db.lastError();
        Numbers numbers;
        SqliteStatement::Step step;
        while ((step = statement.step()) == SqliteStatement::Step::Row)
            numbers << int(statement.columnInt64(0));
        if (step == SqliteStatement::Step::Error)
            return QStringLiteral("step failed: ") + m_db.lastError();
        return numbers;
    }

    int rowCount()
    {
        SqliteStatement count;
        if (!count.prepare(m_db, "SELECT count(*) FROM veltra") || count.step() != SqliteStatement::Step::Row)
            return -1;
        return int(count.columnInt64(0));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_db.open(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
        QVERIFY(JetLike::registerSqlFunction(m_db.handle()));
        QVERIFY2(m_db.exec("CREATE TABLE veltra (id INTEGER PRIMARY KEY, messnum INTEGER, messauthor TEXT,"
                           " messdate TEXT, messtitle TEXT, message TEXT)"), qPrintable(m_db.lastError()));
        SqliteStatement insert;
        QVERIFY(insert.prepare(m_db, "INSERT INTO veltra (messnum, messauthor, messdate, messtitle, message) VALUES (?, ?, ?, ?, ?)"));
        for (const Row &row : kRows) {
            insert.reset();
            insert.bindInt64(1, row.messnum);
            const char *texts[] = {row.author, row.date, row.title, row.body};
            for (int i = 0; i < 4; ++i) {
                if (texts[i])
                    insert.bindText(i + 2, QByteArray(texts[i]));
                else
                    insert.bindNull(i + 2);
            }
            QCOMPARE(insert.step(), SqliteStatement::Step::Done);
        }
    }

    void selects_data()
    {
        QTest::addColumn<QString>("criteria");
        QTest::addColumn<Numbers>("expected");
        // The forms the searches, the slider jump and the deletion runs build
        QTest::newRow("number") << "messnum = 120" << Numbers{120};
        QTest::newRow("number not there") << "messnum = 42" << Numbers{};
        QTest::newRow("number search") << "messnum like '120'" << Numbers{120};
        QTest::newRow("subject words") << "mid(messtitle,8) like '*red*' and mid(messtitle,8) like '*car*'" << Numbers{1};
        QTest::newRow("subject without wildcards") << "mid(messtitle,8) like 'red'" << Numbers{120};
        QTest::newRow("author with apostrophe") << "messauthor like 'O''Neil*'" << Numbers{2};
        QTest::newRow("body phrase") << "message like 'red car'" << Numbers{2, 3};
        QTest::newRow("ampersand as stored") << "mid(messtitle,8) like '*a&amp;b'" << Numbers{3};
        QTest::newRow("deletion flag anywhere") << "messdate like '*-1*'" << Numbers{2, 3};
        QTest::newRow("whole word") << "message hasword 'red'" << Numbers{1, 2, 3, 120};
        QTest::newRow("whole words in order") << "message hasword 'red car'" << Numbers{1, 2, 3};
        QTest::newRow("whole word, not a piece") << "mid(messtitle,8) hasword 'co'" << Numbers{};
        QTest::newRow("whole word past the lead only") << "mid(messtitle,8) hasword 'vc12'" << Numbers{};
        QTest::newRow("whole word, non-ASCII case") << "message hasword 'ÉCOLE'" << Numbers{4};
        QTest::newRow("whole word of a number") << "messnum hasword '120'" << Numbers{120};
        // Spelling freedom of the syntax
        QTest::newRow("keywords in capitals") << "MESSNUM = 1" << Numbers{1};
        QTest::newRow("mixed case and blanks") << "  Mid ( MessTitle , 8 )  LIKE 'blue car'  " << Numbers{2};
        QTest::newRow("no blanks") << "messnum=3 and messauthor like'b*'" << Numbers{3};
        QTest::newRow("tabs and line breaks") << "messnum\t=\r\n4" << Numbers{4};
        // Values
        QTest::newRow("= on text ignores case") << "messauthor = 'bob'" << Numbers{3};
        QTest::newRow("= on text is whole") << "messauthor = 'bo'" << Numbers{};
        QTest::newRow("= on text has no wildcards") << "messauthor = 'b*'" << Numbers{};
        QTest::newRow("= text to number") << "messnum = '120'" << Numbers{120};
        QTest::newRow("= number to text") << "mid(messnum, 2) = 20" << Numbers{120};
        QTest::newRow("negative number") << "messnum = -5" << Numbers{};
        QTest::newRow("largest number") << "messnum = 2147483647" << Numbers{};
        QTest::newRow("number pattern") << "messnum like '12*'" << Numbers{120};
        QTest::newRow("number pattern with leading zero") << "messnum like '0120'" << Numbers{};
        QTest::newRow("number pattern digits") << "messnum like '#'" << Numbers{1, 2, 3, 4, 7};
        QTest::newRow("mid counts characters") << "mid(messauthor, 2) like 'mit'" << Numbers{4};
        QTest::newRow("mid past the end") << "mid(messtitle, 2147483647) like ''" << Numbers{1, 2, 3, 4, 120};
        QTest::newRow("accented subject") << "mid(messtitle,8) like 'école'" << Numbers{4};
        QTest::newRow("NULL fields match nothing") << "messauthor like '*'" << Numbers{1, 2, 3, 4, 120};
        QTest::newRow("doubled apostrophes only") << "messauthor like '*''*'" << Numbers{2};
        QTest::newRow("three conditions") << "message like '*car*' and messnum = 120 and messdate like 'y'" << Numbers{120};
    }
    void selects()
    {
        QFETCH(QString, criteria);
        QFETCH(Numbers, expected);
        const auto result = run(criteria);
        QVERIFY2(std::holds_alternative<Numbers>(result), qPrintable(errorOf(result)));
        QCOMPARE(std::get<Numbers>(result), expected);
    }

    void refusesMalformed_data()
    {
        QTest::addColumn<QString>("criteria");
        QTest::addColumn<QString>("errorStart");
        const QString syntax = QStringLiteral("Syntax error in criteria");
        const QString pattern = QStringLiteral("Invalid pattern string");
        QTest::newRow("empty") << "" << syntax;
        QTest::newRow("blanks") << "   " << syntax;
        QTest::newRow("field alone") << "messnum" << syntax;
        QTest::newRow("no value") << "messnum =" << syntax;
        QTest::newRow("unterminated literal") << "message like 'abc" << syntax;
        QTest::newRow("unterminated after doubled quote") << "message like 'abc''" << syntax;
        QTest::newRow("unknown field") << "messbody like 'x'" << syntax;
        QTest::newRow("field glued to keyword") << "messnumlike '1'" << syntax;
        QTest::newRow("mid without parenthesis") << "mid messtitle, 8 like 'x'" << syntax;
        QTest::newRow("mid of unknown field") << "mid(title, 8) like 'x'" << syntax;
        QTest::newRow("mid from zero") << "mid(messtitle,0) like 'x'" << syntax;
        QTest::newRow("mid from negative") << "mid(messtitle,-1) like 'x'" << syntax;
        QTest::newRow("mid start too large") << "mid(messtitle,2147483648) like 'x'" << syntax;
        QTest::newRow("mid unclosed") << "mid(messtitle,8 like 'x'" << syntax;
        QTest::newRow("number too large") << "messnum = 2147483648" << syntax;
        QTest::newRow("number too small") << "messnum = -2147483649" << syntax;
        QTest::newRow("very long number") << "messnum = 99999999999999999999999999999" << syntax;
        QTest::newRow("fraction") << "messnum = 1.5" << syntax;
        QTest::newRow("number glued to word") << "messnum = 12abc" << syntax;
        QTest::newRow("like without quotes") << "message like x" << syntax;
        QTest::newRow("like a number") << "messnum like 120" << syntax;
        QTest::newRow("double-quoted text") << "message like \"x\"" << syntax;
        QTest::newRow("trailing garbage") << "messnum = 1 x" << syntax;
        QTest::newRow("trailing and") << "messnum = 1 and" << syntax;
        QTest::newRow("leading and") << "and messnum = 1" << syntax;
        QTest::newRow("or") << "messnum = 1 or messnum = 2" << syntax;
        QTest::newRow("not") << "not messnum = 1" << syntax;
        QTest::newRow("parentheses") << "(messnum = 1)" << syntax;
        QTest::newRow("other operator") << "messnum <> 1" << syntax;
        QTest::newRow("double equals") << "messnum == 1" << syntax;
        QTest::newRow("two literals") << "message like 'a' 'b'" << syntax;
        QTest::newRow("semicolon") << "messnum = 1;" << syntax;
        QTest::newRow("comment") << "messnum = 1 -- rest" << syntax;
        QTest::newRow("text for a number") << "messnum = 'abc'" << QStringLiteral("Data type mismatch");
        QTest::newRow("unbalanced bracket") << "message like '[abc'" << pattern;
        QTest::newRow("descending range") << "mid(messtitle,8) like '[z-a]'" << pattern;
        QTest::newRow("bad pattern on number") << "messnum like '1['" << pattern;
        QTest::newRow("bad pattern in second condition") << "messnum = 1 and message like '['" << pattern;
    }
    void refusesMalformed()
    {
        QFETCH(QString, criteria);
        QFETCH(QString, errorStart);
        const auto result = run(criteria);
        QVERIFY2(errorOf(result).startsWith(errorStart), qPrintable(errorOf(result)));
    }

    void hostileInputNeverReachesSql_data()
    {
        QTest::addColumn<QString>("criteria");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("statement after a number") << "messnum = 1; drop table veltra" << false;
        QTest::newRow("or after a literal") << "message like 'x' or 1=1" << false;
        QTest::newRow("quotes inside a literal") << "message like 'a'' or ''1''=''1'" << true;
        QTest::newRow("closing the function call") << "message like 'x'); DROP TABLE veltra; --" << false;
        QTest::newRow("union") << "messnum = 1 union select name from sqlite_schema" << false;
        QTest::newRow("SQL in a literal") << "message like '''); DROP TABLE veltra; --'" << true;
        QTest::newRow("NUL inside a literal") << QString::fromUtf16(u"message like 'a\0b'", 18) << true;
        QTest::newRow("NUL after a condition") << QString::fromUtf16(u"messnum = 1\0 or 1=1", 19) << false;
        QTest::newRow("long literal") << "message like '" + QString(10000, u'a') + "'" << true;
        QTest::newRow("long run of apostrophes") << "message like '*" + QString(10000, u'\'') + "*'" << true;
        QTest::newRow("long field name") << QString(10000, u'm') + " = 1" << false;
        QTest::newRow("many conditions") << QStringList(500, QStringLiteral("message like '*x*'")).join(QStringLiteral(" and ")) << true;
    }
    void hostileInputNeverReachesSql()
    {
        QFETCH(QString, criteria);
        QFETCH(bool, accepted);
        QString error;
        const auto compiled = CompiledCriteria::compile(criteria, &error);
        QCOMPARE(bool(compiled), accepted);
        if (compiled) {
            // The SQL is made of fixed pieces only: no text literal, no statement break.
            const QByteArray sql = compiled->sql();
            QVERIFY2(!sql.contains('\'') && !sql.contains(';') && !sql.contains("--") && !sql.contains('\0'), sql.constData());
            const auto result = run(criteria);
            QVERIFY2(std::holds_alternative<Numbers>(result), qPrintable(errorOf(result)));
            QCOMPARE(std::get<Numbers>(result), Numbers{});
        } else {
            QVERIFY(!error.isEmpty());
            QVERIFY2(error.size() < 300, "the error should not echo the whole criteria");
        }
        QCOMPARE(rowCount(), kRowCount);
    }

    void parsesIntoConditions()
    {
        using namespace Criteria;
        const ParseResult parsed = parse(QStringLiteral("mid(MessTitle, 8) like 'O''Neil' and messnum = -3 and message = 'x'"));
        QVERIFY2(parsed.expression, qPrintable(parsed.error));
        const auto &c = parsed.expression->conditions;
        QCOMPARE(c.size(), std::size_t(3));
        QCOMPARE(c[0].operand.field, Field::MessTitle);
        QCOMPARE(c[0].operand.midStart, 8);
        QCOMPARE(c[0].op, Operator::Like);
        QCOMPARE(std::get<QString>(c[0].value), QStringLiteral("O'Neil"));
        QCOMPARE(c[1].operand.field, Field::MessNum);
        QCOMPARE(c[1].operand.midStart, 0);
        QCOMPARE(c[1].op, Operator::Equal);
        QCOMPARE(std::get<qint32>(c[1].value), -3);
        QCOMPARE(c[2].operand.field, Field::Message);
        QCOMPARE(std::get<QString>(c[2].value), QStringLiteral("x"));
    }

    void numberLikeUsesTheIndex_data()
    {
        QTest::addColumn<QString>("criteria");
        QTest::addColumn<bool>("indexed");
        QTest::newRow("=") << "messnum = 5" << true;
        QTest::newRow("like a plain number") << "messnum like '120'" << true;
        QTest::newRow("like a pattern") << "messnum like '12*'" << false;
        QTest::newRow("mid of the number") << "mid(messnum, 1) = 5" << false;
    }
    void numberLikeUsesTheIndex()
    {
        QFETCH(QString, criteria);
        QFETCH(bool, indexed);
        QVERIFY(m_db.exec("CREATE INDEX IF NOT EXISTS veltra_messnum ON veltra(messnum)"));
        const auto compiled = CompiledCriteria::compile(criteria);
        QVERIFY(compiled);
        SqliteStatement plan;
        QVERIFY(plan.prepare(m_db, "EXPLAIN QUERY PLAN SELECT id FROM veltra WHERE id > ? AND " + compiled->sql()
                                       + " ORDER BY id LIMIT 1"));
        QVERIFY(compiled->bind(plan, 2));
        QString details;
        while (plan.step() == SqliteStatement::Step::Row)
            details += plan.columnText(3) + u'\n';
        QCOMPARE(details.contains(QStringLiteral("veltra_messnum")), indexed);
    }
};

QTEST_GUILESS_MAIN(TestCriteria)
#include "tst_criteria.moc"
