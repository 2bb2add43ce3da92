// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile search terms through the query building and the store together. For every term,
// under every wildcard mode and search field:
//  - the criteria string parses, into exactly the clauses the term asks for, each a like
//    over the chosen field whose pattern gives back the term's own words: no term escapes
//    its pattern, however it is quoted;
//  - the store either runs it or refuses the pattern with a reason, and a run finds
//    exactly the records its own matcher accepts;
//  - nothing is ever written to the database.
// The finds go through the substring index, so the index is held to the matcher as well.
//
// Built as a deterministic test of a few thousand terms run by CTest, and with clang also
// as a libFuzzer target (fuzz_query_libfuzzer) that runs the same checks on its inputs.

#include "search/querybuilder.h"
#include "store/compiledcriteria.h"
#include "store/criteria.h"
#include "store/jetlike.h"
#include "store/recordset.h"
#include "store/searchindex.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#ifndef VELTRA_LIBFUZZER
#include <QtTest>
#endif

using QueryBuilder::SearchField;
using QueryBuilder::Wildcard;

namespace {

constexpr Wildcard kModes[] = {Wildcard::Bracket, Wildcard::Append, Wildcard::Preface, Wildcard::None};
constexpr SearchField kFields[] = {SearchField::Subject, SearchField::Author, SearchField::Body};

QList<MessageRecord> fixtureRecords()
{
    const char *const titles[] = {
        "[vclub] Clutch cable snapped",   "[vclub] Re: red car",           "[vclub] O'Neil's hardtop",
        "[vclub] Nuts &amp; bolts",       "[vclub] say hi now",            "[vclub] 100% rust * free?",
        "[vclub] [brackets] and #1",      "[vclub] \"Signal Red\"",        "[vclub] drop table veltra; --",
        "[vclub] ",                       "short",                         "",
        "[vclub] Café racer Grüße",       "[vclub] a  b  c  d  e",         "[vclub] tab\there",
        "[vclub] ΣΊΣΥΦΟΣ straße",         "[vclub] 'quoted' words",        "[vclub] back\\slash_under%",
    };
    QList<MessageRecord> records;
    int n = 0;
    for (const char *title : titles) {
        ++n;
        MessageRecord r;
        r.messnum = n * 3;
        r.messauthor = n % 3 ? QStringLiteral("Mike O'Brien <m%1@example.org>").arg(n)
                             : QStringLiteral("Tom &amp; Sue [%1]").arg(n);
        r.messdate = n % 5 ? QStringLiteral("Mon Mar 3, 2003") : QStringLiteral("-1Mon Mar 3, 2003");
        r.messtitle = QString::fromUtf8(title);
        r.message = QStringLiteral("<tt>Body %1: the red car's clutch &amp; a \"quote\" [x] 50% * ? # ;-- %2</tt>")
                        .arg(n)
                        .arg(r.messtitle);
        records << r;
    }
    return records;
}

// The text a condition compares: the field, from midStart on when it is a mid(...).
QString operandText(const MessageRecord &r, const Criteria::Operand &operand)
{
    QString text;
    switch (operand.field) {
    case Criteria::Field::MessNum:
        text = QString::number(r.messnum);
        break;
    case Criteria::Field::MessAuthor:
        text = r.messauthor;
        break;
    case Criteria::Field::MessDate:
        text = r.messdate;
        break;
    case Criteria::Field::MessTitle:
        text = r.messtitle;
        break;
    case Criteria::Field::Message:
        text = r.message;
        break;
    }
    if (operand.midStart > 0) {
        const QList<uint> ucs4 = text.toUcs4(); // the store counts characters, not UTF-16 units
        text = QString::fromUcs4(reinterpret_cast<const char32_t *>(ucs4.constData()) + qMin<qsizetype>(ucs4.size(), operand.midStart - 1),
                                 qMax<qsizetype>(0, ucs4.size() - (operand.midStart - 1)));
    }
    return text;
}

QString undecorate(QString value, Wildcard mode)
{
    if (mode == Wildcard::Bracket || mode == Wildcard::Preface)
        value.remove(0, 1);
    if (mode == Wildcard::Bracket || mode == Wildcard::Append)
        value.chop(1);
    return value.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}

// Shared by the test and the fuzzer: the database and what it held at the start.
class Harness final
{
public:
    Harness()
    {
        if (!m_dir.isValid()) {
            m_error = QStringLiteral("no temporary folder");
            return;
        }
        const QString path = m_dir.filePath(QStringLiteral("veltra.mdb"));
        if (!Recordset::createEmpty(path, &m_error))
            return;
        auto opened = Recordset::open(path);
        if (!opened.recordset) {
            m_error = opened.reason;
            return;
        }
        m_records = fixtureRecords();
        for (const MessageRecord &r : m_records) {
            if (!opened.recordset->addNew(r)) {
                m_error = opened.recordset->lastError();
                return;
            }
        }
        // Finds go through the substring index, so every term checks it against the matcher too.
        const auto built = SearchIndexBuilder::run(path, SearchIndexBuilder::Task::Build);
        if (built.outcome != SearchIndexBuilder::Outcome::Ready || !opened.recordset->searchIndexInUse()) {
            m_error = QStringLiteral("the search index was not built: ") + built.detail;
            return;
        }
        m_recordset = std::move(opened.recordset);
        m_changesBefore = sqlite3_total_changes(m_recordset->handle());
    }

