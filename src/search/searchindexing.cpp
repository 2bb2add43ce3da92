// SPDX-License-Identifier: GPL-3.0-or-later
// The substring index kept up from the window: checked and then built or finished in the
// background for every database opened, its progress in the status line while nothing
// else writes there, and built anew when the check or a search found it damaged. Searches
// go on all the while; they read every record until the index has passed its check, and
// those it does not cover yet after that.
#include "search/searchpanel.h"
#include "archive/messagearchive.h"
#include "store/recordset.h"
#include "status/statusstrip.h"

#include <QDebug>

namespace {

// Messages left to index below which the status line is left alone.
constexpr qint64 kQuietIndexWork = 5000;

}

void SearchPanel::startSearchIndex(SearchIndexBuilder::Task task)
{
    stopSearchIndex();
    Recordset *const rs = m_archive->recordset();
    // Nothing may be written to a damaged or read-only file; its finds read every record.
    if (!rs || rs->isReadOnly() || rs->isDamaged())
        return;
    if (!m_config.searchIndex) {
        rs->setSearchIndexUse(false);
        task = SearchIndexBuilder::Task::Remove;
    }
    auto *builder = new SearchIndexBuilder(this);
    m_searchIndexBuilder = builder;
    connect(builder, &SearchIndexBuilder::progress, this, &SearchPanel::searchIndexProgress);
    connect(builder, &SearchIndexBuilder::usable, this, [this] {
        m_searchIndexChecked = true;
        if (Recordset *rs = m_archive->recordset())
            rs->setSearchIndexUse(m_config.searchIndex);
    });
    connect(builder, &SearchIndexBuilder::finished, this,
            [this, builder](SearchIndexBuilder::Outcome outcome, const QString &detail) {
                builder->deleteLater();
                searchIndexFinished(outcome, detail);
            });
    builder->start(rs->databasePath(), task);
}

void SearchPanel::stopSearchIndex()
{
    // Joins the worker; what it built so far stays, and the next start goes on from there.
    delete m_searchIndexBuilder.data();
    searchIndexFinished(SearchIndexBuilder::Outcome::Stopped, QString());
}

void SearchPanel::searchIndexProgress(qint64 done, qint64 total)
{
    // A small archive, or an update's new messages, are in too soon to be worth a word.
    if (!m_status->showsBackgroundProgress() && total - done < kQuietIndexWork)
        return;
    const qint64 percent = total > 0 ? std::min<qint64>(100, done * 100 / total) : 100;
    m_status->showBackgroundProgress(QStringLiteral("Building the search index: %1%").arg(percent), done, total);
}

void SearchPanel::searchIndexFinished(SearchIndexBuilder::Outcome outcome, const QString &detail)
{
    // One writer at a time: the conversations are built after the words.
    if (outcome != SearchIndexBuilder::Outcome::Stopped)
        QMetaObject::invokeMethod(this, &SearchPanel::checkConversationIndex, Qt::QueuedConnection);
    m_status->endBackgroundProgress();
    // Finds go on reading every record when the index could not be built; only the log hears why.
    if (!detail.isEmpty())
        qInfo().noquote() << "search index:" << detail;
    Recordset *const rs = m_archive->recordset();
    if (outcome == SearchIndexBuilder::Outcome::Ready && m_searchIndexChecked && rs && m_config.searchIndex)
        rs->setSearchIndexUse(true);
}

void SearchPanel::checkSearchIndex()
{
    // Until the index has been checked (after the file's own check at opening) nothing is
    // added to it.
    Recordset *const rs = m_archive->recordset();
    if (!rs || m_searchIndexBuilder || !m_searchIndexChecked)
        return;
    if (!rs->searchIndexFailed()) {
        // New messages are taken in now, many at a time, and deleted ones let go of; finds
        // read the new ones meanwhile and pass over the deleted ones.
        if (m_config.searchIndex && (!rs->searchIndexComplete() || SearchIndex::backlog(rs->connection()) > 0))
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

void SearchPanel::databaseOpened()
{
    // The index is checked once the file's own check has passed; finds read every record
    // until then. A read-only file cannot be mended, so its index is used as it is.
    Recordset *const rs = m_archive->recordset();
    m_searchIndexChecked = false;
    rs->setSearchIndexUse(rs->isReadOnly() && m_config.searchIndex);
}
