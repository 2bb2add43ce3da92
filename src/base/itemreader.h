// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

class QIODevice;

// Reads the items of a settings or list file one after another. An item ends at a comma
// or at the end of a line (CR LF, LF or CR); blanks (spaces only: a tab is kept) in
// front of an item are skipped, and those at the end of an unquoted item are dropped.
// An item that begins with a double quote runs to the next double quote, or to the end
// of its line when there is none; the quotes are not part of it, and whatever follows
// them up to the item's end is dropped. An empty line is an empty item.
//
// A line that is one quoted item with doubled quotes inside ("say ""hi""") reads as the
// text with each pair made one quote: that is how the list files put down an entry with
// a quote that would not come back whole otherwise. Everywhere else a doubled quote keeps
// the reading above (the first quote ends the item), so older files read as they did.
//
// Garbage stays cheap: an item is cut at kMaxItemBytes (the rest of it is skipped
// without being kept), and the input counts as ended once kMaxReadBytes have been read.
// Telling a line of doubled quotes from other text looks at most kMaxLookAheadBytes of
// it ahead, once per line; a longer one keeps the reading above.
class ItemReader final
{
    Q_DISABLE_COPY_MOVE(ItemReader)

public:
    static constexpr qsizetype kMaxItemBytes = 64 * 1024;
    static constexpr qint64 kMaxReadBytes = 16 * 1024 * 1024;
    // An item of kMaxItemBytes that is all quotes, doubled, and its closing quote.
    static constexpr qsizetype kMaxLookAheadBytes = 2 * kMaxItemBytes + 2;

    // Reads from an open device, which must outlive the reader.
    explicit ItemReader(QIODevice *device);
    explicit ItemReader(const QByteArray &bytes);
    ~ItemReader();

    // True once nothing is left to read, or the device failed.
    bool atEnd();
    // The next item, decoded from Windows-1252; nullopt when reading past the end or
    // when the device fails (errorString() says which).
    std::optional<QString> next();
    QString errorString() const;

private:
    bool fill();
    int peek();
    int collect(QByteArray *item, char stop);
    int collectLine(QByteArray *line, qsizetype cap);
    void takeTerminator(int c);
    void finishQuotedLine(QByteArray *item);
    void putBack(const QByteArray &bytes, qint64 fillsBefore);

    QIODevice *m_device = nullptr; // null when reading from a byte array
    bool m_readFailed = false;
    QByteArray m_chunk;
    qsizetype m_pos = 0;
    qint64 m_readTotal = 0;
    bool m_exhausted = false;
    qint64 m_fills = 0; // chunks read so far
    bool m_atLineStart = true; // the next item is the first of its line
    QString m_error;
};
