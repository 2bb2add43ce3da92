// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/indexupkeep.h"

#include "archive/messagearchive.h"
#include "store/recordset.h"

#include <QDebug>

IndexUpkeep::IndexUpkeep(MessageArchive *archive, bool searchIndex, QObject *parent)
    : QObject(parent)
    , m_archive(archive)
    , m_searchIndex(searchIndex)
{
    // The index follows the database open now; nothing more is written to a damaged one,
    // the index's pages included, and nothing holds the file when it is taken alone.
    connect(archive, &MessageArchive::opened, this, &IndexUpkeep::databaseOpened);
    connect(archive, &MessageArchive::closing, this, &IndexUpkeep::stopConversationIndex);
    connect(archive, &MessageArchive::damaged, this, &IndexUpkeep::stopConversationIndex);
    // A trusted index was in use from the opening: after the file's check it is only
    // counted and finished, not checked deeply.
    connect(archive, &MessageArchive::checkPassed, this, [this] {
        m_trustedUnchecked = false;
        Recordset *const rs = m_archive->recordset();
        if (!m_searchIndexChecked)
            startSearchIndex(SearchIndexBuilder::Task::Verify);
        else if (rs && rs->searchIndexFailed())
            check(); // a search met damage meanwhile: built anew now
        else
            startSearchIndex(SearchIndexBuilder::Task::Build);
    });
    connect(archive, &MessageArchive::damaged, this, &IndexUpkeep::stopSearchIndex);
    // Damage the file's check found in a file whose index was trusted unchecked: finds read
    // every record again, as they would have before the check.
    connect(archive, &MessageArchive::damaged, this, [this] {
        Recordset *const rs = m_archive->recordset();
        if (!m_trustedUnchecked || !rs)
            return;
        m_trustedUnchecked = false;
        m_searchIndexChecked = false;
        rs->setSearchIndexUse(false);
        rs->setSearchIndexVouched(false);
    });
    connect(archive, &MessageArchive::closing, this, &IndexUpkeep::stopSearchIndex);
}

IndexUpkeep::~IndexUpkeep() = default;

void IndexUpkeep::databaseOpened()
{
    // An index the opening found as this program left it at a clean close, after its check,
    // is used at once. Any other is checked once the file's own check has passed; finds read
    // every record until then. A read-only file cannot be mended, so its index is used as
    // it is.
    Recordset *const rs = m_archive->recordset();
    const bool trusted = m_searchIndex && !rs->isReadOnly() && rs->searchIndexTrusted();
    m_searchIndexChecked = trusted;
    m_trustedUnchecked = trusted;
    rs->setSearchIndexUse((rs->isReadOnly() || trusted) && m_searchIndex);
    rs->setSearchIndexVouched(trusted);
}

void IndexUpkeep::startSearchIndex(SearchIndexBuilder::Task task)
{
    stopSearchIndex();
    Recordset *const rs = m_archive->recordset();
    // Nothing may be written to a damaged or read-only file; its finds read every record.
    if (!rs || rs->isReadOnly() || rs->isDamaged())
        return;
    if (!m_searchIndex) {
        rs->setSearchIndexUse(false);
        rs->setSearchIndexVouched(false);
        task = SearchIndexBuilder::Task::Remove;
    }
    auto *builder = new SearchIndexBuilder(this);
    m_searchIndexBuilder = builder;
    connect(builder, &SearchIndexBuilder::progress, this, &IndexUpkeep::progress);
    connect(builder, &SearchIndexBuilder::usable, this, [this] {
        m_searchIndexChecked = true;
        if (Recordset *rs = m_archive->recordset()) {
            rs->setSearchIndexUse(m_searchIndex);
            rs->setSearchIndexVouched(m_searchIndex);
        }
    });
    connect(builder, &SearchIndexBuilder::finished, this,
            [this, builder](SearchIndexBuilder::Outcome outcome, const QString &detail) {
                builder->deleteLater();
                searchIndexFinished(outcome, detail);
            });
    builder->start(rs->databasePath(), task);
}

void IndexUpkeep::stopSearchIndex()
{
    // Joins the worker; what it built so far stays, and the next start goes on from there.
    delete m_searchIndexBuilder.data();
    searchIndexFinished(SearchIndexBuilder::Outcome::Stopped, QString());
}

void IndexUpkeep::searchIndexFinished(SearchIndexBuilder::Outcome outcome, const QString &detail)
{
    // One writer at a time: the conversations are built after the words.
    if (outcome != SearchIndexBuilder::Outcome::Stopped)
        QMetaObject::invokeMethod(this, &IndexUpkeep::checkConversationIndex, Qt::QueuedConnection);
    emit buildEnded();
    // Finds go on reading every record when the index could not be built; only the log hears why.
    if (!detail.isEmpty())
        qInfo().noquote() << "search index:" << detail;
    Recordset *const rs = m_archive->recordset();
    if (outcome == SearchIndexBuilder::Outcome::Ready && m_searchIndexChecked && rs && m_searchIndex)
        rs->setSearchIndexUse(true);
}

void IndexUpkeep::check()
{
    // Until the index has been checked (after the file's own check at opening) nothing is
    // added to it; a trusted one waits for the file's check too.
    Recordset *const rs = m_archive->recordset();
    if (!rs || m_searchIndexBuilder || !m_searchIndexChecked || m_trustedUnchecked)
        return;
    if (!rs->searchIndexFailed()) {
        // New messages are taken in now, many at a time, and deleted ones let go of; finds
        // read the new ones meanwhile and pass over the deleted ones.
        if (m_searchIndex && (!rs->searchIndexComplete() || SearchIndex::backlog(rs->connection()) > 0))
            startSearchIndex(SearchIndexBuilder::Task::Build);
        else
            checkConversationIndex();
        return;
    }
    if (m_searchIndexRebuilt)
        return;
    m_searchIndexRebuilt = true;
    startSearchIndex(SearchIndexBuilder::Task::Rebuild);
}

void IndexUpkeep::checkConversationIndex()
{
    Recordset *const rs = m_archive->recordset();
    if (!rs || rs->isReadOnly() || rs->isDamaged() || m_conversationBuilder || m_searchIndexBuilder)
        return;
    if (ConversationIndex::backlog(rs->connection()) == 0)
        return;
    auto *builder = new ConversationIndexBuilder(this);
    m_conversationBuilder = builder;
    connect(builder, &ConversationIndexBuilder::finished, this,
            [builder](ConversationIndexBuilder::Outcome, const QString &detail) {
                builder->deleteLater();
                // Lookups read the titles the store lacks; only the log hears why it stopped.
                if (!detail.isEmpty())
                    qInfo().noquote() << "conversations:" << detail;
            });
    builder->start(rs->databasePath());
}

void IndexUpkeep::stopConversationIndex()
{
    // Joins the worker; what it built so far stays.
    delete m_conversationBuilder.data();
}
