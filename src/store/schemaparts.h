// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>

#include <functional>
#include <optional>
#include <vector>

class SqliteDb;

// The tables, indexes and triggers that a store kept beside the messages (the search index,
// the conversations) adds to the file, all named with one prefix: how the file's are told
// from the ones the program makes, and how they are dropped.
namespace SchemaParts {

// A part as its CREATE statement; SQLite keeps the text as given, so the file's copy can be
// compared with it.
struct Part
{
    QByteArray name;
    QByteArray sql;
};

// What the file holds of a store.
struct Found
{
    bool any = false;      // any part of it
    std::size_t whole = 0; // parts exactly as the program makes them
    std::size_t owned = 0; // others that belong to those (an FTS5 table's own tables)
    bool foreign = false;  // a part changed, or one the store does not make
};
// The parts named by `glob` compared with `expected`; `owned` tells the names of their own
// tables. Nullopt when the schema cannot be read.
std::optional<Found> find(SqliteDb &db, const char *glob, const std::vector<Part> &expected,
                          const std::function<bool(const QByteArray &name)> &owned = {});

// The names of the parts in the file, by kind.
struct Names
{
    QList<QByteArray> triggers;
    QList<QByteArray> virtualTables;
    QList<QByteArray> tables;
};
std::optional<Names> names(SqliteDb &db, const char *glob);

QByteArray quoted(const QByteArray &name);
// DROP `kind` IF EXISTS of each; false at the first that fails.
bool drop(SqliteDb &db, const QList<QByteArray> &names, const char *kind);

}
