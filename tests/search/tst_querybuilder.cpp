// SPDX-License-Identifier: GPL-3.0-or-later
// Building the criteria string from a search term, and the history rule.
#include "search/querybuilder.h"
#include "search/searchhistory.h"

#include <QtTest>

using QueryBuilder::SearchField;
using QueryBuilder::Wildcard;

Q_DECLARE_METATYPE(QueryBuilder::Wildcard)
Q_DECLARE_METATYPE(QueryBuilder::SearchField)

namespace {

QString subject(std::initializer_list<const char *> words)
{
    QStringList clauses;
    for (const char *w : words)
        clauses << QStringLiteral("mid(messtitle,8) like '") + QString::fromUtf8(w) + u'\'';
    return clauses.join(QStringLiteral(" and "));
}

}

class TestQueryBuilder final : public QObject
{
    Q_OBJECT

private slots:
    void criteria_data()
    {
        QTest::addColumn<QString>("term");
        QTest::addColumn<Wildcard>("mode");
        QTest::addColumn<SearchField>("field");
        QTest::addColumn<QString>("expected");

        // The worked examples first.
        QTest::newRow("two words, bracket") << "red car" << Wildcard::Bracket << SearchField::Subject
                                            << subject({"*red*", "*car*"});
        QTest::newRow("two words, none") << "red car" << Wildcard::None << SearchField::Subject
                                         << subject({"red", "car"});
        QTest::newRow("apostrophe, append, author") << "O'Neil" << Wildcard::Append << SearchField::Author
                                                    << "messauthor like 'O''Neil*'";
        QTest::newRow("quoted phrase, body") << "\"red car\"" << Wildcard::None << SearchField::Body
                                             << "message like 'red car'";
        QTest::newRow("ampersand, preface") << "a&b" << Wildcard::Preface << SearchField::Subject
                                            << subject({"*a&amp;b"});
        QTest::newRow("five words keep the rest in the fourth") << "a b c d e" << Wildcard::Bracket << SearchField::Subject
                                                                << subject({"*a*", "*b*", "*c*", "*d e*"});
        QTest::newRow("two blanks give an empty word") << "a  b" << Wildcard::None << SearchField::Subject
                                                       << subject({"a", "", "b"});
        QTest::newRow("message number") << "#120" << Wildcard::Bracket << SearchField::Body << "messnum like '120'";
        QTest::newRow("whole words, subject") << "red car" << Wildcard::WholeWords << SearchField::Subject
                                              << "mid(messtitle,8) hasword 'red' and mid(messtitle,8) hasword 'car'";
        QTest::newRow("whole words, author, apostrophe") << "O'Neil" << Wildcard::WholeWords << SearchField::Author
                                                         << "messauthor hasword 'O''Neil'";
        QTest::newRow("whole words, number still a number") << "#120" << Wildcard::WholeWords << SearchField::Body
                                                            << "messnum like '120'";

        // Cutting at blanks.
        QTest::newRow("leading blank, none") << " red" << Wildcard::None << SearchField::Subject << subject({"", "red"});
        QTest::newRow("leading blank, bracket") << " red" << Wildcard::Bracket << SearchField::Subject
                                                << subject({"**", "*red*"});
        QTest::newRow("trailing blank ends word 1 only") << "red " << Wildcard::Bracket << SearchField::Subject
                                                         << subject({"*red*"});
        QTest::newRow("three words") << "a b c" << Wildcard::Append << SearchField::Subject << subject({"a*", "b*", "c*"});
        QTest::newRow("blanks after the third cut stay") << "a b c  d  " << Wildcard::None << SearchField::Subject
                                                         << subject({"a", "b", "c", " d  "});
        QTest::newRow("tab is no blank") << "red\tcar" << Wildcard::None << SearchField::Author
                                         << "messauthor like 'red\tcar'";
        QTest::newRow("author joins") << "mike brien" << Wildcard::Preface << SearchField::Author
                                      << "messauthor like '*mike' and messauthor like '*brien'";
        QTest::newRow("body joins") << "oil pump" << Wildcard::Bracket << SearchField::Body
                                    << "message like '*oil*' and message like '*pump*'";

        // The phrase form.
        QTest::newRow("quote anywhere makes a phrase") << "say \"hi\" now" << Wildcard::None << SearchField::Subject
                                                       << subject({"say hi now"});
        QTest::newRow("phrase keeps double blanks") << "\"a  b\"" << Wildcard::Bracket << SearchField::Subject
                                                    << subject({"*a  b*"});
        QTest::newRow("apostrophe in a phrase") << "\"it's here\"" << Wildcard::Append << SearchField::Body
                                                << "message like 'it''s here*'";
        QTest::newRow("lone quote") << "\"" << Wildcard::Bracket << SearchField::Subject << subject({"**"});

        // Apostrophes and ampersands in every word.
        QTest::newRow("apostrophes in several words") << "'a b'" << Wildcard::None << SearchField::Subject
                                                      << subject({"''a", "b''"});
        QTest::newRow("only apostrophes") << "''" << Wildcard::None << SearchField::Subject << subject({"''''"});
        QTest::newRow("ampersand in the fourth word") << "a b c d&e f" << Wildcard::None << SearchField::Subject
                                                      << subject({"a", "b", "c", "d&amp;e f"});
        QTest::newRow("entity typed in") << "&amp;" << Wildcard::None << SearchField::Body << "message like '&amp;amp;'";

        // Pattern characters pass unchanged; the store decides about them.
        QTest::newRow("pattern characters") << "r?d [a-c]* #1" << Wildcard::None << SearchField::Subject
                                            << subject({"r?d", "[a-c]*", "#1"});
        QTest::newRow("unbalanced bracket") << "[abc" << Wildcard::Bracket << SearchField::Subject << subject({"*[abc*"});
        QTest::newRow("sql-looking term") << "x'; drop table veltra; --" << Wildcard::None << SearchField::Body
                                          << "message like 'x'';' and message like 'drop' and message like 'table' and "
                                             "message like 'veltra; --'";

        // The "#" form, whatever the mode and field.
        QTest::newRow("# with letters") << "#42abc" << Wildcard::None << SearchField::Subject << "messnum like '42'";
        QTest::newRow("# half to even, down") << "#4.5" << Wildcard::Append << SearchField::Author << "messnum like '4'";
        QTest::newRow("# half to even, up") << "#5.5" << Wildcard::Preface << SearchField::Subject << "messnum like '6'";
        QTest::newRow("# blanks skipped") << "# 1 2" << Wildcard::Bracket << SearchField::Subject << "messnum like '12'";
        QTest::newRow("# largest number") << "#2147483647" << Wildcard::Bracket << SearchField::Subject
                                          << "messnum like '2147483647'";
        QTest::newRow("blank before #: a word search") << " #12" << Wildcard::None << SearchField::Subject
                                                       << subject({"", "#12"});
    }
    void criteria()
    {
        QFETCH(QString, term);
        QFETCH(Wildcard, mode);
        QFETCH(SearchField, field);
        QFETCH(QString, expected);
        const QueryBuilder::Query query = QueryBuilder::build(term, mode, field);
        QVERIFY(!query.refused);
        QCOMPARE(query.criteria, expected);
    }

