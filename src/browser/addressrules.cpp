// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/addressrules.h"
#include "base/version.h"

#include <QUrl>

namespace {

const QString kCaptionName = QStringLiteral("Veltra Knowledgebase V" VELTRA_VERSION_SHORT);
constexpr int kCaptionTitleLength = 80;
constexpr int kKeptEntries = 50; // one more comes on top of them

bool isAddress(const QString &lower)
{
    // "https:" is no "http:", but nobody typing it means a host called "https".
    return lower.contains(QLatin1String("www.")) || lower.contains(QLatin1String("http:"))
        || lower.contains(QLatin1String("https:")) || lower.startsWith(QLatin1String("file:"));
}

bool isLineBreaking(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}

}

namespace AddressRules {

AddressCommand classify(const QString &text, const QString &searchServer)
{
    AddressCommand command;
    if (text.contains(QLatin1Char('\\')))
        return command;
    command.kind = AddressCommand::Kind::Navigate;

    // A drive letter names a drive's root folder; this system has the one root.
    if (text.size() == 2 && text.at(1) == QLatin1Char(':')) {
        command.address = QStringLiteral("/");
        command.record = true;
        return command;
    }
    // A local path is written with "/" here, so it opens as the file or folder it names.
    if (text.startsWith(QLatin1Char('/'))) {
        command.address = text;
        command.record = true;
        return command;
    }
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('/'))) {
        command.clearText = true;
        command.address = webSearchAddress(searchServer, text);
        return command;
    }
    const QString lower = text.toLower();
    if (!isAddress(lower)) {
        // Not recorded: the bar keeps the typed text until the page has loaded.
        if (!text.contains(QLatin1Char(' ')) && !lower.contains(QLatin1String("ftp://")))
            command.address = QStringLiteral("http://") + text;
        else
            command.address = webSearchAddress(searchServer, text);
        return command;
    }
    command.address = text;
    command.record = true;
    return command;
}

QString webSearchAddress(const QString &searchServer, const QString &term)
{
    QStringList words = term.split(QLatin1Char(' '));
    for (QString &word : words)
        word = QString::fromLatin1(QUrl::toPercentEncoding(word));
    return searchServer + QStringLiteral("/search?hl=en&q=") + words.join(QLatin1Char('+'));
}

QStringList rebuildAddressList(const QStringList &entries, const QString &pendingUrl)
{
    QStringList current = entries;
    if (current.size() > kKeptEntries)
        current.removeLast();

    // The scratch list holds the entries last first, so the new one goes at its end.
    QStringList scratch;
    for (auto it = current.crbegin(); it != current.crend(); ++it) {
        if (!it->isEmpty())
            scratch << *it;
    }
    const QString wanted = pendingUrl.toLower();
    for (qsizetype i = 0; i < scratch.size(); ++i) {
        if (scratch.at(i).toLower() == wanted) {
            scratch.removeAt(i);
            break;
        }
    }
    if (!pendingUrl.isEmpty())
        scratch << pendingUrl;

    QStringList rebuilt;
    rebuilt.reserve(scratch.size());
    for (auto it = scratch.crbegin(); it != scratch.crend(); ++it)
        rebuilt << *it;
    return rebuilt;
}

QString captionFor(const QString &title)
{
    if (title.isEmpty())
        return kCaptionName;
    return title.left(kCaptionTitleLength) + QStringLiteral(" - ") + kCaptionName;
}

QString printable(const QString &address)
{
    QString out;
    out.reserve(address.size());
    for (const char32_t c : address.toUcs4()) {
        const QString character = QString::fromUcs4(&c, 1);
        if (!isLineBreaking(c)) {
            out += character;
            continue;
        }
        for (const char byte : character.toUtf8())
            out += QStringLiteral("%%1").arg(uchar(byte), 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

}
