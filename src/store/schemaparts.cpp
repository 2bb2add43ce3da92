// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/schemaparts.h"

#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"

#include <algorithm>

namespace SchemaParts {

std::optional<Found> find(SqliteDb &db, const char *glob, const std::vector<Part> &expected,
                          const std::function<bool(const QByteArray &name)> &owned)
{
    SqliteStatement s;
    if (!s.prepare(db, "SELECT name, sql FROM sqlite_schema WHERE name GLOB ?1", false) || !s.bindText(1, QByteArray(glob)))
        return std::nullopt;
    Found found;
    SqliteStatement::Step step;
    while ((step = s.step()) == SqliteStatement::Step::Row) {
        found.any = true;
        const QByteArray name = s.columnText(0).toUtf8();
        const auto it = std::find_if(expected.begin(), expected.end(), [&](const Part &p) { return p.name == name; });
        if (it != expected.end()) {
            if (it->sql == s.columnText(1).toUtf8())
                ++found.whole;
            else
                found.foreign = true;
        } else if (owned && owned(name)) {
            ++found.owned;
        } else {
            found.foreign = true;
        }
    }
    return step == SqliteStatement::Step::Done ? std::optional(found) : std::nullopt;
}

std::optional<Names> names(SqliteDb &db, const char *glob)
{
    SqliteStatement s;
    if (!s.prepare(db, "SELECT type, name, sql FROM sqlite_schema WHERE name GLOB ?1 AND type IN ('table', 'trigger')", false)
        || !s.bindText(1, QByteArray(glob)))
        return std::nullopt;
    Names found;
    SqliteStatement::Step step;
    while ((step = s.step()) == SqliteStatement::Step::Row) {
        const QByteArray name = s.columnText(1).toUtf8();
        if (s.columnText(0) == QLatin1String("trigger"))
            found.triggers << name;
        else if (s.columnText(2).startsWith(QLatin1String("CREATE VIRTUAL TABLE"), Qt::CaseInsensitive))
            found.virtualTables << name;
        else
            found.tables << name;
    }
    return step == SqliteStatement::Step::Done ? std::optional(found) : std::nullopt;
}

QByteArray quoted(const QByteArray &name)
{
    return '"' + QByteArray(name).replace('"', "\"\"") + '"';
}

bool drop(SqliteDb &db, const QList<QByteArray> &names, const char *kind)
{
    for (const QByteArray &name : names) {
        if (!db.exec(QByteArray(QByteArray("DROP ") + kind + " IF EXISTS " + quoted(name)).constData()))
            return false;
    }
    return true;
}

}
