// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/settingsfile.h"

#include "base/itemreader.h"
#include "base/listfile.h"
#include "base/vbnumber.h"

#include <QFile>
#include <QStringList>

#include <cmath>
#include <limits>

namespace {

constexpr int kValueCount = 12;

QString boolText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// A position or size the window could not take ends the reading like a bad number.
std::optional<float> windowCoordinate(const QString &item)
{
    const auto value = VbNumber::toSingle(item);
    if (!value || std::fabs(*value) > float(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return value;
}

std::optional<qint16> stateValue(std::optional<qint16> value)
{
    if (!value || *value < 0 || *value > 2)
        return std::nullopt;
    return value;
}

// Converts item `index` (0-based) into its field; false when the reading must stop.
bool take(SettingsValues &values, int index, const QString &item)
{
    switch (index) {
    case 0:
    case 1:
    case 2:
    case 3: {
        const auto value = windowCoordinate(item);
        if (!value)
            return false;
        float *const bounds[] = {&values.top, &values.left, &values.width, &values.height};
        *bounds[index] = *value;
        return true;
    }
    case 4:
        values.searchField = item;
        return true;
    case 5:
        values.wildcard = item;
        return true;
    case 6: {
        const auto value = VbNumber::toSingle(item);
        if (!value)
            return false;
        values.panelTop = *value;
        return true;
    }
    case 7: {
        const auto value = stateValue(VbNumber::toInteger(item));
        if (!value)
            return false;
        values.windowState = *value;
        return true;
    }
    case 8:
    case 9:
    case 10: {
        const auto value = VbNumber::toBoolean(item);
        if (!value)
            return false;
        bool *const options[] = {&values.startPage, &values.autoUpdate, &values.minTray};
        *options[index - 8] = *value;
        return true;
    }
    case 11: {
        const auto value = stateValue(VbNumber::roundToInt16(VbNumber::leadingNumber(item)));
        if (!value)
            return false;
        values.noWarning = *value;
        return true;
    }
    }
    return false;
}

}

namespace SettingsFile {

ReadResult read(const QString &path)
{
    ReadResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    ItemReader reader(&file);
    while (result.count < kValueCount) {
        const auto item = reader.next();
        if (!item || !take(result.values, result.count, *item))
            break;
        ++result.count;
    }
    return result;
}

QByteArray toBytes(const SettingsValues &values)
{
    const QStringList lines = {
        VbNumber::toText(values.top),
        VbNumber::toText(values.left),
        VbNumber::toText(values.width),
        VbNumber::toText(values.height),
        values.searchField,
        values.wildcard,
        VbNumber::toText(values.panelTop),
        VbNumber::toText(qint32(values.windowState)),
        boolText(values.startPage),
        boolText(values.autoUpdate),
        boolText(values.minTray),
        VbNumber::toText(qint32(values.noWarning)),
    };
    return ListFile::toBytes(lines);
}

bool write(const QString &path, const SettingsValues &values, QString *error)
{
    return ListFile::writeBytes(path, toBytes(values), error);
}

QString searchFieldLine(bool body, bool author, bool subject)
{
    if (body)
        return QStringLiteral("Body");
    if (author)
        return QStringLiteral("Author");
    Q_UNUSED(subject) // what is left is "Subject", also the design-time choice
    return QStringLiteral("Subject");
}

QString wildcardLine(bool preface, bool append, bool bracket, bool none)
{
    if (preface)
        return QStringLiteral("P");
    if (append)
        return QStringLiteral("A");
    if (bracket)
        return QStringLiteral("B");
    if (none)
        return QStringLiteral("N");
    return QStringLiteral("B");
}

}
