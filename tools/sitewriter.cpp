// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitewriter.h"

#include "updatepage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

SiteWriter::SiteWriter(const QString &root)
    : m_root(root)
{
}

bool SiteWriter::writeMessage(const MessageRecord &record)
{
    MessageRecord published = record;
    if (published.messdate.startsWith(u"-1"))
        published.messdate.remove(0, 2);
    const QString problem = UpdatePage::roundTripProblem(published);
    if (!problem.isEmpty()) {
        m_lastError = QStringLiteral("message %1: %2").arg(record.messnum).arg(problem);
        return false;
    }
    return writeFile(UpdatePage::pagePath(record.messnum), UpdatePage::render(published));
}

bool SiteWriter::writeLastMessage(qint32 newest)
{
    return writeFile(UpdatePage::lastMessagePath(), UpdatePage::renderLastMessage(newest));
}

QString SiteWriter::root() const
{
    return m_root;
}

QString SiteWriter::lastError() const
{
    return m_lastError;
}

bool SiteWriter::writeFile(const QString &relativePath, const QByteArray &bytes)
{
    const QString path = QDir(m_root).filePath(relativePath);
    const QString folder = QFileInfo(path).path();
    if (folder != m_lastFolder) {
        if (!QDir().mkpath(folder)) {
            m_lastError = QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
            return false;
        }
        m_lastFolder = folder;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush()) {
        m_lastError = QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}
