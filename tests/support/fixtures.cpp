// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixtures.h"

#include "store/recordset.h"

#include <QFile>
#include <QtTest>

#include <sqlite3.h>

namespace Fixtures {

MessageRecord message(qint32 messnum)
{
    MessageRecord r;
    r.messnum = messnum;
    r.messauthor = QStringLiteral("Author %1 <a%1@example.org>").arg(messnum);
    r.messdate = QStringLiteral("Mon Mar 3, 2003 10:%1 am").arg(messnum % 60, 2, 10, QLatin1Char('0'));
    r.messtitle = QStringLiteral("[vclub] Subject %1").arg(messnum);
    r.message = QStringLiteral("<p>Body of message %1</p>").arg(messnum);
    return r;
}

QList<MessageRecord> range(qint32 first, qint32 last)
{
    QList<MessageRecord> records;
    for (qint32 n = first; n <= last; ++n)
        records << message(n);
    return records;
}

bool writeDatabase(const QString &path, const QList<MessageRecord> &records)
{
    QString error;
    if (!Recordset::createEmpty(path, &error)) {
        qWarning() << "createEmpty failed:" << error;
        return false;
    }
    auto opened = Recordset::open(path);
    if (!opened.recordset) {
        qWarning() << "open failed:" << opened.reason;
        return false;
    }
    sqlite3_exec(opened.recordset->handle(), "BEGIN", nullptr, nullptr, nullptr);
    for (const auto &r : records) {
        if (!opened.recordset->addNew(r)) {
            qWarning() << "addNew failed:" << opened.recordset->lastError();
            return false;
        }
    }
    sqlite3_exec(opened.recordset->handle(), "COMMIT", nullptr, nullptr, nullptr);
    return true;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

}