    QString error() const { return m_error; }

    // Empty when all is well, else the first fault found.
    QString check(const QString &term)
    {
        for (const Wildcard mode : kModes) {
            for (const SearchField field : kFields) {
                const QString fault = checkOne(term, mode, field);
                if (!fault.isEmpty())
                    return fault;
            }
        }
        if (sqlite3_total_changes(m_recordset->handle()) != m_changesBefore)
            return QStringLiteral("the database was written to");
        return {};
    }

private:
    QString checkOne(const QString &term, Wildcard mode, SearchField field)
    {
        const QueryBuilder::Query query = QueryBuilder::build(term, mode, field);
        const QueryBuilder::NumberTerm number = QueryBuilder::numberTerm(term);
        if (query.refused != (number.isNumberTerm && !number.number))
            return QStringLiteral("refused a term it should not have, or the other way round");
        if (query.refused)
            return {};

        const Criteria::ParseResult parsed = Criteria::parse(query.criteria);
        if (!parsed.expression)
            return QStringLiteral("criteria did not parse: ") + parsed.error;
        const auto &conditions = parsed.expression->conditions;
        for (const Criteria::Condition &c : conditions) {
            if (c.op != Criteria::Operator::Like || !std::holds_alternative<QString>(c.value))
                return QStringLiteral("a clause is not a like with a text");
        }

        if (number.isNumberTerm) {
            if (conditions.size() != 1 || conditions[0].operand.field != Criteria::Field::MessNum
                || std::get<QString>(conditions[0].value) != QString::number(*number.number))
                return QStringLiteral("the message-number criteria are wrong");
        } else if (const QString fault = checkWords(term, mode, field, conditions); !fault.isEmpty()) {
            return fault;
        }
        return checkRun(query.criteria, conditions);
    }

