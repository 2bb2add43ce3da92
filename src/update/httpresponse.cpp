// SPDX-License-Identifier: GPL-3.0-or-later
#include "httpresponse.h"

#include <algorithm>

namespace {

constexpr qsizetype kHeadLimit = 64 * 1024;
constexpr qsizetype kChunkLineLimit = 1024;

// Where the line ending at the first line break of `bytes` ends, or -1 while it is not there.
qsizetype lineEnd(const QByteArray &bytes)
{
    const qsizetype lf = bytes.indexOf('\n');
    return lf < 0 ? -1 : lf + 1;
}

QByteArray withoutBreak(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    return line.toByteArray();
}

// The comma-separated tokens of a header value, trimmed and lower-cased.
QList<QByteArray> tokens(const QByteArray &value)
{
    QList<QByteArray> list;
    for (const QByteArray &part : value.split(','))
        list << part.trimmed().toLower();
    return list;
}

}

HttpResponse::HttpResponse(qint64 sizeLimit)
    : m_sizeLimit(sizeLimit)
{
}

HttpResponse::State HttpResponse::state() const
{
    return m_state;
}

bool HttpResponse::nothingReceived() const
{
    return !m_received;
}

int HttpResponse::status() const
{
    return m_status;
}

QByteArray HttpResponse::header(QByteArrayView name) const
{
    for (auto it = m_headers.crbegin(); it != m_headers.crend(); ++it) {
        if (QByteArrayView(it->first).compare(name, Qt::CaseInsensitive) == 0)
            return it->second;
    }
    return {};
}

const QByteArray &HttpResponse::body() const
{
    return m_body;
}

QString HttpResponse::error() const
{
    return m_error;
}

bool HttpResponse::keepsConnection() const
{
    if (m_state != State::Complete || m_extraBytes || m_framing == Framing::UntilClosed)
        return false;
    const QList<QByteArray> connection = tokens(header("Connection"));
    if (connection.contains("close"))
        return false;
    return !m_http10 || connection.contains("keep-alive");
}

HttpResponse::State HttpResponse::fail(const QString &why)
{
    m_state = State::Failed;
    m_error = why;
    m_pending.clear();
    return m_state;
}

HttpResponse::State HttpResponse::complete()
{
    m_state = State::Complete;
    m_extraBytes = !m_pending.isEmpty();
    m_pending.clear();
    return m_state;
}

HttpResponse::State HttpResponse::feed(QByteArrayView bytes)
{
    if (m_state != State::Reading) {
        m_extraBytes |= !bytes.isEmpty();
        return m_state;
    }
    m_received |= !bytes.isEmpty();
    m_pending.append(bytes);
    if (m_status == 0 && (readHead() != State::Reading || m_status == 0))
        return m_state;
    return readBody();
}