    void lengthsAreThoseBeforeDecoration()
    {
        const auto words = QueryBuilder::decorate(QueryBuilder::splitTerm(QStringLiteral("a&b  c'd")), Wildcard::Bracket);
        QCOMPARE(words.words[0], QStringLiteral("*a&amp;b*"));
        QCOMPARE(words.words[1], QStringLiteral("**"));
        QCOMPARE(words.words[2], QStringLiteral("*c''d*"));
        QCOMPARE(words.words[3], QStringLiteral("**"));
        QCOMPARE(words.lengths, (std::array<qsizetype, 4>{3, 0, 4, 0}));
        // Only the undecorated lengths count: an empty first word still gives one clause.
        QCOMPARE(QueryBuilder::criteria(QueryBuilder::decorate(QueryBuilder::splitTerm(QString()), Wildcard::Bracket),
                                        SearchField::Subject, 0),
                 subject({"**"}));
    }

    void numberTerm_data()
    {
        QTest::addColumn<QString>("term");
        QTest::addColumn<bool>("isNumberTerm");
        QTest::addColumn<int>("number"); // 0: refused
        QTest::newRow("plain") << "#42" << true << 42;
        QTest::newRow("trailing letters") << "#42abc" << true << 42;
        QTest::newRow("4.5") << "#4.5" << true << 4;
        QTest::newRow("5.5") << "#5.5" << true << 6;
        QTest::newRow("0.5 rounds to 0") << "#0.5" << true << 0;
        QTest::newRow("1.5") << "#1.5" << true << 2;
        QTest::newRow("blanks inside") << "#  4 2" << true << 42;
        QTest::newRow("# alone") << "#" << true << 0;
        QTest::newRow("zero") << "#0" << true << 0;
        QTest::newRow("letter") << "#abc" << true << 0;
        QTest::newRow("negative") << "#-3" << true << 0;
        QTest::newRow("beyond 32 bits") << "#2147483648" << true << 0;
        QTest::newRow("far beyond") << "#99999999999999999999999999" << true << 0;
        QTest::newRow("huge exponent") << "#1e999" << true << 0;
        QTest::newRow("not first") << "a#1" << false << 0;
        QTest::newRow("word") << "clutch" << false << 0;
    }
    void numberTerm()
    {
        QFETCH(QString, term);
        QFETCH(bool, isNumberTerm);
        QFETCH(int, number);
        const QueryBuilder::NumberTerm n = QueryBuilder::numberTerm(term);
        QCOMPARE(n.isNumberTerm, isNumberTerm);
        QCOMPARE(n.number.value_or(0), number);
        const QueryBuilder::Query query = QueryBuilder::build(term, Wildcard::Bracket, SearchField::Subject);
        QCOMPARE(query.refused, isNumberTerm && number == 0);
        QCOMPARE(query.searchMsgNum, number);
        if (query.refused)
            QVERIFY(query.criteria.isEmpty());
    }

