// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/databaselock.h"
#include "archive/rescue.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

class IntegrityCheck;
class ReadState;
class Recordset;

// The message database of one data folder, without widgets: the shared cursor every part
// reads through, the folder lock every running copy holds, the message counts the window
// shows, and the watch for damage. Opening asks nothing itself: each step's outcome goes
// back to the caller, who talks to the user.
class MessageArchive final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MessageArchive)

public:
    explicit MessageArchive(const QString &folder, QObject *parent = nullptr);
    ~MessageArchive() override;

    QString folder() const;
    QString databasePath() const;
    Recordset *recordset() const; // null while no database is open
    // Which messages have been shown, in the database open now (null while none is);
    // the marks held are written when it closes.
    ReadState *readState() const;
    // Changes whenever a database is opened or closed: a cursor kept from before is stale.
    quint64 generation() const;

    enum class OpenStatus { Opened, NoLock, Missing, NotCreated, Damaged, Failed };
    struct Opening
    {
        OpenStatus status = OpenStatus::Failed;
        QString reason;          // why it did not open
        QString recovered;       // what a cut-off compaction's recovery did, if anything
        QStringList leftovers;   // files of a cut-off compaction removed beside it
    };
    // Takes the shared lock, puts back what a cut-off compaction left, and opens the
    // file. `startUp` also clears a cut-off compaction's copy beside a sound file.
    Opening open(bool startUp);
    // A new empty database where there was none, then opened; false with the reason.
    bool createAndOpen(Opening *opening);
    bool isReadOnly() const;

    // msgCount and lastMsgNum from the table; false without a database.
    bool countMessages();
    qint32 messageCount() const;
    qint32 lastMessageNumber() const;
    // What an update learnt: the newest number it reached, and the count after it.
    void setLastMessageNumber(qint32 number);
    void setMessageCount(qint32 count);
    // "n Messages" + lastLabel + the last message number, as the status label shows them.
    QString countText(const QString &lastLabel) const;

    // Starts the background check of the file open now; damage found there or by any read
    // is reported once through damaged().
    void watchForDamage();
    // Damage found while opening: reported once, at once.
    void reportDamage(const QString &reason);

    // Closes the database cleanly (the check and closing() first); at the program's end,
    // while every part listening is still there. The destructor does the same.
    void close();
    // Closes the database once no other copy has it open (the lock is then held alone);
    // false, with the reason, otherwise.
    bool takeAlone(QString *reason);
    void backToShared();
    // Saves what can be read of a damaged database into a new one put in its place; the
    // lock must be held alone.
    Rescue::Result rescue(const Compaction::Progress &progress = {});

signals:
    // A database was opened: the finds' use of the search index is set anew.
    void opened();
    // The database is about to close: every connection to the file must go first.
    void closing();
    // The background check found the file sound.
    void checkPassed();
    // Damage was found; told once, from the event loop.
    void damaged(const QString &reason);

private:
    void stopCheck();
    void openReadState();

    QString m_folder;
    std::unique_ptr<Recordset> m_data1;
    std::unique_ptr<ReadState> m_readState;
    DatabaseLock m_databaseLock; // held from start-up to the end, exclusive while compacting
    QPointer<IntegrityCheck> m_check;
    quint64 m_generation = 0;
    qint32 msgCount = 0;
    qint32 lastMsgNum = 0;
    bool m_damageReported = false;
};