HttpResponse::State HttpResponse::readHead()
{
    for (;;) {
        // Servers that end lines with LF alone are read as well.
        const qsizetype crlf = m_pending.indexOf("\r\n\r\n");
        const qsizetype lflf = m_pending.indexOf("\n\n");
        qsizetype end = -1;
        if (crlf >= 0 && (lflf < 0 || crlf + 2 <= lflf))
            end = crlf + 4;
        else if (lflf >= 0)
            end = lflf + 2;
        if (end < 0)
            return m_pending.size() > kHeadLimit ? fail(QStringLiteral("the server's answer has a header over 64 KiB"))
                                                 : m_state;
        const QList<QByteArray> lines = m_pending.first(end).split('\n');
        m_pending.remove(0, end);

        const QByteArray statusLine = withoutBreak(lines.first());
        if (!statusLine.startsWith("HTTP/1.") || statusLine.size() < 12 || statusLine[8] != ' ')
            return fail(QStringLiteral("the server's answer is not HTTP"));
        bool numeric = false;
        const int status = statusLine.mid(9, 3).toInt(&numeric);
        if (!numeric || status < 100 || (statusLine.size() > 12 && statusLine[12] != ' '))
            return fail(QStringLiteral("the server's answer has no status"));
        m_http10 = statusLine.startsWith("HTTP/1.0");
        m_headers.clear();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = withoutBreak(lines[i]);
            if (line.isEmpty())
                continue;
            if ((line.front() == ' ' || line.front() == '\t') && !m_headers.isEmpty()) {
                m_headers.last().second += ' ' + line.trimmed();
                continue;
            }
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                return fail(QStringLiteral("the server's answer has a malformed header"));
            m_headers.append({line.first(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        if (status == 101)
            return fail(QStringLiteral("the server switched to another protocol"));
        // An interim answer (100 Continue) is followed by the real one.
        if (status < 200)
            continue;
        m_status = status;
        break;
    }

    const QByteArray transfer = header("Transfer-Encoding");
    QByteArray length; // every Content-Length, as one list
    for (const auto &[name, value] : std::as_const(m_headers)) {
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            length += (length.isEmpty() ? "" : ",") + value;
    }
    if (m_status == 204 || m_status == 304) {
        m_framing = Framing::Length;
        m_length = 0;
    } else if (!transfer.isEmpty()) {
        // The last coding says how the body ends; a coding other than chunked ends it
        // with the connection.
        m_framing = tokens(transfer).constLast() == "chunked" ? Framing::Chunked : Framing::UntilClosed;
    } else if (!length.isEmpty()) {
        // Repeated lengths must agree: two different ones leave the end unknown.
        qint64 declared = -1;
        for (const QByteArray &value : tokens(length)) {
            bool ok = !value.isEmpty() && std::all_of(value.cbegin(), value.cend(), [](char c) { return c >= '0' && c <= '9'; });
            const qint64 n = ok ? value.toLongLong(&ok) : -1;
            if (!ok || (declared >= 0 && n != declared))
                return fail(QStringLiteral("the server's answer has no valid length"));
            declared = n;
        }
        m_framing = Framing::Length;
        m_length = declared;
        if (m_length > m_sizeLimit)
            return fail(QStringLiteral("the page is larger than %1 bytes").arg(m_sizeLimit));
    } else {
        m_framing = Framing::UntilClosed;
    }
    return m_state;
}

bool HttpResponse::takeBody(qsizetype count)
{
    m_body.append(m_pending.constData(), count);
    m_pending.remove(0, count);
    if (m_body.size() <= m_sizeLimit)
        return true;
    fail(QStringLiteral("the page is larger than %1 bytes").arg(m_sizeLimit));
    return false;
}

HttpResponse::State HttpResponse::readBody()
{
    switch (m_framing) {
    case Framing::Length:
        if (!takeBody(std::min<qsizetype>(m_pending.size(), m_length - m_body.size())))
            return m_state;
        return m_body.size() == m_length ? complete() : m_state;
    case Framing::UntilClosed:
        takeBody(m_pending.size());
        return m_state;
    case Framing::Chunked:
        return readChunks();
    case Framing::None:
        break;
    }
    return m_state;
}

HttpResponse::State HttpResponse::readChunks()
{
    for (;;) {
        switch (m_chunkPart) {
        case ChunkPart::Size: {
            const qsizetype end = lineEnd(m_pending);
            if (end < 0)
                return m_pending.size() > kChunkLineLimit ? fail(QStringLiteral("the server's answer has a malformed chunk"))
                                                          : m_state;
            QByteArray line = withoutBreak(QByteArrayView(m_pending).first(end));
            m_pending.remove(0, end);
            if (const qsizetype extension = line.indexOf(';'); extension >= 0)
                line.truncate(extension);
            line = line.trimmed();
            bool ok = !line.isEmpty() && line.size() <= 15;
            m_length = ok ? line.toLongLong(&ok, 16) : 0;
            if (!ok || m_length < 0)
                return fail(QStringLiteral("the server's answer has a malformed chunk"));
            if (m_body.size() + m_length > m_sizeLimit)
                return fail(QStringLiteral("the page is larger than %1 bytes").arg(m_sizeLimit));
            m_chunkPart = m_length == 0 ? ChunkPart::Trailer : ChunkPart::Data;
            break;
        }
        case ChunkPart::Data: {
            const qsizetype count = std::min<qsizetype>(m_pending.size(), m_length);
            if (!takeBody(count))
                return m_state;
            m_length -= count;
            if (m_length > 0)
                return m_state;
            m_chunkPart = ChunkPart::DataEnd;
            break;
        }
        case ChunkPart::DataEnd:
            if (m_pending.startsWith("\r\n"))
                m_pending.remove(0, 2);
            else if (m_pending.startsWith('\n'))
                m_pending.remove(0, 1);
            else if (m_pending.size() >= 2 || (m_pending.size() == 1 && m_pending[0] != '\r'))
                return fail(QStringLiteral("the server's answer has a malformed chunk"));
            else
                return m_state;
            m_chunkPart = ChunkPart::Size;
            break;
        case ChunkPart::Trailer: {
            const qsizetype end = lineEnd(m_pending);
            if (end < 0)
                return m_pending.size() > kHeadLimit ? fail(QStringLiteral("the server's answer has a malformed chunk"))
                                                     : m_state;
            const bool last = withoutBreak(QByteArrayView(m_pending).first(end)).isEmpty();
            m_pending.remove(0, end);
            if (last)
                return complete();
            break;
        }
        }
    }
}

HttpResponse::State HttpResponse::endOfStream()
{
    if (m_state != State::Reading)
        return m_state;
    if (m_status == 0)
        return fail(m_received ? QStringLiteral("the connection was closed in the middle of the answer's header")
                               : QStringLiteral("the connection was closed before an answer came"));
    switch (m_framing) {
    case Framing::UntilClosed:
        return complete();
    case Framing::Length:
        return fail(QStringLiteral("the page ended after %1 of its %2 bytes").arg(m_body.size()).arg(m_length));
    case Framing::Chunked:
    case Framing::None:
        break;
    }
    return fail(QStringLiteral("the connection was closed before the page's last chunk, after %1 bytes").arg(m_body.size()));
}
