// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/criteria.h"

#include <array>
#include <limits>

namespace Criteria {

namespace {

struct FieldName
{
    Field field;
    const char *name;
};
constexpr std::array<FieldName, 5> kFields{{
    {Field::MessNum, "messnum"},
    {Field::MessAuthor, "messauthor"},
    {Field::MessDate, "messdate"},
    {Field::MessTitle, "messtitle"},
    {Field::Message, "message"},
}};

constexpr qsizetype kQuoteLimit = 30; // longest piece of the criteria echoed in an error

struct Token
{
    enum Kind { End, Word, Number, Text, Open, Close, Comma, Equals };
    Kind kind = End;
    qsizetype position = 0;
    QString text;      // Word: as written; Text: the value with '' undone
    qint64 number = 0; // Number, clamped just past the 32-bit range
    bool negative = false;
};

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isWordStart(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

QString quoted(QStringView text)
{
    QString shown = text.left(kQuoteLimit).toString();
    for (QChar &c : shown) {
        if (c.unicode() < 0x20)
            c = u'?';
    }
    if (text.size() > kQuoteLimit)
        shown += QStringLiteral("...");
    return u'"' + shown + u'"';
}

class Parser final
{
public:
    explicit Parser(const QString &text)
        : m_text(text)
    {
    }

    ParseResult run()
    {
        Expression expression;
        if (!advance())
            return failure();
        if (m_token.kind == Token::End)
            return fail(QStringLiteral("the criteria are empty"));
        while (true) {
            Condition condition;
            if (!parseCondition(&condition))
                return failure();
            expression.conditions.push_back(std::move(condition));
            if (m_token.kind == Token::End)
                break;
            if (!isKeyword("and"))
                return fail(QStringLiteral("expected \"and\" or the end of the criteria at %1").arg(where()));
            if (!advance())
                return failure();
        }
        ParseResult result;
        result.expression = std::move(expression);
        return result;
    }

private:
    ParseResult failure() const
    {
        ParseResult result;
        result.error = m_error;
        return result;
    }

    ParseResult fail(const QString &why)
    {
        setError(why);
        return failure();
    }

    bool setError(const QString &why)
    {
        m_error = QStringLiteral("Syntax error in criteria: ") + why;
        return false;
    }

    QString where() const
    {
        if (m_token.kind == Token::End)
            return QStringLiteral("the end");
        return QStringLiteral("position %1 (%2)").arg(m_token.position + 1).arg(quoted(QStringView(m_text).mid(m_token.position)));
    }

    bool isKeyword(const char *word) const
    {
        return m_token.kind == Token::Word && m_token.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }

    bool parseCondition(Condition *condition)
    {
        if (!parseOperand(&condition->operand))
            return false;
        if (isKeyword("like") || isKeyword("hasword")) {
            const bool like = isKeyword("like");
            if (!advance())
                return false;
            if (m_token.kind != Token::Text)
                return setError(QStringLiteral("\"%1\" needs a text in apostrophes at %2")
                                    .arg(like ? QStringLiteral("like") : QStringLiteral("hasword"), where()));
            condition->op = like ? Operator::Like : Operator::HasWord;
            condition->value = m_token.text;
            return advance();
        }
        if (m_token.kind != Token::Equals)
            return setError(QStringLiteral("expected \"like\", \"hasword\" or \"=\" at %1").arg(where()));
        if (!advance())
            return false;
        condition->op = Operator::Equal;
        if (m_token.kind == Token::Text) {
            condition->value = m_token.text;
        } else if (m_token.kind == Token::Number) {
            const qint64 n = m_token.negative ? -m_token.number : m_token.number;
            if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
                return setError(QStringLiteral("the number at %1 is out of range").arg(where()));
            condition->value = qint32(n);
        } else {
            return setError(QStringLiteral("\"=\" needs a number or a text at %1").arg(where()));
        }
        return advance();
    }

    bool parseOperand(Operand *operand)
    {
        if (m_token.kind != Token::Word)
            return setError(QStringLiteral("expected a field name at %1").arg(where()));
        if (m_token.text.compare(QLatin1String("mid"), Qt::CaseInsensitive) == 0) {
            if (!advance())
                return false;
            if (m_token.kind != Token::Open)
                return setError(QStringLiteral("expected \"(\" after \"mid\" at %1").arg(where()));
            if (!advance() || !parseField(&operand->field))
                return false;
            if (m_token.kind != Token::Comma)
                return setError(QStringLiteral("expected \",\" in \"mid\" at %1").arg(where()));
            if (!advance())
                return false;
            if (m_token.kind != Token::Number || m_token.negative)
                return setError(QStringLiteral("\"mid\" needs a whole number at %1").arg(where()));
            if (m_token.number < 1 || m_token.number > std::numeric_limits<qint32>::max())
                return setError(QStringLiteral("the start of \"mid\" at %1 must be from 1 to %2")
                                    .arg(where()).arg(std::numeric_limits<qint32>::max()));
            operand->midStart = qint32(m_token.number);
            if (!advance())
                return false;
            if (m_token.kind != Token::Close)
                return setError(QStringLiteral("expected \")\" to end \"mid\" at %1").arg(where()));
            return advance();
        }
        return parseField(&operand->field);
    }

    bool parseField(Field *field)
    {
        if (m_token.kind != Token::Word)
            return setError(QStringLiteral("expected a field name at %1").arg(where()));
        const auto known = fieldFromName(m_token.text);
        if (!known)
            return setError(QStringLiteral("unknown field %1").arg(quoted(m_token.text)));
        *field = *known;
        return advance();
    }

    // Reads the next token into m_token.
    bool advance()
    {
        const qsizetype n = m_text.size();
        while (m_pos < n && isBlank(m_text[m_pos]))
            ++m_pos;
        m_token = Token();
        m_token.position = m_pos;
        if (m_pos == n)
            return true;
        const QChar c = m_text[m_pos];
        switch (c.unicode()) {
        case '(':
            ++m_pos;
            m_token.kind = Token::Open;
            return true;
        case ')':
            ++m_pos;
            m_token.kind = Token::Close;
            return true;
        case ',':
            ++m_pos;
            m_token.kind = Token::Comma;
            return true;
        case '=':
            ++m_pos;
            m_token.kind = Token::Equals;
            return true;
        case '\'':
            return readText();
        default:
            break;
        }
        if (isWordStart(c)) {
            const qsizetype start = m_pos;
            while (m_pos < n && (isWordStart(m_text[m_pos]) || isDigit(m_text[m_pos])))
                ++m_pos;
            m_token.kind = Token::Word;
            m_token.text = m_text.mid(start, m_pos - start);
            return true;
        }
        if (isDigit(c) || (c == u'-' && m_pos + 1 < n && isDigit(m_text[m_pos + 1])))
            return readNumber();
        return setError(QStringLiteral("unexpected character at %1").arg(where()));
    }

    bool readText()
    {
        const qsizetype n = m_text.size();
        QString value;
        for (qsizetype i = m_pos + 1; i < n; ++i) {
            if (m_text[i] != u'\'') {
                value.append(m_text[i]);
                continue;
            }
            if (i + 1 < n && m_text[i + 1] == u'\'') {
                value.append(u'\'');
                ++i;
                continue;
            }
            m_token.kind = Token::Text;
            m_token.text = std::move(value);
            m_pos = i + 1;
            return true;
        }
        return setError(QStringLiteral("the text that starts at %1 has no closing apostrophe").arg(where()));
    }

    bool readNumber()
    {
        const qsizetype n = m_text.size();
        m_token.kind = Token::Number;
        if (m_text[m_pos] == u'-') {
            m_token.negative = true;
            ++m_pos;
        }
        constexpr qint64 kPastRange = qint64(std::numeric_limits<qint32>::max()) + 2;
        qint64 value = 0;
        while (m_pos < n && isDigit(m_text[m_pos])) {
            value = std::min(kPastRange, value * 10 + (m_text[m_pos].unicode() - '0'));
            ++m_pos;
        }
        m_token.number = value;
        // "12abc" or "1.5" is not a number followed by something else.
        if (m_pos < n && (isWordStart(m_text[m_pos]) || m_text[m_pos] == u'.'))
            return setError(QStringLiteral("malformed number at %1").arg(where()));
        return true;
    }

    const QString &m_text;
    qsizetype m_pos = 0;
    Token m_token;
    QString m_error;
};

} // namespace

ParseResult parse(const QString &criteria)
{
    return Parser(criteria).run();
}

const char *columnName(Field field)
{
    for (const auto &f : kFields) {
        if (f.field == field)
            return f.name;
    }
    return "";
}

std::optional<Field> fieldFromName(QStringView name)
{
    for (const auto &f : kFields) {
        if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0)
            return f.field;
    }
    return std::nullopt;
}

}
