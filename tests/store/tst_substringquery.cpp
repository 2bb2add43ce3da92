// What the substring index is asked for a find's criteria.
#include "store/criteria.h"
#include "store/substringquery.h"

#include <QtTest>

namespace {

QString queryFor(const QString &criteria)
{
    const Criteria::ParseResult parsed = Criteria::parse(criteria);
    if (!parsed.expression)
        return QStringLiteral("<refused>");
    const auto lookup = SubstringQuery::forCriteria(*parsed.expression);
    return lookup ? QLatin1String(Criteria::columnName(lookup->field)) + QStringLiteral(": ") + lookup->match : QString();
}

}

class TestSubstringQuery final : public QObject
{
    Q_OBJECT

private slots:
    void literalRuns_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("runs");
        QTest::newRow("bracketed word") << "*gasket*" << QStringList{"gasket"};
        QTest::newRow("wildcards inside") << "ga?ke#t*seal" << QStringList{"ga", "ke", "t", "seal"};
        QTest::newRow("one-character sets are that character") << "a[*]b[?]c[#]d[[]e" << QStringList{"a*b?c#d[e"};
        QTest::newRow("other sets break the run") << "ab[xy]cd[!z]ef[a-c]gh" << QStringList{"ab", "cd", "ef", "gh"};
        QTest::newRow("a closing bracket alone is itself") << "a]b" << QStringList{"a]b"};
        QTest::newRow("bracket as the set's first character") << "x[]]y" << QStringList{"x]y"};
        QTest::newRow("unclosed set ends it") << "abc[de" << QStringList{"abc"};
        QTest::newRow("nothing literal") << "*?#*" << QStringList{};
    }
    void literalRuns()
    {
        QFETCH(QString, pattern);
        QTEST(SubstringQuery::literalRuns(pattern), "runs");
    }

    void forCriteria_data()
    {
        QTest::addColumn<QString>("criteria");
        QTest::addColumn<QString>("query");
        QTest::newRow("body word") << "message like '*Gasket*'"
                                   << "message: \"gas\" AND \"ask\" AND \"ske\" AND \"ket\"";
        QTest::newRow("two subject words") << "mid(messtitle,8) like '*red*' and mid(messtitle,8) like '*car*'"
                                           << "messtitle: \"red\" AND \"car\"";
        QTest::newRow("short word passed over") << "messauthor like '*al*' and messauthor like '*bert*'"
                                                << "messauthor: \"ber\" AND \"ert\"";
        QTest::newRow("quote in the text") << "message like '*a\"bc*'" << "message: \"a\"\"b\" AND \"\"\"bc\"";
        QTest::newRow("non-ASCII splits the run") << "message like '*Ölwanne*'"
                                                  << "message: \"lwa\" AND \"wan\" AND \"ann\" AND \"nne\"";
        QTest::newRow("apostrophe kept") << "messauthor like 'O''Neil*'"
                                         << "messauthor: \"o'n\" AND \"'ne\" AND \"nei\" AND \"eil\"";
        QTest::newRow("number") << "messnum like '120'" << "";
        QTest::newRow("deletion mark") << "messdate like '*-1*'" << "";
        QTest::newRow("all wildcards") << "message like '**'" << "";
        QTest::newRow("the field with most pieces is asked")
            << "messauthor like '*bob*' and message like '*gasket*'"
            << "message: \"gas\" AND \"ask\" AND \"ske\" AND \"ket\"";
        QTest::newRow("equal takes the whole text") << "messauthor = 'a*bc'" << "messauthor: \"a*b\" AND \"*bc\"";
    }
    void forCriteria()
    {
        QFETCH(QString, criteria);
        QTEST(queryFor(criteria), "query");
    }
};

QTEST_GUILESS_MAIN(TestSubstringQuery)
#include "tst_substringquery.moc"
