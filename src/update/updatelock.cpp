// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/updatelock.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

UpdateLock::~UpdateLock()
{
    release();
}

UpdateLock::Result UpdateLock::take(const QString &folder, QString *error)
{
    release();
    const QString path = QDir(folder).filePath(QStringLiteral("lastmessage.htm"));
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = QStringLiteral("%1 could not be written (%2).")
                     .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(errno)));
        return Result::Failed;
    }
    int rc;
    while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        const int code = errno;
        ::close(fd);
        if (code == EWOULDBLOCK) {
            *error = QStringLiteral("another copy of the program is updating the message database in %1.")
                         .arg(QDir::toNativeSeparators(folder));
            return Result::Busy;
        }
        *error = QStringLiteral("%1 could not be locked (%2).")
                     .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(code)));
        return Result::Failed;
    }
    m_fd = fd;
    return Result::Taken;
}

void UpdateLock::release()
{
    if (m_fd < 0)
        return;
    ::close(m_fd); // closing the only descriptor drops the lock
    m_fd = -1;
}
