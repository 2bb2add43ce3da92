// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

class SqliteDb;

namespace BenchData {
// A 100,000-message database made by the demo generator (seed 1), written once under the
// build folder and reused by every benchmark. Returns its path, or an empty string.
// Benchmarks never open it for writing: each works on a copy of its own (copyDatabase).
QString database100k();
// The same archive carried on to message 1,000,000 (about 3 GB), written once beside it.
QString database1m();
// A real-text archive (MessageGenerator with a Vocabulary, seed 1) of `messages` message
// numbers, its words taken from the mail under `mailFolder` when that folder is there and
// from the shipped word list otherwise. Written once, with the time it took and the size
// printed; returns its path, or an empty string.
QString realTextDatabase(int messages, const QString &mailFolder);
// A copy of `source` with a complete substring index, built once beside it and rebuilt
// when the index no longer reads as whole (as after a change of its form). Returns its
// path, or an empty string. Like the source, only to be copied.
QString indexedDatabase(const QString &source);
// Where indexedDatabase() keeps that copy.
QString indexedDatabasePath(const QString &source);
// Copies a database page by page through SQLite's backup API (the source only read), to
// a new file `target` (replaced if there).
bool copyDatabase(const QString &source, const QString &target);
// The bodies of a database's messages in rowid order, one a line (line breaks inside a
// body made spaces), UTF-8: what a text search tool reads for the same search. Written
// once beside the database; returns its path, or an empty string.
QString bodyDump(const QString &database);
// The same for the subjects.
QString subjectDump(const QString &database);
// The substring index in a database file: "absent", "complete", "partial (records up to
// rowid X of Y)" or "broken"; with `building`, "building (...)" instead of partial, and
// with `inUse`, whether the window's finds use it.
QString indexState(const QString &database, bool building = false, std::optional<bool> inUse = std::nullopt);
// The sqlite3 program's own time ("Run Time: real ...") for select count(*) from veltra
// where `column` like '%text%', on the file opened read-only; -1 when it did not run.
double sqliteCliCountMs(const QString &path, const char *column, const QString &text, qint64 *count);
// The sqlite3 program's own time for `sql` on the file opened read-only, its output (when
// asked for) in `output`; -1 when it did not run.
double sqliteCliMs(const QString &path, const QString &sql, QString *output = nullptr);
// A conversation of the store picked by its size: the one nearest `size` messages, the
// largest when 0. The subject of its last record, and its size; none without a store.
struct Conversation
{
    QString title;
    qint64 size = 0;
};
std::optional<Conversation> pickConversation(SqliteDb &db, qint64 size);
// The calling thread's processor time in milliseconds: the machine may be shared, and wall
// time then counts others' work too.
double threadCpuMs();
// ripgrep counting the lines of the dump that hold the word, any case (rg -c -i): the wall
// time around the process, or -1; the count in *count.
double ripgrepMs(const QString &dump, const QString &word, qint64 *count);
// Median of a list of figures.
double median(QList<double> values);
// Waits for the window's events and handles them, at most `ms` when none come: unlike
// processEvents with a time limit, it sleeps rather than spins while waiting, so a
// benchmark's waiting leaves the cores to the work it measures.
void waitForEvents(int ms);
// One figure or text a line, "name: value unit", flushed at once.
void print(const char *name, double value, const char *unit);
void printText(const char *name, const QString &value);
}