    void validity_data()
    {
        QTest::addColumn<QString>("term");
        QTest::addColumn<bool>("valid");
        QTest::newRow("empty") << "" << false;
        QTest::newRow("one blank") << " " << false;
        QTest::newRow("blanks") << "     " << false;
        QTest::newRow("tab") << "\t" << true;
        QTest::newRow("no-break space") << QStringLiteral("\u00a0") << true;
        QTest::newRow("word among blanks") << "  a  " << true;
        QTest::newRow("NUL") << QString(QChar(0)) << true;
    }
    void validity()
    {
        QFETCH(QString, term);
        QFETCH(bool, valid);
        QCOMPARE(QueryBuilder::isValidTerm(term), valid);
    }

    void hitTexts_data()
    {
        QTest::addColumn<QString>("term");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("two words") << "clutch cable" << QStringList{"clutch", "cable"};
        QTest::newRow("phrase") << "\"clutch cable\"" << QStringList{"clutch cable"};
        QTest::newRow("apostrophe") << "O'Neil" << QStringList{"O'Neil"};
        QTest::newRow("ampersand as typed") << "a&b" << QStringList{"a&b"};
        QTest::newRow("pattern characters") << "br*ke ca?le #1 [ab]x" << QStringList{"br", "ke", "ca", "le", "1", "x"};
        QTest::newRow("unclosed set") << "ab[cd" << QStringList{"ab"};
        QTest::newRow("same word twice, other case") << "Gasket gasket" << QStringList{"Gasket"};
        QTest::newRow("blanks only between") << "a  b" << QStringList{"a", "b"};
        QTest::newRow("rest of a long term") << "a b c d e" << QStringList{"a", "b", "c", "d e"};
        QTest::newRow("non-ASCII") << QStringLiteral("Ölwanne ÖLWANNE") << QStringList{QStringLiteral("Ölwanne")};
    }
    void hitTexts()
    {
        QFETCH(QString, term);
        QTEST(QueryBuilder::hitTexts(QueryBuilder::splitTerm(term)), "texts");
    }

    void history_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("term");
        QTest::addColumn<bool>("added");
        QTest::addColumn<QStringList>("dropDown");
        QTest::newRow("new term after a loaded history") << QStringList{"A", "B", "C"} << "N" << true
                                                         << QStringList{"N", "C", "B", "A"};
        QTest::newRow("first term") << QStringList{} << "clutch" << true << QStringList{"clutch"};
        QTest::newRow("known term") << QStringList{"A", "B", "C"} << "B" << false << QStringList{"C", "B", "A"};
        QTest::newRow("other letter case is new") << QStringList{"clutch"} << "Clutch" << true
                                                  << QStringList{"Clutch", "clutch"};
        QTest::newRow("blanks count") << QStringList{"clutch"} << "clutch " << true << QStringList{"clutch ", "clutch"};
    }
    void history()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, term);
        QFETCH(bool, added);
        QFETCH(QStringList, dropDown);
        QStringList sorted = before;
        QCOMPARE(SearchHistory::record(sorted, term), added);
        QCOMPARE(sorted.size(), before.size() + (added ? 1 : 0));
        QCOMPARE(sorted.last(), added ? term : before.last());
        QCOMPARE(SearchHistory::dropDownOrder(sorted), dropDown);
    }
};

QTEST_APPLESS_MAIN(TestQueryBuilder)

#include "tst_querybuilder.moc"
