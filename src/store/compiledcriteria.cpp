// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/compiledcriteria.h"

#include "store/criteria.h"
#include "store/jetlike.h"
#include "store/sqlitestatement.h"

#include <QRegularExpression>

#include <variant>

namespace {

// The decimal text SQLite gives an integer: only such a text can equal a stored number.
std::optional<qint32> canonicalInteger(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^-?(0|[1-9][0-9]{0,9})$"));
    if (text == QStringLiteral("-0") || !form.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint32 n = text.toInt(&ok);
    return ok ? std::optional<qint32>(n) : std::nullopt;
}

// Null, with *error set when asked for, for a pattern like cannot take.
std::unique_ptr<JetLike> likePattern(const QString &text, QString *error)
{
    QString patternError;
    auto pattern = JetLike::compile(text, &patternError);
    if (!pattern && error)
        *error = patternError;
    return pattern;
}

// A number compared with the number field, or a like pattern that is just the decimal
// text of one: a plain comparison, which can use the index on messnum. False, with
// *error set when asked for, for a condition that cannot be run.
bool plainNumber(const Criteria::Condition &condition, std::optional<qint32> *number, QString *error)
{
    using namespace Criteria;
    if (condition.operand.field != Field::MessNum || condition.operand.midStart != 0)
        return true;
    if (const auto *n = std::get_if<qint32>(&condition.value)) {
        *number = *n;
        return true;
    }
    const QString &text = std::get<QString>(condition.value);
    std::optional<QString> plain = text;
    if (condition.op == Operator::Like) {
        const auto pattern = likePattern(text, error);
        if (!pattern)
            return false;
        plain = pattern->literalText();
    }
    if (plain)
        *number = canonicalInteger(*plain);
    if (!*number && condition.op == Operator::Equal) {
        if (error)
            *error = QStringLiteral("Data type mismatch in criteria: messnum is a number, not the text \"%1\"")
                         .arg(text.left(30));
        return false;
    }
    return true;
}

// What the field is matched with by the like function. Null, with *error set when asked
// for, for a malformed like pattern.
std::unique_ptr<JetLike> conditionPattern(const Criteria::Condition &condition, QString *error)
{
    if (condition.op == Criteria::Operator::Like)
        return likePattern(std::get<QString>(condition.value), error);
    if (condition.op == Criteria::Operator::HasWord)
        return JetLike::wholeWords(std::get<QString>(condition.value));
    if (const auto *n = std::get_if<qint32>(&condition.value))
        return JetLike::literal(QString::number(*n));
    // "=" on text compares without regard to case, as like does.
    return JetLike::literal(std::get<QString>(condition.value));
}

} // namespace

CompiledCriteria::CompiledCriteria() = default;
CompiledCriteria::~CompiledCriteria() = default;

std::unique_ptr<CompiledCriteria> CompiledCriteria::compile(const QString &criteria, QString *error)
{
    using namespace Criteria;
    const ParseResult parsed = parse(criteria);
    if (!parsed.expression) {
        if (error)
            *error = parsed.error;
        return nullptr;
    }

    std::unique_ptr<CompiledCriteria> compiled(new CompiledCriteria);
    compiled->m_text = criteria;
    QByteArray &sql = compiled->m_sql;
    auto bindNumber = [&](qint64 n) { compiled->m_parameters.push_back(Parameter{n, nullptr}); };
    auto bindPattern = [&](std::unique_ptr<JetLike> pattern) {
        compiled->m_parameters.push_back(Parameter{0, pattern.get()});
        compiled->m_patterns.push_back(std::move(pattern));
    };

    sql = "(";
    bool firstCondition = true;
    for (const Condition &condition : parsed.expression->conditions) {
        if (!firstCondition)
            sql += " AND ";
        firstCondition = false;

        const QByteArray column = QByteArray("\"") + columnName(condition.operand.field) + "\"";
        std::optional<qint32> number;
        if (!plainNumber(condition, &number, error))
            return nullptr;
        if (number) {
            sql += column + " = ?";
            bindNumber(*number);
            continue;
        }

        std::unique_ptr<JetLike> pattern = conditionPattern(condition, error);
        if (!pattern)
            return nullptr;
        sql += JetLike::kSqlFunction;
        sql += "(?, ";
        bindPattern(std::move(pattern));
        if (condition.operand.midStart > 0) {
            sql += "substr(" + column + ", ?)";
            bindNumber(condition.operand.midStart);
        } else {
            sql += column;
        }
        sql += ")";
    }
    sql += ")";
    return compiled;
}

QString CompiledCriteria::text() const
{
    return m_text;
}

const QByteArray &CompiledCriteria::sql() const
{
    return m_sql;
}

int CompiledCriteria::parameterCount() const
{
    return int(m_parameters.size());
}

bool CompiledCriteria::bind(SqliteStatement &statement, int firstIndex) const
{
    int index = firstIndex;
    for (const Parameter &p : m_parameters) {
        const bool ok = p.pattern
            ? statement.bindPointer(index, const_cast<JetLike *>(p.pattern), JetLike::kPointerType)
            : statement.bindInt64(index, p.number);
        if (!ok)
            return false;
        ++index;
    }
    return true;
}
