// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/jetsource.h"

#include "convert/jetframe.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace {

constexpr int kWaitStepMs = 100;
// Past this much read, the buffer drops what has been read.
constexpr qsizetype kCompactAt = 1 << 20;

quint32 lengthAt(QByteArrayView bytes, qsizetype at)
{
    quint32 n = 0;
    for (int i = 3; i >= 0; --i)
        n = (n << 8) | quint8(bytes[at + i]);
    return n;
}

JetSource::Failure failureOf(JetFrame::RefusalCode code)
{
    using Code = JetFrame::RefusalCode;
    switch (code) {
    case Code::Unreadable:
        return JetSource::Failure::Unreadable;
    case Code::Version:
        return JetSource::Failure::Version;
    case Code::Encrypted:
        return JetSource::Failure::Encrypted;
    case Code::Password:
        return JetSource::Failure::Password;
    case Code::NoTable:
        return JetSource::Failure::NoTable;
    case Code::NoColumns:
        return JetSource::Failure::NoColumns;
    case Code::BinaryColumn:
        return JetSource::Failure::BinaryColumn;
    case Code::Damaged:
        return JetSource::Failure::Damaged;
    case Code::NoCatalog:
        break;
    }
    return JetSource::Failure::Broken;
}

}

JetSource::JetSource(const QString &readerProgram, int stallMs)
    : m_program(readerProgram)
    , m_stallMs(stallMs)
{
}

JetSource::~JetSource()
{
    stop();
}

void JetSource::stop()
{
    if (!m_process)
        return;
    m_process->kill();
    m_process->waitForFinished(-1);
    m_process.reset();
}

JetSource::Failure JetSource::failure() const
{
    return m_failure;
}

QString JetSource::detail() const
{
    return m_detail;
}

int JetSource::version() const
{
    return m_version;
}

qint64 JetSource::expectedRows() const
{
    return m_expected;
}

bool JetSource::fail(Failure failure, const QString &detail)
{
    m_failure = failure;
    m_detail = detail;
    stop();
    return false;
}

bool JetSource::start(const QStringList &arguments, char *type, QByteArrayView *payload, const KeepGoing &keepGoing)
{
    m_process = std::make_unique<QProcess>();
    // libmdb reads its character sets from these; the texts must come as UTF-8 whatever
    // the user's environment says.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"MDBICONV", "MDB_ICONV", "MDB_JET3_CHARSET", "MDBPATH"})
        environment.remove(QString::fromLatin1(name));
    m_process->setProcessEnvironment(environment);
    // What libmdb says of a damaged file is no use to the user, and could be endless.
    m_process->setStandardErrorFile(QProcess::nullDevice());
    m_process->start(m_program, arguments, QIODevice::ReadOnly);
    if (!m_process->waitForStarted(-1))
        return fail(Failure::NoReader, m_process->errorString());
    m_sinceData.start();
    if (!readFrame(type, payload, keepGoing))
        return false;
    if (*type == JetFrame::Refusal && !payload->isEmpty()) {
        const auto code = JetFrame::RefusalCode(quint8((*payload)[0]));
        return fail(failureOf(code), QString::fromUtf8(payload->sliced(1)).trimmed());
    }
    return true;
}

bool JetSource::open(const QString &file, const QString &table, const QStringList &columns, const KeepGoing &keepGoing)
{
    m_columns = int(columns.size());
    char type = 0;
    QByteArrayView payload;
    if (!start(QStringList{file, table} + columns, &type, &payload, keepGoing))
        return false;
    if (type != JetFrame::Info)
        return fail(Failure::Broken);
    for (const QString &line : QString::fromUtf8(payload).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (parts.value(0) == QLatin1String("version"))
            m_version = parts.value(1).toInt();
        else if (parts.value(0) == QLatin1String("rows"))
            m_expected = parts.value(1).toLongLong();
    }
    return true;
}

bool JetSource::list(const QString &file, QList<JetTable> *tables, const KeepGoing &keepGoing)
{
    tables->clear();
    char type = 0;
    QByteArrayView payload;
    if (!start(QStringList{QStringLiteral("--list"), file}, &type, &payload, keepGoing))
        return false;
    for (;;) {
        if (type == JetFrame::End) {
            m_ended = true;
            stop();
            return true;
        }
        if (type == JetFrame::Table) {
            tables->append(JetTable{QString::fromUtf8(payload), {}});
        } else if (type == JetFrame::Column && !payload.isEmpty() && !tables->isEmpty()) {
            tables->last().columns.append({QString::fromUtf8(payload.sliced(1)), JetFrame::ColumnKind(payload[0])});
        } else {
            tables->clear();
            return fail(Failure::Broken);
        }
        if (!readFrame(&type, &payload, keepGoing)) {
            tables->clear();
            return false;
        }
    }
}

bool JetSource::next(std::vector<QByteArray> *values, const KeepGoing &keepGoing)
{
    if (m_ended || m_failure != Failure::None)
        return false;
    char type = 0;
    QByteArrayView payload;
    if (!readFrame(&type, &payload, keepGoing))
        return false;
    if (type == JetFrame::End) {
        m_ended = true;
        stop();
        return false;
    }
    if (type != JetFrame::Row)
        return fail(Failure::Broken);
    values->resize(std::size_t(m_columns));
    qsizetype at = 0;
    for (int i = 0; i < m_columns; ++i) {
        if (payload.size() - at < 4)
            return fail(Failure::Broken);
        const quint32 length = lengthAt(payload, at);
        at += 4;
        if (length == JetFrame::kNull) {
            (*values)[std::size_t(i)] = QByteArray("");
            continue;
        }
        if (qsizetype(length) > payload.size() - at)
            return fail(Failure::Broken);
        (*values)[std::size_t(i)] = payload.sliced(at, length).toByteArray();
        at += length;
    }
    return at == payload.size() || fail(Failure::Broken);
}

bool JetSource::readFrame(char *type, QByteArrayView *payload, const KeepGoing &keepGoing)
{
    if (!await(JetFrame::kHeaderSize, keepGoing))
        return false;
    const quint32 length = lengthAt(m_buffer, m_position + 1);
    if (!await(JetFrame::kHeaderSize + qsizetype(length), keepGoing))
        return false;
    *type = m_buffer[m_position];
    *payload = QByteArrayView(m_buffer).sliced(m_position + JetFrame::kHeaderSize, length);
    m_position += JetFrame::kHeaderSize + length;
    return true;
}

bool JetSource::await(qsizetype size, const KeepGoing &keepGoing)
{
    if (m_position >= kCompactAt) {
        m_buffer.remove(0, m_position);
        m_position = 0;
    }
    while (m_buffer.size() - m_position < size) {
        if (keepGoing && !keepGoing())
            return fail(Failure::Cancelled);
        if (!m_process)
            return fail(Failure::Broken);
        const QByteArray more = m_process->readAll();
        if (!more.isEmpty()) {
            m_buffer += more;
            m_sinceData.restart();
            continue;
        }
        if (m_process->state() == QProcess::NotRunning) {
            // What it wrote just before it ended may come only now.
            m_buffer += m_process->readAll();
            if (m_buffer.size() - m_position >= size)
                continue;
            return fail(Failure::Broken);
        }
        if (m_sinceData.hasExpired(m_stallMs))
            return fail(Failure::Broken);
        m_process->waitForReadyRead(kWaitStepMs);
    }
    return true;
}
