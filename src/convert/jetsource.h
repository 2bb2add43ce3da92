// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "convert/jettable.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QProcess;

// The rows of one table of a Jet file, as the reader program (veltra-jetreader) reads them
// in a process of its own. A reader that fails hard, says nothing for longer than the
// stall limit, or writes what cannot be read, counts as having met a damaged file; it is
// stopped whenever this object stops asking (at the end, on a refusal, on a cancel, or
// when destroyed).
class JetSource final
{
public:
    enum class Failure {
        None,
        NoReader,     // the reader program cannot be started
        Unreadable,   // not a Jet file libmdb can open
        Version,      // Access 2007 or later
        Encrypted,
        Password,
        NoTable,
        NoColumns,
        BinaryColumn,
        Damaged,      // detail: what is wrong, when the reader could tell
        Broken,       // the reader failed, stalled, or gave what cannot be read
        Cancelled,
    };
    // Asked while waiting for the reader; false cancels.
    using KeepGoing = std::function<bool()>;

    explicit JetSource(const QString &readerProgram, int stallMs);
    ~JetSource();
    Q_DISABLE_COPY_MOVE(JetSource)

    // Starts the reader on `table` and the `columns` (distinct names) and waits until it has
    // found them all. False with failure() otherwise.
    bool open(const QString &file, const QString &table, const QStringList &columns, const KeepGoing &keepGoing);
    // Reads the file's user tables and their columns instead. False with failure() otherwise.
    bool list(const QString &file, QList<JetTable> *tables, const KeepGoing &keepGoing);
    // The next row's texts, one for each column asked for (a NULL value as an empty text).
    // False at the end of the table, or with failure() set.
    bool next(std::vector<QByteArray> *values, const KeepGoing &keepGoing);
    void stop();

    Failure failure() const;
    // The table, the missing columns (one a line), the binary column and its type, or what
    // is damaged.
    QString detail() const;
    int version() const; // 3 or 4
    qint64 expectedRows() const;

private:
    // Starts the reader and reads its first frame; false, with failure() set, on a refusal.
    bool start(const QStringList &arguments, char *type, QByteArrayView *payload, const KeepGoing &keepGoing);
    // Waits until `size` bytes past the read position have come; false on failure.
    bool await(qsizetype size, const KeepGoing &keepGoing);
    bool readFrame(char *type, QByteArrayView *payload, const KeepGoing &keepGoing);
    bool fail(Failure failure, const QString &detail = {});

    QString m_program;
    int m_stallMs;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_buffer;
    qsizetype m_position = 0;
    QElapsedTimer m_sinceData;
    int m_columns = 0;
    Failure m_failure = Failure::None;
    QString m_detail;
    int m_version = 0;
    qint64 m_expected = 0;
    bool m_ended = false;
};
