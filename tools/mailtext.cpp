// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailtext.h"

#include <QList>
#include <QStringDecoder>

namespace {

constexpr int kMaxNesting = 6;
constexpr qsizetype kMaxWordLength = 24;

struct Entity
{
    QByteArray type = "text/plain"; // lowercased
    QByteArray charset = "us-ascii";
    QByteArray boundary;
    QByteArray encoding; // lowercased
    QByteArray body;
};

QList<QByteArray> splitLines(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

// The value of `name` among the "; name=value" parameters of a header, unquoted.
QByteArray parameter(const QByteArray &header, const QByteArray &name)
{
    const QByteArray lower = header.toLower();
    qsizetype at = 0;
    while ((at = lower.indexOf(name + '=', at)) >= 0) {
        const bool starts = at > 0 && (lower[at - 1] == ';' || lower[at - 1] == ' ' || lower[at - 1] == '\t');
        at += name.size() + 1;
        if (!starts)
            continue;
        if (at < header.size() && header[at] == '"') {
            const qsizetype close = header.indexOf('"', at + 1);
            return header.mid(at + 1, close < 0 ? -1 : close - at - 1);
        }
        qsizetype end = at;
        while (end < header.size() && header[end] != ';' && header[end] != ' ' && header[end] != '\t')
            ++end;
        return header.mid(at, end - at);
    }
    return {};
}

// Headers (unfolded) and body of a message or a MIME part.
Entity parseEntity(const QByteArray &bytes)
{
    Entity part;
    qsizetype bodyStart = bytes.size();
    QList<QByteArray> headers;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            end = bytes.size();
        QByteArray line = bytes.mid(pos, end - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        pos = end + 1;
        if (line.isEmpty()) {
            bodyStart = pos;
            break;
        }
        if ((line.startsWith(' ') || line.startsWith('\t')) && !headers.isEmpty())
            headers.last() += ' ' + line.trimmed();
        else
            headers << line;
    }
    part.body = bytes.mid(bodyStart);
    for (const QByteArray &header : std::as_const(headers)) {
        const qsizetype colon = header.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = header.left(colon).trimmed().toLower();
        const QByteArray value = header.mid(colon + 1).trimmed();
        if (name == "content-type") {
            const qsizetype semicolon = value.indexOf(';');
            part.type = value.left(semicolon < 0 ? value.size() : semicolon).trimmed().toLower();
            if (const QByteArray charset = parameter(value, "charset"); !charset.isEmpty())
                part.charset = charset.toLower();
            part.boundary = parameter(value, "boundary");
        } else if (name == "content-transfer-encoding") {
            part.encoding = value.toLower();
        }
    }
    return part;
}

QByteArray fromQuotedPrintable(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '=') {
            out += c;
            continue;
        }
        // "=" at the end of a line joins it to the next.
        qsizetype j = i + 1;
        while (j < text.size() && (text[j] == ' ' || text[j] == '\t'))
            ++j;
        if (j < text.size() && (text[j] == '\n' || text[j] == '\r')) {
            if (text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n')
                ++j;
            i = j;
            continue;
        }
        bool ok = false;
        const int value = i + 2 < text.size() ? text.mid(i + 1, 2).toInt(&ok, 16) : 0;
        if (ok) {
            out += char(value);
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

QString decoded(const QByteArray &bytes, const QByteArray &charset)
{
    QStringDecoder decoder(charset.constData());
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    return decoder.decode(bytes);
}

void collect(const QByteArray &bytes, int depth, QStringList &texts)
{
    if (depth > kMaxNesting)
        return;
    const Entity part = parseEntity(bytes);
    if (part.type.startsWith("multipart/")) {
        if (part.boundary.isEmpty())
            return;
        const QByteArray delimiter = "--" + part.boundary;
        QByteArray current;
        bool inEntity = false;
        for (const QByteArray &line : splitLines(part.body)) {
            if (line.startsWith(delimiter)) {
                if (inEntity)
                    collect(current, depth + 1, texts);
                current.clear();
                inEntity = !line.mid(delimiter.size()).startsWith("--");
                if (!inEntity)
                    break;
                continue;
            }
            if (inEntity) {
                current += line;
                current += '\n';
            }
        }
        return;
    }
    if (part.type == "message/rfc822") {
        collect(part.body, depth + 1, texts);
        return;
    }
    if (part.type != "text/plain" || part.encoding == "base64")
        return;
    const QByteArray raw = part.encoding == "quoted-printable" ? fromQuotedPrintable(part.body) : part.body;
    texts << decoded(raw, part.charset);
}

// The lines a member typed: not quoted, not a patch, and before the signature or a list
// server's attachment stub.
QString typedText(const QString &text)
{
    QString out;
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line == u"-- " || line.startsWith(u"diff --git") || line.startsWith(u"-------------- next part"))
            break;
        if (line.startsWith(u'>') || line.startsWith(u'+') || line.startsWith(u'-') || line.startsWith(u"@@")
            || line.startsWith(u"index ") || line.startsWith(u"Signed-off-by:"))
            continue;
        out += line;
        out += u'\n';
    }
    return out;
}

bool isWordJoiner(QChar c)
{
    return c == u'\'' || c == u'\u2019' || c == u'-';
}

} // namespace

namespace MailText {

QStringList plainTexts(const QByteArray &file)
{
    // An mbox file: a message starts at each "From " line that opens the file or follows a
    // blank line; the separator itself belongs to no message.
    QList<QByteArray> messages;
    if (file.startsWith("From ")) {
        bool blankBefore = true;
        for (const QByteArray &line : splitLines(file)) {
            if (blankBefore && line.startsWith("From ")) {
                messages << QByteArray();
                blankBefore = false;
                continue;
            }
            messages.last() += line;
            messages.last() += '\n';
            blankBefore = line.isEmpty();
        }
    } else {
        messages << file;
    }
    QStringList texts;
    for (const QByteArray &message : std::as_const(messages)) {
        QStringList parts;
        collect(message, 0, parts);
        for (const QString &part : std::as_const(parts))
            texts << typedText(part);
    }
    return texts;
}

void countWords(QStringView text, QHash<QString, qint64> &counts)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && text[i].isSpace())
            ++i;
        qsizetype end = i;
        while (end < n && !text[end].isSpace())
            ++end;
        QStringView token = text.mid(i, end - i);
        i = end;
        // Punctuation around a word is not part of it; digits are.
        while (!token.isEmpty() && !token.front().isLetterOrNumber())
            token = token.mid(1);
        while (!token.isEmpty() && !token.back().isLetterOrNumber())
            token.chop(1);
        if (token.isEmpty() || token.size() > kMaxWordLength)
            continue;
        bool word = true;
        for (qsizetype k = 0; k < token.size() && word; ++k) {
            const QChar c = token[k];
            // A joiner only between two letters: "don't", "follow-up".
            word = c.isLetter() || (isWordJoiner(c) && token[k - 1].isLetter() && token[k + 1].isLetter());
        }
        if (word)
            ++counts[token.toString().toLower().replace(u'\u2019', u'\'')];
    }
}

}
