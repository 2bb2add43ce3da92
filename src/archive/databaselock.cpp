// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/databaselock.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int kRetryMs = 20;

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// flock with EINTR retried; returns the errno of a failure, 0 on success.
int lockFd(int fd, int operation)
{
    for (;;) {
        if (::flock(fd, operation) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

}

DatabaseLock::~DatabaseLock()
{
    release();
}

bool DatabaseLock::lockShared(const QString &folder, int waitMs, QString *error)
{
    release();
    const QByteArray path = QFile::encodeName(QDir(folder).absolutePath());
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("The data folder %1 cannot be opened: %2.")
                         .arg(QDir::toNativeSeparators(folder), systemError(errno));
        return false;
    }
    const QDeadlineTimer deadline(waitMs);
    int code = 0;
    while ((code = lockFd(fd, LOCK_SH | LOCK_NB)) == EWOULDBLOCK && !deadline.hasExpired())
        QThread::msleep(kRetryMs);
    if (code != 0) {
        ::close(fd);
        if (error)
            *error = code == EWOULDBLOCK
                         ? QStringLiteral("Another copy of the program is compacting the message database in %1.")
                               .arg(QDir::toNativeSeparators(folder))
                         : QStringLiteral("The message database in %1 cannot be locked: %2.")
                               .arg(QDir::toNativeSeparators(folder), systemError(code));
        return false;
    }
    m_fd = fd;
    m_exclusive = false;
    return true;
}

bool DatabaseLock::tryExclusive(QString *error)
{
    if (m_fd < 0) {
        if (error)
            *error = QStringLiteral("The message database is not locked.");
        return false;
    }
    if (m_exclusive)
        return true;
    const int code = lockFd(m_fd, LOCK_EX | LOCK_NB);
    if (code == 0) {
        m_exclusive = true;
        return true;
    }
    // A refused conversion may have dropped the shared lock: take it again. Only an
    // exclusive holder could keep it from us, and that holds it briefly.
    backToShared();
    if (error)
        *error = code == EWOULDBLOCK ? QStringLiteral("Another copy of the program has the message database open.")
                                     : QStringLiteral("The message database cannot be locked: %1.").arg(systemError(code));
    return false;
}

void DatabaseLock::backToShared()
{
    if (m_fd < 0)
        return;
    lockFd(m_fd, LOCK_SH);
    m_exclusive = false;
}

void DatabaseLock::release()
{
    if (m_fd < 0)
        return;
    ::close(m_fd); // closing the last descriptor drops the lock
    m_fd = -1;
    m_exclusive = false;
}

bool DatabaseLock::isHeld() const
{
    return m_fd >= 0;
}

bool DatabaseLock::isExclusive() const
{
    return m_exclusive;
}
