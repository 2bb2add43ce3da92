// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/itemreader.h"

#include "base/cp1252.h"

#include <QIODevice>

#include <algorithm>

namespace {

constexpr qint64 kChunkBytes = 64 * 1024;

// collectLine() stopped at its cap, before the end of the line.
constexpr int kCut = -2;

}

ItemReader::ItemReader(QIODevice *device)
    : m_device(device)
{
}

ItemReader::ItemReader(const QByteArray &bytes)
    : m_chunk(bytes.left(kMaxReadBytes))
    , m_exhausted(true)
{
}

ItemReader::~ItemReader() = default;

bool ItemReader::fill()
{
    if (m_pos < m_chunk.size())
        return true;
    if (m_exhausted)
        return false;
    const qint64 budget = std::min(kChunkBytes, kMaxReadBytes - m_readTotal);
    if (budget <= 0 || !m_device) {
        m_exhausted = true;
        return false;
    }
    // The bytes of the chunk before are gone from here on.
    ++m_fills;
    m_chunk.resize(budget);
    const qint64 got = m_device->read(m_chunk.data(), budget);
    if (got <= 0) {
        if (got < 0) {
            m_readFailed = true;
            m_error = m_device->errorString();
        }
        m_chunk.clear();
        m_pos = 0;
        m_exhausted = true;
        return false;
    }
    m_chunk.resize(got);
    m_pos = 0;
    m_readTotal += got;
    return true;
}

int ItemReader::peek()
{
    return fill() ? uchar(m_chunk[m_pos]) : -1;
}

// Moves on to the first line end or `stop` character and returns it (not taken), or -1
// at the end of the input. The bytes passed over go into `item`, up to the item cap.
int ItemReader::collect(QByteArray *item, char stop)
{
    while (fill()) {
        const char *const begin = m_chunk.constData() + m_pos;
        const char *const end = m_chunk.constData() + m_chunk.size();
        const char *const found
            = std::find_if(begin, end, [stop](char c) { return c == stop || c == '\r' || c == '\n'; });
        if (item && item->size() < kMaxItemBytes)
            item->append(begin, std::min<qsizetype>(found - begin, kMaxItemBytes - item->size()));
        m_pos += found - begin;
        if (found != end)
            return uchar(*found);
    }
    return -1;
}

// Moves on to the end of the line and returns its first character (not taken), -1 at the
// end of the input, or kCut once `cap` bytes have gone into `line`.
int ItemReader::collectLine(QByteArray *line, qsizetype cap)
{
    while (fill()) {
        const char *const begin = m_chunk.constData() + m_pos;
        const char *const end = begin + std::min<qsizetype>(m_chunk.size() - m_pos, cap - line->size());
        const char *const found = std::find_if(begin, end, [](char c) { return c == '\r' || c == '\n'; });
        line->append(begin, found - begin);
        m_pos += found - begin;
        if (found != end)
            return uchar(*found);
        if (line->size() >= cap)
            return kCut;
    }
    return -1;
}

void ItemReader::takeTerminator(int c)
{
    if (c < 0)
        return;
    m_atLineStart = c != ',';
    ++m_pos;
    if (c == '\r' && peek() == '\n')
        ++m_pos;
}

// Puts the last bytes taken back in front of the input. They are normally still in the
// chunk; only when the chunk was replaced meanwhile are they copied in front of it.
void ItemReader::putBack(const QByteArray &bytes, qint64 fillsBefore)
{
    if (m_fills == fillsBefore) {
        m_pos -= bytes.size();
        return;
    }
    m_chunk = bytes + m_chunk.mid(m_pos);
    m_pos = 0;
}

// A quoted item that opens its line has ended at a quote followed by another. If the line
// reads as quoted text with doubled quotes up to a closing quote and blanks, `item`
// becomes that text; otherwise the item stays as read and the rest up to the next comma
// or line end is dropped, as for any quoted item.
void ItemReader::finishQuotedLine(QByteArray *item)
{
    const qint64 fillsBefore = m_fills;
    QByteArray rest;
    const int end = collectLine(&rest, kMaxLookAheadBytes);
    QByteArray text = *item;
    bool whole = false;
    // rest[i] is always the second quote of a pair.
    for (qsizetype i = 0;;) {
        text += '"';
        const qsizetype close = rest.indexOf('"', i + 1);
        if (close < 0)
            break;
        text.append(rest.constData() + i + 1, close - i - 1);
        i = close + 1;
        if (i < rest.size() && rest[i] == '"')
            continue;
        whole = end != kCut && std::all_of(rest.cbegin() + i, rest.cend(), [](char c) { return c == ' '; });
        break;
    }
    if (whole) {
        text.truncate(kMaxItemBytes);
        *item = text;
        takeTerminator(end);
        return;
    }
    const qsizetype comma = rest.indexOf(',');
    if (comma >= 0) {
        // What followed the comma belongs to the next items.
        putBack(rest.mid(comma + 1), fillsBefore);
        m_atLineStart = false;
    } else if (end == kCut) {
        takeTerminator(collect(nullptr, ','));
    } else {
        takeTerminator(end);
    }
}

bool ItemReader::atEnd()
{
    return !fill();
}

std::optional<QString> ItemReader::next()
{
    if (atEnd()) {
        if (!m_readFailed)
            m_error = QStringLiteral("Input past end of file");
        return std::nullopt;
    }
    const bool opensLine = m_atLineStart;
    while (peek() == ' ')
        ++m_pos;

    QByteArray item;
    if (peek() == '"') {
        ++m_pos;
        const int c = collect(&item, '"');
        if (c == '"') {
            ++m_pos;
            if (opensLine && peek() == '"')
                finishQuotedLine(&item);
            else
                takeTerminator(collect(nullptr, ','));
        } else {
            takeTerminator(c);
        }
    } else {
        takeTerminator(collect(&item, ','));
        qsizetype length = item.size();
        while (length > 0 && item[length - 1] == ' ')
            --length;
        item.truncate(length);
    }
    if (m_readFailed)
        return std::nullopt;
    return Cp1252::decode(item);
}

QString ItemReader::errorString() const
{
    return m_error;
}
