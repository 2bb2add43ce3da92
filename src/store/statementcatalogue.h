// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/messagefields.h"
#include "store/sqlitestatement.h"

#include <QByteArray>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class SqliteDb;

// The recordset's fixed statements over its message table, each prepared when first
// needed and kept: a walk over thousands of records prepares nothing more. Every failure
// to prepare, bind or run one is told to the failure handler, the reason left in the
// connection.
class StatementCatalogue final
{
public:
    enum Slot {
        First,
        Last,
        Next,
        Previous,
        Count,
        Exists,
        ReadRecord,
        ReadHeading,
        Delete,
        Insert,
        InsertAt,
        LastNumbered,
        NumberStored,
        Predecessor,
        Successor,
        Highest,
        ReadField, // + column
        Update = ReadField + MessageFields::kCount, // + column
        SlotCount = Update + MessageFields::kCount
    };

    using FailureHandler = std::function<void()>;

    explicit StatementCatalogue(SqliteDb &db);

    void setFailureHandler(FailureHandler handler);
    // The table, quoted; statements prepared for another one are dropped.
    void setTable(const QByteArray &quotedTable);
    // Finalizes every statement, before the connection closes.
    void clear();

    // The statement of a slot, prepared; nullptr on failure.
    SqliteStatement *statement(int slot);
    // For a failure met running a statement: tells the failure handler; always false.
    bool failed();

    // Runs a statement that yields at most one row: false on failure, *found empty when
    // there is no row. `argument`, when set, is bound to ?1.
    bool queryId(int slot, std::optional<qint64> argument, std::optional<qint64> *found);
    // For the statements that yield a rowid and a number.
    struct Numbered
    {
        qint64 id = 0;
        qint64 number = 0;
        bool whole = true; // the number is a whole number, not text or a fraction
    };
    bool queryNumbered(int slot, std::optional<qint64> argument, std::optional<Numbered> *found);

private:
    QByteArray sqlFor(int slot) const;
    template<typename T, typename Read>
    bool queryRow(int slot, std::optional<qint64> argument, std::optional<T> *found, Read read);

    SqliteDb &m_db;
    QByteArray m_table;
    FailureHandler m_onFailure;
    std::array<std::unique_ptr<SqliteStatement>, SlotCount> m_statements;
};
