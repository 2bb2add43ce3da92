// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class JetLike;
class SqliteStatement;

// A criteria string (see criteria.h) turned into an SQL condition over table veltra.
// The SQL holds only fixed text and "?" placeholders: every value of the criteria,
// patterns included, is bound, so no text of a criterion ever reaches the SQL parser.
// Like patterns are compiled once here and handed to the jetlike SQL function as bound
// pointers, so the object must outlive every statement it has been bound to.
class CompiledCriteria final
{
public:
    // Null, with *error set for the user, when the criteria are malformed.
    static std::unique_ptr<CompiledCriteria> compile(const QString &criteria, QString *error = nullptr);

    ~CompiledCriteria();
    CompiledCriteria(const CompiledCriteria &) = delete;
    CompiledCriteria &operator=(const CompiledCriteria &) = delete;

    QString text() const;
    // A condition to place inside "WHERE ... ", wrapped in parentheses.
    const QByteArray &sql() const;
    int parameterCount() const;
    // Binds the parameters to the placeholders from firstIndex on.
    bool bind(SqliteStatement &statement, int firstIndex) const;

private:
    CompiledCriteria();

    struct Parameter
    {
        qint64 number = 0;
        const JetLike *pattern = nullptr; // set for a pattern, else the number is bound
    };

    QString m_text;
    QByteArray m_sql;
    std::vector<Parameter> m_parameters;
    std::vector<std::unique_ptr<JetLike>> m_patterns;
};
