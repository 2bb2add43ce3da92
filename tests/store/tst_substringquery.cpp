// SPDX-License-Identifier: GPL-3.0-or-later
// What the substring index is asked for a find's criteria.
#include "store/criteria.h"
#include "store/indexvocabulary.h"
#include "store/indexwords.h"
#include "store/searchindex.h"
#include "store/substringquery.h"

#include <QtTest>

namespace {

QString shown(const SubstringQuery::Piece &piece)
{
    using Place = SubstringQuery::Piece::Place;
    const bool before = piece.place == Place::Within || piece.place == Place::Ending;
    const bool after = piece.place == Place::Within || piece.place == Place::Starting;
    return QLatin1String(before ? "*" : "") + piece.text + QLatin1String(after ? "*" : "");
}

// The pieces per field as "field: *piece* ...", fields apart by " | ".
QString queryFor(const QString &criteria)
{
    const Criteria::ParseResult parsed = Criteria::parse(criteria);
    if (!parsed.expression)
        return QStringLiteral("<refused>");
    QStringList fields;
    for (const SubstringQuery::FieldPieces &field : SubstringQuery::forCriteria(*parsed.expression)) {
        QStringList pieces;
        for (const SubstringQuery::Piece &piece : field.pieces)
            pieces << shown(piece);
        fields << QLatin1String(Criteria::columnName(field.field)) + QStringLiteral(": ") + pieces.join(u' ');
    }
    return fields.join(QStringLiteral(" | "));
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
        QTest::newRow("body word") << "message like '*Gasket*'" << "message: *Gasket*";
        QTest::newRow("two subject words") << "mid(messtitle,8) like '*red*' and mid(messtitle,8) like '*car*'"
                                           << "messtitle: *red* *car*";
        QTest::newRow("phrase: end, whole words, start") << "message like '*the front brake pads*'"
                                                         << "message: *the front brake pads*";
        QTest::newRow("letters outside ASCII are word characters") << "message like '*Ölwanne-Dichtung*'"
                                                                  << "message: *Ölwanne Dichtung*";
        QTest::newRow("apostrophe separates") << "messauthor like 'O''Neil*'" << "messauthor: *O Neil*";
        QTest::newRow("wildcards cut runs") << "message like 'ga?ket#s'" << "message: *ga* *ket* *s*";
        QTest::newRow("number") << "messnum like '120'" << "";
        QTest::newRow("field not indexed") << "messdate like '*-1*'" << "";
        QTest::newRow("all wildcards") << "message like '**'" << "";
        QTest::newRow("punctuation only") << "message like '*--*'" << "";
        QTest::newRow("each field in the order it comes") << "messauthor like '*bob*' and message like '*gasket*'"
                                                           << "messauthor: *bob* | message: *gasket*";
        QTest::newRow("a piece asked once") << "message like '*abc*' and message like '*ABC*' and message like '*abc*'"
                                            << "message: *abc* *ABC*";
        QTest::newRow("equal takes the whole text") << "messauthor = 'a*bc'" << "messauthor: *a bc*";
    }
    void forCriteria()
    {
        QFETCH(QString, criteria);
        QTEST(queryFor(criteria), "query");
    }

    // The index's words a piece asks for: folded as the like folds, placed as the piece is.
    void wordsFor_data()
    {
        QTest::addColumn<QString>("piece");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("within") << "*RAK*" << QStringList{"brake", "handbrake", "brakes"};
        QTest::newRow("ending") << "*brake" << QStringList{"brake", "handbrake"};
        QTest::newRow("starting") << "brake*" << QStringList{"brake", "brakes"};
        QTest::newRow("whole") << "Brake" << QStringList{"brake"};
        QTest::newRow("letters outside ASCII fold as the like folds") << "*CAFÉ*" << QStringList{"café", "cafÉ"};
        QTest::newRow("no word holds it") << "*zzz*" << QStringList{};
    }
    void wordsFor()
    {
        QFETCH(QString, piece);
        IndexVocabulary vocabulary;
        vocabulary.addText(SearchIndex::listOf(Criteria::Field::Message),
                           QByteArray("Brake handbrake, BRAKES; caf\xc3\xa9 CAF\xc3\x89"));
        using Place = SubstringQuery::Piece::Place;
        const bool before = piece.startsWith(u'*');
        const bool after = piece.endsWith(u'*');
        const Place place = before && after ? Place::Within : before ? Place::Ending : after ? Place::Starting : Place::Whole;
        const SubstringQuery::Piece asked{place, QString(piece).remove(u'*')};
        const auto found = vocabulary.wordsFor(Criteria::Field::Message, asked, 10);
        QVERIFY(found);
        QStringList words;
        for (const QByteArray &word : *found)
            words << QString::fromUtf8(word);
        QTEST(words, "words");
        // Past the most words asked for, the piece is passed over.
        QVERIFY(!vocabulary.wordsFor(Criteria::Field::Message, {Place::Within, QStringLiteral("a")}, 2));
        // A word cut at the index's limit may have held any piece in the part cut off.
        const int title = SearchIndex::listOf(Criteria::Field::MessTitle);
        vocabulary.addText(title, QByteArray(IndexWords::kLongest + 10, 'q'));
        QCOMPARE(vocabulary.wordsFor(Criteria::Field::MessTitle, asked, 10)->size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSubstringQuery)
#include "tst_substringquery.moc"
