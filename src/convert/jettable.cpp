// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/jettable.h"

#include <array>

namespace {

using Kind = JetFrame::ColumnKind;

// The kind of column each field, in MessageFields' order, reads best from.
constexpr std::array<Kind, MessageFields::kCount> kFieldKinds = {Kind::Integer, Kind::Text, Kind::Date, Kind::Text,
                                                                 Kind::Memo};

struct Suggestion
{
    JetColumns columns;
    int fitting = 0;
};

std::optional<Suggestion> suggest(const JetTable &table)
{
    QList<const JetTable::Column *> usable;
    for (const JetTable::Column &column : table.columns) {
        if (column.kind != Kind::Binary)
            usable << &column;
    }
    if (usable.isEmpty())
        return std::nullopt;
    Suggestion suggestion;
    suggestion.columns.table = table.name;
    QList<const JetTable::Column *> taken;
    std::array<bool, MessageFields::kCount> chosen{};
    const auto take = [&](std::size_t field, const JetTable::Column *column, bool fits) {
        suggestion.columns.columns[field] = column->name;
        chosen[field] = true;
        taken << column;
        suggestion.fitting += fits ? 1 : 0;
    };
    // Own names first, so that no field takes a column another field is named after.
    for (std::size_t field = 0; field < chosen.size(); ++field) {
        for (const JetTable::Column *column : usable) {
            if (!chosen[field] && column->name.compare(QLatin1String(MessageFields::kNames[field]), Qt::CaseInsensitive) == 0)
                take(field, column, true);
        }
    }
    for (std::size_t field = 0; field < chosen.size(); ++field) {
        for (const JetTable::Column *column : usable) {
            if (!chosen[field] && !taken.contains(column) && column->kind == kFieldKinds[field])
                take(field, column, true);
        }
    }
    for (std::size_t field = 0; field < chosen.size(); ++field) {
        for (const JetTable::Column *column : usable) {
            if (!chosen[field] && !taken.contains(column))
                take(field, column, false);
        }
        if (!chosen[field])
            take(field, usable.first(), false);
    }
    return suggestion;
}

}

QStringList JetTable::fieldColumns() const
{
    QStringList names;
    for (const Column &column : columns) {
        if (column.kind != Kind::Binary)
            names << column.name;
    }
    return names;
}

std::optional<JetColumns> JetTable::suggestedColumns() const
{
    const std::optional<Suggestion> suggestion = suggest(*this);
    return suggestion ? std::optional(suggestion->columns) : std::nullopt;
}

int JetTable::fittingFields() const
{
    const std::optional<Suggestion> suggestion = suggest(*this);
    return suggestion ? suggestion->fitting : -1;
}

const JetTable *JetTable::example(const QList<JetTable> &tables)
{
    const JetTable *best = nullptr;
    int bestFit = -1;
    for (const JetTable &table : tables) {
        if (const int fit = table.fittingFields(); fit > bestFit) {
            best = &table;
            bestFit = fit;
        }
    }
    return best;
}
