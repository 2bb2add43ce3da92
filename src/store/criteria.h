// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <variant>
#include <vector>

// Criteria strings in the Jet filter syntax the program's finds are written in:
//
//   criteria  := condition { "and" condition }
//   condition := operand "like" string | operand "=" (number | string)
//              | operand "hasword" string
//   operand   := field | "mid" "(" field "," integer ")"
//   field     := messnum | messauthor | messdate | messtitle | message
//   string    := "'" { any character but "'" | "''" } "'"
//
// Keywords and field names are case-insensitive and blanks may stand between tokens.
// Everything else ("or", "not", ";", comments, other fields) is refused.
namespace Criteria {

enum class Field { MessNum, MessAuthor, MessDate, MessTitle, Message };
// Like: the Jet pattern; Equal: the whole value; HasWord: the value's words stand in the
// field as whole words, one after another (see JetLike::wholeWords).
enum class Operator { Like, Equal, HasWord };

struct Operand
{
    Field field = Field::MessNum;
    qint32 midStart = 0; // 0: the whole field; n >= 1: mid(field, n), from the n-th character
};

struct Condition
{
    Operand operand;
    Operator op = Operator::Like;
    std::variant<qint32, QString> value; // a number only after "="
};

// All conditions must hold.
struct Expression
{
    std::vector<Condition> conditions;
};

struct ParseResult
{
    std::optional<Expression> expression;
    QString error; // set when there is no expression, e.g. "Syntax error in criteria: ..."
};

ParseResult parse(const QString &criteria);

// The column of table veltra that holds a field.
const char *columnName(Field field);
std::optional<Field> fieldFromName(QStringView name);

}
