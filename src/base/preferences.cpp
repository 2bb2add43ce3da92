// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/preferences.h"

#include "base/listfile.h"
#include "base/zoomsteps.h"

#include <QFile>
#include <QStringList>
#include <QUrl>

#include <limits>
#include <optional>

namespace {

const QByteArray kHeader = QByteArrayLiteral("[Veltra Knowledgebase preferences]");
constexpr int kMaxColumns = 8;
constexpr int kMaxColumnWidth = 10000;
// Larger than any screen: a window of a damaged file is refused rather than shrunk.
constexpr int kMaxWindowExtent = 100000;
// Larger than any preferences file this program writes: a huge file is not one of them.
constexpr qint64 kMaxFileSize = 64 * 1024;

std::optional<int> wholeNumber(const QByteArray &text, int low, int high)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

// "left,top,width,height": a size of at least a pixel, nothing past any screen there is.
std::optional<QRect> windowRect(const QByteArray &value)
{
    const QList<QByteArray> items = value.split(',');
    if (items.size() != 4)
        return std::nullopt;
    const auto left = wholeNumber(items.at(0), -kMaxWindowExtent, kMaxWindowExtent);
    const auto top = wholeNumber(items.at(1), -kMaxWindowExtent, kMaxWindowExtent);
    const auto width = wholeNumber(items.at(2), 1, kMaxWindowExtent);
    const auto height = wholeNumber(items.at(3), 1, kMaxWindowExtent);
    if (!left || !top || !width || !height)
        return std::nullopt;
    return QRect(*left, *top, *width, *height);
}

// The proxy's host and user name may hold letters beyond ASCII: they are written as UTF-8
// with everything but letters, digits and "-._~:@[]" percent-encoded, so the file stays ASCII.
const QByteArray kKeptAsIs = QByteArrayLiteral(":@[]");
constexpr qsizetype kMaxProxyText = 255;

QByteArray encodedText(const QString &text)
{
    return QUrl::toPercentEncoding(text, kKeptAsIs);
}

// None when the value cannot be taken: not ASCII, not UTF-8 once decoded, a control character.
std::optional<QString> decodedText(const QByteArray &value)
{
    for (const char c : value) {
        if (uchar(c) < 0x20 || uchar(c) >= 0x7f)
            return std::nullopt;
    }
    const QByteArray bytes = QByteArray::fromPercentEncoding(value);
    const QString text = QString::fromUtf8(bytes);
    if (bytes.size() > kMaxProxyText || text.toUtf8() != bytes)
        return std::nullopt;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return std::nullopt;
    }
    return text;
}

std::optional<ProxySetting::Mode> proxyMode(const QByteArray &value)
{
    if (value == "system")
        return ProxySetting::Mode::System;
    if (value == "none")
        return ProxySetting::Mode::None;
    if (value == "manual")
        return ProxySetting::Mode::Manual;
    return std::nullopt;
}

QString proxyModeName(ProxySetting::Mode mode)
{
    switch (mode) {
    case ProxySetting::Mode::None:
        return QStringLiteral("none");
    case ProxySetting::Mode::Manual:
        return QStringLiteral("manual");
    case ProxySetting::Mode::System:
        break;
    }
    return QStringLiteral("system");
}

// A host as the proxy's address: a name, or an IPv4 or IPv6 address (without brackets).
bool usableHost(const QString &host)
{
    if (host.isEmpty())
        return false;
    QUrl url;
    url.setHost(host, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty();
}

}