    // The clauses give back the term: the words joined by single blanks (only blanks may be
    // left over), or the phrase without its double quotes.
    static QString checkWords(const QString &term, Wildcard mode, SearchField field,
                              const std::vector<Criteria::Condition> &conditions)
    {
        if (conditions.empty() || conditions.size() > 4)
            return QStringLiteral("%1 clauses").arg(conditions.size());
        const Criteria::Field expectedField = field == SearchField::Subject  ? Criteria::Field::MessTitle
                                              : field == SearchField::Author ? Criteria::Field::MessAuthor
                                                                              : Criteria::Field::Message;
        const qint32 expectedMid = field == SearchField::Subject ? 8 : 0;
        QStringList words;
        for (const Criteria::Condition &c : conditions) {
            if (c.operand.field != expectedField || c.operand.midStart != expectedMid)
                return QStringLiteral("a clause compares another field");
            const QString &value = std::get<QString>(c.value);
            const bool starred = mode != Wildcard::None;
            if (starred && ((mode != Wildcard::Append && !value.startsWith(u'*'))
                            || (mode != Wildcard::Preface && !value.endsWith(u'*'))))
                return QStringLiteral("a pattern lost its wildcard");
            words << undecorate(value, mode);
        }
        if (term.contains(u'"')) {
            if (words.size() != 1 || words[0] != QString(term).remove(u'"'))
                return QStringLiteral("the phrase came back as ") + words.join(u'|');
            return {};
        }
        const QString joined = words.join(u' ');
        if (!term.startsWith(joined))
            return QStringLiteral("the words came back as ") + words.join(u'|');
        for (const QChar c : QStringView(term).mid(joined.size())) {
            if (c != u' ')
                return QStringLiteral("a word was lost: ") + words.join(u'|');
        }
        if (words.size() > 1 && words.last().isEmpty())
            return QStringLiteral("a clause for an empty last word");
        return {};
    }

    QString checkRun(const QString &criteria, const std::vector<Criteria::Condition> &conditions)
    {
        QString compileError;
        const bool compiles = CompiledCriteria::compile(criteria, &compileError) != nullptr;
        if (!compiles && !compileError.startsWith(QStringLiteral("Invalid pattern string")))
            return QStringLiteral("refused for an unexpected reason: ") + compileError;

        std::vector<qint32> expected;
        if (compiles) {
            std::vector<std::unique_ptr<JetLike>> patterns;
            for (const Criteria::Condition &c : conditions)
                patterns.push_back(JetLike::compile(std::get<QString>(c.value)));
            for (const MessageRecord &r : m_records) {
                bool all = true;
                for (std::size_t i = 0; i < conditions.size() && all; ++i)
                    all = patterns[i] && patterns[i]->matches(operandText(r, conditions[i].operand));
                if (all)
                    expected.push_back(r.messnum);
            }
        }

        Recordset &rs = *m_recordset;
        std::vector<qint32> found;
        Recordset::FindResult result = rs.findFirst(criteria);
        if (!compiles) {
            if (result != Recordset::FindResult::Error || rs.lastError().isEmpty())
                return QStringLiteral("a refused pattern was run");
            return {};
        }
        while (result == Recordset::FindResult::Found) {
            found.push_back(rs.field(QStringLiteral("messnum")).toInt());
            if (qsizetype(found.size()) > m_records.size())
                return QStringLiteral("the find does not end");
            result = rs.findNext(criteria);
        }
        if (result == Recordset::FindResult::Error)
            return QStringLiteral("the store failed: ") + rs.lastError();
        if (found != expected)
            return QStringLiteral("found %1 records, the matcher accepts %2").arg(found.size()).arg(expected.size());
        return {};
    }

