// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/recordset.h"

#include <QByteArray>
#include <QString>

class SqliteDb;

// A message database file as the recordset opens it: looked at before SQLite sees it (an
// empty file would become a new database, an Access file deserves a word of its own),
// connected with the store's settings, and its message table checked for the fields and
// the stored order the recordset relies on.
class DatabaseFile final
{
public:
    using Status = Recordset::OpenStatus;

    explicit DatabaseFile(const QString &path);

    // Opens db on the file and checks table `table` (in any letter case); a file this user
    // may write is made ready for writes too (see prepareForWrites). Anything but Ok leaves
    // the reason in reason(); db is of no use then.
    Status open(SqliteDb &db, const QString &table);
    QString reason() const;
    // True when the search index may be used unchecked (see indextrust.h), as found at
    // opening, before the file was written.
    bool indexTrusted() const;
    // The message table as the file spells it, and quoted for SQL.
    QString tableName() const;
    QByteArray quotedTable() const;

    // A new file holding an empty message table; a file already there is left alone.
    static bool create(const QString &path, QString *error);

    // The reason given whenever reading the file fails, naming it.
    static QString cannotBeRead(const QString &path, const QString &why);
    // True when a file's first bytes are those of a Microsoft Access (Jet or ACE) database.
    static bool isAccessHeader(const QByteArray &header);

private:
    Status checkHeader(QByteArray *header);
    Status connect(SqliteDb &db, const QByteArray &header);
    Status checkTable(SqliteDb &db, const QString &table);
    // The journal mode, a missing messnum index, and a broken search index's triggers.
    void prepareForWrites(SqliteDb &db);
    void chooseJournalMode(SqliteDb &db);
    void ensureMessnumIndex(SqliteDb &db);

    Status refuse(Status status, const QString &reason);
    // For a read SQLite refused: its result code may say the file is damaged, or none.
    Status refuseRead(const SqliteDb &db, Status otherwise, const QString &reason);
    Status cannotRead(const SqliteDb &db);

    QString m_path;
    QString m_reason;
    QString m_tableName;
    QByteArray m_table;
    bool m_indexTrusted = false;
};
