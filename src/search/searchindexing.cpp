// The substring index kept up from the window: checked and then built or finished in the
// background for every database opened, its progress in the status line while nothing
// else writes there, and built anew when the check or a search found it damaged. Searches
// go on all the while; they read every record until the index has passed its check, and
// those it does not cover yet after that.
#include "app/form1.h"
#include "store/recordset.h"
#include "ui_form1.h"

#include <QDebug>

namespace {

// Messages left to index below which the status line is left alone.
constexpr qint64 kQuietIndexWork = 5000;

}

void Form1::startSearchIndex(SearchIndexBuilder::Task task)
{
    stopSearchIndex();
    // Nothing may be written to a damaged or read-only file; its finds read every record.
    if (!m_data1 || m_data1->isReadOnly() || m_data1->isDamaged())
        return;
    if (!m_config.searchIndex) {
        m_data1->setSearchIndexUse(false);
        task = SearchIndexBuilder::Task::Remove;
    }
    auto *builder = new SearchIndexBuilder(this);
    m_searchIndexBuilder = builder;
    connect(builder, &SearchIndexBuilder::progress, this, &Form1::searchIndexProgress);
    connect(builder, &SearchIndexBuilder::usable, this, [this] {
        m_searchIndexChecked = true;
        if (m_data1)
            m_data1->setSearchIndexUse(m_config.searchIndex);
    });
    connect(builder, &SearchIndexBuilder::finished, this,
            [this, builder](SearchIndexBuilder::Outcome outcome, const QString &detail) {
                builder->deleteLater();
                searchIndexFinished(outcome, detail);
            });
    builder->start(m_data1->databasePath(), task);
}

void Form1::stopSearchIndex()
{
    // Joins the worker; what it built so far stays, and the next start goes on from there.
    delete m_searchIndexBuilder.data();
    searchIndexFinished(SearchIndexBuilder::Outcome::Stopped, QString());
}

void Form1::searchIndexProgress(qint64 done, qint64 total)
{
    // An update's texts come first; the build's come back with its next step. A small
    // archive, or an update's new messages, are in too soon to be worth a word.
    if (m_state.updateRunning || (m_indexProgressText.isEmpty() && total - done < kQuietIndexWork))
        return;
    QLabel *const status = ui->LblUpdateStatus;
    if (status->text() != m_indexProgressText)
        m_statusBeforeIndex = status->text();
    const qint64 percent = total > 0 ? std::min<qint64>(100, done * 100 / total) : 100;
    m_indexProgressText = QStringLiteral("Building the search index: %1%").arg(percent);
    status->setText(m_indexProgressText);
}

void Form1::searchIndexFinished(SearchIndexBuilder::Outcome outcome, const QString &detail)
{
    QLabel *const status = ui->LblUpdateStatus;
    if (!m_indexProgressText.isEmpty() && status->text() == m_indexProgressText)
        status->setText(m_statusBeforeIndex);
    m_indexProgressText.clear();
    // Finds go on reading every record when the index could not be built; only the log hears why.
    if (!detail.isEmpty())
        qInfo().noquote() << "search index:" << detail;
    if (outcome == SearchIndexBuilder::Outcome::Ready && m_searchIndexChecked && m_data1 && m_config.searchIndex)
        m_data1->setSearchIndexUse(true);
}

void Form1::checkSearchIndex()
{
    // Until the index has been checked (after the file's own check at opening) nothing is
    // added to it.
    if (!m_data1 || m_searchIndexBuilder || !m_searchIndexChecked)
        return;
    if (!m_data1->searchIndexFailed()) {
        // New messages are taken in now, many at a time; finds read them meanwhile.
        if (m_config.searchIndex && !m_data1->searchIndexComplete())
            startSearchIndex(SearchIndexBuilder::Task::Build);
        return;
    }
    if (m_searchIndexRebuilt)
        return;
    m_searchIndexRebuilt = true;
    startSearchIndex(SearchIndexBuilder::Task::Rebuild);
}
