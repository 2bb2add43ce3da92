// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// Reads one HTTP/1.x answer from the bytes of a connection as they arrive, and says when it
// is whole. Only an answer the server's own framing shows complete counts: a body shorter
// than its Content-Length, chunks without their last (empty) chunk, or a header cut off are
// failures, whether the connection was closed or reset. Only a body with neither framing
// ends with the connection, as HTTP has it.
class HttpResponse final
{
public:
    enum class State {
        Reading,  // more bytes are needed
        Complete, // the answer is whole
        Failed    // it is not HTTP, too large, or cut off
    };

    explicit HttpResponse(qint64 sizeLimit);

    // The next bytes from the connection; the state after them.
    State feed(QByteArrayView bytes);
    // The connection ended (closed by the server, or reset).
    State endOfStream();

    State state() const;
    // True while not one byte of the answer has come: a kept-alive connection the
    // server had already closed, so the request may be sent again on a new one.
    bool nothingReceived() const;
    int status() const;
    // The value of a header (the last one of that name), without outer blanks.
    QByteArray header(QByteArrayView name) const;
    const QByteArray &body() const;
    QString error() const;
    // Whole, with the connection left usable for the next request.
    bool keepsConnection() const;

private:
    enum class Framing { Length, Chunked, UntilClosed, None };
    enum class ChunkPart { Size, Data, DataEnd, Trailer };

    State fail(const QString &why);
    State complete();
    State readHead();
    State readBody();
    State readChunks();
    bool takeBody(qsizetype count);

    qint64 m_sizeLimit;
    State m_state = State::Reading;
    QByteArray m_pending; // received and not yet taken apart
    bool m_received = false;
    int m_status = 0;
    bool m_http10 = false;
    QList<std::pair<QByteArray, QByteArray>> m_headers;
    Framing m_framing = Framing::None;
    qint64 m_length = 0;      // declared length, or the size of the chunk being read
    ChunkPart m_chunkPart = ChunkPart::Size;
    QByteArray m_body;
    QString m_error;
    bool m_extraBytes = false; // bytes after the answer: the connection is not reused
};
