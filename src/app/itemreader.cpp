#include "app/itemreader.h"

#include "app/cp1252.h"

#include <QIODevice>

#include <algorithm>

namespace {

constexpr qint64 kChunkBytes = 64 * 1024;

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

void ItemReader::takeTerminator(int c)
{
    if (c < 0)
        return;
    ++m_pos;
    if (c == '\r' && peek() == '\n')
        ++m_pos;
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
    while (peek() == ' ')
        ++m_pos;

    QByteArray item;
    if (peek() == '"') {
        ++m_pos;
        const int c = collect(&item, '"');
        if (c == '"') {
            ++m_pos;
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