namespace PreferencesFile {

ReadResult parse(const QByteArray &bytes)
{
    ReadResult result;
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.isEmpty() || lines.first().trimmed() != kHeader) {
        result.kind = Kind::Damaged;
        return result;
    }
    Preferences values;
    std::optional<int> format;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype equals = line.indexOf('=');
        if (line.isEmpty() || equals <= 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (key == "Format") {
            format = wholeNumber(value, 1, std::numeric_limits<int>::max());
        } else if (key == "Window") {
            values.window = windowRect(value).value_or(QRect());
        } else if (key == "PanelShare") {
            bool ok = false;
            const double share = value.toDouble(&ok);
            values.panelShare = ok && share >= 0 && share <= 1 ? share : 0;
        } else if (key == "ResultColumns") {
            QList<int> widths;
            const QList<QByteArray> items = value.split(',');
            for (const QByteArray &item : items) {
                const auto width = wholeNumber(item, 1, kMaxColumnWidth);
                if (!width || items.size() > kMaxColumns) {
                    widths.clear();
                    break;
                }
                widths << *width;
            }
            values.columnWidths = widths;
        } else if (key == "Zoom") {
            values.zoomPercent = wholeNumber(value, ZoomSteps::kSmallest, ZoomSteps::kLargest).value_or(values.zoomPercent);
        } else if (key == "OpenOnLastMessage") {
            values.openOnLastMessage = wholeNumber(value, 0, 1).value_or(int(values.openOnLastMessage)) == 1;
        } else if (key == "WholeWords") {
            values.wholeWords = wholeNumber(value, 0, 1).value_or(int(values.wholeWords)) == 1;
        } else if (key == "NotifyNewMessages") {
            values.notifyNew = wholeNumber(value, 0, 1).value_or(int(values.notifyNew)) == 1;
        } else if (key == "LastMessage") {
            values.lastMessage = wholeNumber(value, 0, std::numeric_limits<qint32>::max()).value_or(values.lastMessage);
        } else if (key == "ProxyMode") {
            values.proxy.mode = proxyMode(value).value_or(values.proxy.mode);
        } else if (key == "ProxyHost") {
            const auto host = decodedText(value);
            values.proxy.host = host && (host->isEmpty() || usableHost(*host)) ? *host : QString();
        } else if (key == "ProxyPort") {
            values.proxy.port = quint16(wholeNumber(value, 0, 65535).value_or(0));
        } else if (key == "ProxyUser") {
            values.proxy.user = decodedText(value).value_or(QString());
        }
    }
    // "This proxy" without a host or a port to reach it by is no choice: the default holds.
    if (values.proxy.mode == ProxySetting::Mode::Manual && (values.proxy.host.isEmpty() || values.proxy.port == 0))
        values.proxy.mode = ProxySetting::Mode::System;
    if (!format) {
        result.kind = Kind::Damaged;
    } else if (*format > kFormat) {
        result.kind = Kind::Newer;
    } else {
        result.kind = Kind::Read;
        result.values = values;
    }
    return result;
}

ReadResult read(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return {Preferences(), Kind::Damaged};
    return parse(file.readAll());
}

QByteArray toBytes(const Preferences &values)
{
    QStringList widths;
    for (const int width : values.columnWidths)
        widths << QString::number(width);
    const QStringList lines{
        QString::fromLatin1(kHeader),
        QStringLiteral("Format=%1").arg(kFormat),
        values.window.isNull() ? QStringLiteral("Window=")
                               : QStringLiteral("Window=%1,%2,%3,%4")
                                     .arg(values.window.left())
                                     .arg(values.window.top())
                                     .arg(values.window.width())
                                     .arg(values.window.height()),
        // Six places: the same pixel back on any screen there is.
        QStringLiteral("PanelShare=%1").arg(values.panelShare, 0, 'f', 6),
        QStringLiteral("ResultColumns=%1").arg(widths.join(u',')),
        QStringLiteral("Zoom=%1").arg(values.zoomPercent),
        QStringLiteral("OpenOnLastMessage=%1").arg(values.openOnLastMessage ? 1 : 0),
        QStringLiteral("NotifyNewMessages=%1").arg(values.notifyNew ? 1 : 0),
        QStringLiteral("WholeWords=%1").arg(values.wholeWords ? 1 : 0),
        QStringLiteral("LastMessage=%1").arg(values.lastMessage),
        // Kept whatever the mode, so "this proxy" chosen again finds its host; never the password.
        QStringLiteral("ProxyMode=") + proxyModeName(values.proxy.mode),
        QStringLiteral("ProxyHost=") + QString::fromLatin1(encodedText(values.proxy.host)),
        QStringLiteral("ProxyPort=%1").arg(values.proxy.port),
        QStringLiteral("ProxyUser=") + QString::fromLatin1(encodedText(values.proxy.user)),
    };
    return ListFile::toBytes(lines);
}

bool write(const QString &path, const Preferences &values, QString *error)
{
    return ListFile::writeBytes(path, toBytes(values), error);
}

}
