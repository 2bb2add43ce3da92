// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/messagepage.h"

#include "base/cp1252.h"
#include "base/listfile.h"
#include "archive/deletionmark.h"

#include <QDir>
#include <QUrl>

namespace {

const QString kBreak = QStringLiteral("<br>");
const QString kLineEnd = QStringLiteral("\r\n");

}

namespace MessagePage {

bool isFlagged(QStringView messdate)
{
    return DeletionMark::isMarked(messdate);
}

QString dateWithoutFlag(const QString &messdate)
{
    return DeletionMark::unmarked(messdate);
}

QByteArray render(const MessageRecord &record)
{
    QString page;
    page.reserve(record.message.size() + record.messtitle.size() + record.messauthor.size() + 96);
    page += QStringLiteral("Message Number: ") + QString::number(record.messnum) + kBreak + kLineEnd;
    page += QStringLiteral("From: ") + record.messauthor + kBreak + kLineEnd;
    page += dateWithoutFlag(record.messdate) + kBreak + kLineEnd;
    page += record.messtitle + kBreak + kBreak + kLineEnd;
    page += record.message + kLineEnd;
    return Cp1252::encodeHtml(page);
}

bool write(const QString &path, const QByteArray &page, QString *error)
{
    return ListFile::writeBytes(path, page, error);
}

QString pathIn(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("tempfile.htm"));
}

bool isPageAddress(const QString &url, const QString &pagePath)
{
    const QUrl parsed(url);
    return parsed.isLocalFile() && QDir::cleanPath(parsed.toLocalFile()) == QDir::cleanPath(pagePath);
}

}
