// What the substring index is asked for a find's criteria, and that its answer always
// holds every record the criteria match: thousands of search terms built the way the
// search builds them, over generated messages with text in several languages.
#include "fixtures.h"
#include "messagegenerator.h"
#include "search/querybuilder.h"
#include "store/criteria.h"
#include "store/recordset.h"
#include "store/substringquery.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <set>

namespace {

QString queryFor(const QString &criteria)
{
    const Criteria::ParseResult parsed = Criteria::parse(criteria);
    return parsed.expression ? SubstringQuery::forCriteria(*parsed.expression) : QStringLiteral("<refused>");
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
                                   << "message : (\"gas\" AND \"ask\" AND \"ske\" AND \"ket\")";
        QTest::newRow("two subject words") << "mid(messtitle,8) like '*red*' and mid(messtitle,8) like '*car*'"
                                           << "messtitle : (\"red\") AND messtitle : (\"car\")";
        QTest::newRow("short word passed over") << "messauthor like '*al*' and messauthor like '*bert*'"
                                                << "messauthor : (\"ber\" AND \"ert\")";
        QTest::newRow("quote in the text") << "message like '*a\"bc*'" << "message : (\"a\"\"b\" AND \"\"\"bc\")";
        QTest::newRow("non-ASCII splits the run") << "message like '*Ölwanne*'"
                                                  << "message : (\"lwa\" AND \"wan\" AND \"ann\" AND \"nne\")";
        QTest::newRow("apostrophe kept") << "messauthor like 'O''Neil*'"
                                         << "messauthor : (\"o'n\" AND \"'ne\" AND \"nei\" AND \"eil\")";
        QTest::newRow("number") << "messnum like '120'" << "";
        QTest::newRow("deletion mark") << "messdate like '*-1*'" << "";
        QTest::newRow("all wildcards") << "message like '**'" << "";
        QTest::newRow("equal takes the whole text") << "messauthor = 'a*bc'" << "messauthor : (\"a*b\" AND \"*bc\")";
    }
    void forCriteria()
    {
        QFETCH(QString, criteria);
        QTEST(queryFor(criteria), "query");
    }

    // Every record a criteria string matches is among the index's candidates for it.
    void candidatesHoldEveryHit()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("veltra.mdb"));
        QList<MessageRecord> records = MessageGenerator::generate(11, 900);
        const QStringList foreign = {QStringLiteral("Überholung der Ölwanne, straße"), QStringLiteral("Révision du carburateur"),
                                     QStringLiteral("Ремонт сцепления"), QStringLiteral("İstanbul ıstanbul ǅemal"),
                                     QStringLiteral("ΣΊΣΥΦΟΣ σίσυφος"), QStringLiteral("\u212Aelvin ſtraße ﬁlter")};
        for (qsizetype i = 0; i < records.size(); i += 7)
            records[i].message += u' ' + foreign[i % foreign.size()];
        QVERIFY(Fixtures::writeDatabase(path, records));

        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db,
                              "CREATE VIRTUAL TABLE veltra_fts USING fts5(messauthor, messtitle, message,"
                              " content='veltra', content_rowid='id', tokenize='trigram', detail=column);"
                              "INSERT INTO veltra_fts(veltra_fts) VALUES('rebuild');",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_stmt *match = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, "SELECT rowid FROM veltra_fts WHERE veltra_fts MATCH ?1", -1, &match, nullptr),
                 SQLITE_OK);
        auto opened = Recordset::open(path);
        QVERIFY(opened.recordset);
        Recordset &rs = *opened.recordset;

        // Terms as a user types them: words of the messages in any letter case, with a
        // wildcard of their own now and then, in every mode and field.
        QRandomGenerator random(20261208);
        const auto pick = [&](const QStringList &from) { return from[random.bounded(int(from.size()))]; };
        const auto word = [&] {
            const MessageRecord &r = records[random.bounded(int(records.size()))];
            const QString text = pick({r.messauthor, r.messtitle.mid(7), r.message});
            QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            QString w = words.isEmpty() ? QStringLiteral("x") : pick(words);
            w = w.left(1 + random.bounded(12));
            if (random.bounded(3) == 0)
                w = w.toUpper();
            if (random.bounded(5) == 0 && w.size() > 2)
                w[random.bounded(int(w.size()))] = pick({QStringLiteral("?"), QStringLiteral("#"), QStringLiteral("*")})[0];
            return w;
        };
        const QueryBuilder::Wildcard modes[] = {QueryBuilder::Wildcard::Bracket, QueryBuilder::Wildcard::Append,
                                                QueryBuilder::Wildcard::Preface, QueryBuilder::Wildcard::None};
        const QueryBuilder::SearchField fields[] = {QueryBuilder::SearchField::Subject, QueryBuilder::SearchField::Author,
                                                    QueryBuilder::SearchField::Body};
        int looked = 0;
        int hitsTotal = 0;
        for (int round = 0; round < 1500; ++round) {
            QString term = word();
            for (int extra = random.bounded(3); extra > 0; --extra)
                term += u' ' + word();
            if (random.bounded(8) == 0)
                term = u'"' + term + u'"';
            // Mostly bracketed, as most users search.
            const QueryBuilder::Wildcard mode = random.bounded(2) ? modes[0] : modes[random.bounded(4)];
            const QueryBuilder::Query query = QueryBuilder::build(term, mode, fields[random.bounded(3)]);
            const QString fts = queryFor(query.criteria);
            if (fts.isEmpty() || fts == QLatin1String("<refused>"))
                continue;
            ++looked;
            std::set<qint64> candidates;
            const QByteArray utf8 = fts.toUtf8();
            sqlite3_bind_text(match, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
            while (sqlite3_step(match) == SQLITE_ROW)
                candidates.insert(sqlite3_column_int64(match, 0));
            QCOMPARE(sqlite3_reset(match), SQLITE_OK);
            for (auto found = rs.findFirst(query.criteria); found == Recordset::FindResult::Found;
                 found = rs.findNext(query.criteria)) {
                ++hitsTotal;
                const qint64 id = rs.bookmark().id;
                QVERIFY2(candidates.count(id), qPrintable(QStringLiteral("%1 -> %2 misses record %3")
                                                              .arg(query.criteria, fts)
                                                              .arg(rs.field(QStringLiteral("messnum")).toInt())));
            }
        }
        sqlite3_finalize(match);
        sqlite3_close(db);
        // The index was asked most of the time, and found something.
        QVERIFY2(looked > 750, qPrintable(QString::number(looked)));
        QVERIFY(hitsTotal > 500);
    }
};

QTEST_GUILESS_MAIN(TestSubstringQuery)
#include "tst_substringquery.moc"
