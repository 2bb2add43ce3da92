// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/conversationindex.h"
#include "store/searchindex.h"

#include <QObject>
#include <QPointer>

class MessageArchive;

// The archive's two stores kept up in the background: the substring index checked and
// then built or finished for every database opened, and built anew (once a session) when
// the check or a search found it damaged; after it, the conversations. Both stop when the
// database closes or is found damaged, and nothing is written to a read-only or damaged
// file. Searches go on all the while: they read every record until the index has passed
// its check (or from the opening on, when it is trusted: see store/indextrust.h), and those
// it does not cover yet after that.
class IndexUpkeep final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IndexUpkeep)

public:
    // Without `searchIndex` (the program's --no-search-index) the index is removed instead.
    IndexUpkeep(MessageArchive *archive, bool searchIndex, QObject *parent);
    ~IndexUpkeep() override;

    // After a search, an update or a deletion: an index that failed is built anew, one
    // that lacks the newest messages takes them in, and then the conversations.
    void check();

signals:
    // How far the index's build is, records of all.
    void progress(qint64 done, qint64 total);
    // The build is over (done, stopped or failed): its progress is no longer shown.
    void buildEnded();

private:
    void databaseOpened();
    void startSearchIndex(SearchIndexBuilder::Task task);
    void stopSearchIndex();
    void searchIndexFinished(SearchIndexBuilder::Outcome outcome, const QString &detail);
    void checkConversationIndex();
    void stopConversationIndex();

    MessageArchive *m_archive;
    bool m_searchIndex;
    QPointer<SearchIndexBuilder> m_searchIndexBuilder;
    QPointer<ConversationIndexBuilder> m_conversationBuilder;
    bool m_searchIndexRebuilt = false;
    bool m_searchIndexChecked = false; // the index of the database open now passed its check, or was trusted
    bool m_trustedUnchecked = false;   // trusted at opening, the file's own check not passed yet
};