    QTemporaryDir m_dir;
    QString m_error;
    QList<MessageRecord> m_records;
    std::unique_ptr<Recordset> m_recordset;
    int m_changesBefore = 0;
};

// Pieces hostile terms are made of: query syntax, pattern syntax, quoting, control
// characters, text outside ASCII.
const char *const kPieces[] = {
    "a", "Red", "car", "clutch", " ", "  ", "'", "''", "\"", "*", "?", "#", "[", "]", "[!", "[a-", "z]", "!", "-",
    "&", "&amp;", ";", "--", "%", "_", "\\", "\t", "\n", "\r", "(", ")", ",", "=", "and", "or", "not", "like",
    "mid(messtitle,8)", "messnum", "' or '1'='1", "'); drop table veltra; --", "/*", "*/", "é", "ß", "İ", "ﬀ",
    "Σ", "\xF0\x9F\x98\x80", "0", "9", "1e3", ".5", "O'Neil",
};

QString randomTerm(QRandomGenerator &random)
{
    QString term;
    switch (random.bounded(10)) {
    case 0: { // raw bytes: invalid UTF-8 and NULs, as pasted from elsewhere
        QByteArray bytes(random.bounded(1, 40), Qt::Uninitialized);
        for (char &b : bytes)
            b = char(random.bounded(256));
        term = random.bounded(2) ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
        break;
    }
    case 1: { // UTF-16 units of any kind, lone surrogates included
        const int n = random.bounded(1, 20);
        for (int i = 0; i < n; ++i)
            term += QChar(char16_t(random.bounded(0x10000)));
        break;
    }
    default: {
        const int n = random.bounded(0, 12);
        for (int i = 0; i < n; ++i)
            term += QString::fromUtf8(kPieces[random.bounded(int(std::size(kPieces)))]);
        break;
    }
    }
    if (random.bounded(8) == 0)
        term.prepend(u'#');
    if (random.bounded(8) == 0)
        term += QChar(0);
    return term;
}

QStringList hostileTerms()
{
    QStringList terms = {
        QStringLiteral("'"),
        QStringLiteral("''"),
        QStringLiteral("'''"),
        QStringLiteral("\""),
        QStringLiteral("x' or messnum like '*"),
        QStringLiteral("x'; drop table veltra; --"),
        QStringLiteral("' and messdate like '*"),
        QStringLiteral("a' or 'a'='a"),
        QStringLiteral("[abc"),
        QStringLiteral("[z-a]"),
        QStringLiteral("[!]"),
        QStringLiteral("[]"),
        QStringLiteral("]["),
        QStringLiteral("*?#*[*]"),
        QStringLiteral("\"' or 1=1 --\""),
        QStringLiteral("a  b   c    d     e"),
        QStringLiteral("    "),
        QString(QChar(0)),
        QStringLiteral("#"),
        QStringLiteral("#-1"),
        QStringLiteral("#0"),
        QStringLiteral("#2147483648"),
        QStringLiteral("#1e999"),
        QStringLiteral("#3' or '1'='1"),
        QString::fromUtf8("\xff\xfe\xc3\x28\xe2\x82"),
        QString(10000, u'a'),
        QString(10000, u'*'),
        QString(10000, u'\''),
        QString(10000, u'['),
        QString(5000, u'"') + QStringLiteral("a"),
        QStringLiteral("*a").repeated(2500),
        QStringLiteral("a ").repeated(5000),
    };
    QString withNuls = QStringLiteral("red");
    withNuls += QChar(0);
    withNuls += QStringLiteral("' or '");
    terms << withNuls;
    return terms;
}

}

#ifdef VELTRA_LIBFUZZER

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Harness harness;
    if (!harness.error().isEmpty()) {
        std::fprintf(stderr, "fuzz_query: %s\n", qPrintable(harness.error()));
        std::abort();
    }
    const QString term = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString fault = harness.check(term);
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "fuzz_query: %s\n", qPrintable(fault));
        std::abort();
    }
    return 0;
}

#else

class FuzzQuery final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_harness = std::make_unique<Harness>();
        QVERIFY2(m_harness->error().isEmpty(), qPrintable(m_harness->error()));
    }

    void hostile()
    {
        for (const QString &term : hostileTerms()) {
            const QString fault = m_harness->check(term);
            QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("term %1: %2").arg(term.left(60), fault)));
        }
    }

    void random()
    {
        QRandomGenerator random(20240501); // fixed, so a failure can be repeated
        constexpr int kTerms = 4000;
        for (int i = 0; i < kTerms; ++i) {
            const QString term = randomTerm(random);
            const QString fault = m_harness->check(term);
            if (!fault.isEmpty()) {
                QString shown;
                for (const QChar c : term.left(80))
                    shown += c.isPrint() ? QString(c) : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
                QFAIL(qPrintable(QStringLiteral("term %1 (\"%2\"): %3").arg(i).arg(shown, fault)));
            }
        }
    }

private:
    std::unique_ptr<Harness> m_harness;
};

QTEST_APPLESS_MAIN(FuzzQuery)

#include "fuzz_query.moc"

#endif
