// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/newmessages.h"

#include "archive/messagearchive.h"
#include "convert/htmltext.h"
#include "results/resultspanel.h"
#include "status/desktopnotice.h"
#include "status/statusstrip.h"
#include "store/readstate.h"
#include "store/recordset.h"
#include "store/sqlitestatement.h"
#include "view/viewer.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

// Marks are written this long after the first of them, so a run of steps writes once.
constexpr int kWriteDelayMs = 5000;

}

NewMessages::NewMessages(const Controls &controls, MessageArchive *archive, Viewer *viewer, ResultsPanel *results,
                         StatusStrip *status, DesktopNotice *notice, QWidget *window)
    : QObject(window)
    , MnuNewMessages(controls.MnuNewMessages)
    , MnuMarkAllRead(controls.MnuMarkAllRead)
    , MnuNotifyNew(controls.MnuNotifyNew)
    , m_archive(archive)
    , m_viewer(viewer)
    , m_results(results)
    , m_status(status)
    , m_notice(notice)
    , m_window(window)
    , m_shownTimer(new QTimer(this))
    , m_writeTimer(new QTimer(this))
{
    m_shownTimer->setSingleShot(true);
    m_shownTimer->setInterval(kShownMs);
    m_writeTimer->setSingleShot(true);
    m_writeTimer->setInterval(kWriteDelayMs);
    MnuNotifyNew->setCheckable(true);
    MnuNotifyNew->setChecked(true);
    connect(MnuNewMessages, &QAction::triggered, this, &NewMessages::listNew);
    connect(MnuMarkAllRead, &QAction::triggered, this, &NewMessages::markAllRead);
    connect(viewer, &Viewer::recordShown, this, &NewMessages::messageShown);
    connect(m_shownTimer, &QTimer::timeout, this, &NewMessages::shownLongEnough);
    connect(m_writeTimer, &QTimer::timeout, this, [this] {
        if (ReadState *state = m_archive->readState())
            state->flush();
    });
    connect(m_notice, &DesktopNotice::activated, this, [this] {
        emit showWindowRequested();
        listNew();
    });
    // A step of the user's is told from the program's own by the key or click before it.
    qApp->installEventFilter(this);
}

bool NewMessages::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        m_inputSinceShown = true;
        break;
    default:
        break;
    }
    return false;
}

void NewMessages::messageShown()
{
    const qint32 n = m_viewer->shownMessageNumber().toInt();
    if (n == m_shown) {
        if (!m_shownTimer->isActive())
            m_shownTimer->start();
        return;
    }
    // Left by the user's own step: stepped past, so read. A listing that shows its second
    // entry and comes back to the first leaves both as they were.
    if (m_shown > 0 && m_inputSinceShown)
        markRead(m_shown);
    m_shown = n;
    m_inputSinceShown = false;
    m_shownTimer->start();
}

void NewMessages::shownLongEnough()
{
    // Rendered behind a minimised or hidden window is not seen.
    if (windowOnScreen() && m_viewer->shownMessageNumber().toInt() == m_shown)
        markRead(m_shown);
}

bool NewMessages::windowOnScreen() const
{
    return m_window->isVisible() && !m_window->isMinimized();
}

void NewMessages::markRead(qint32 messnum)
{
    ReadState *state = m_archive->readState();
    if (!state || messnum <= 0 || state->isMarked(messnum))
        return;
    state->markRead(messnum);
    m_results->readChanged(messnum);
    if (!m_writeTimer->isActive())
        m_writeTimer->start();
}

void NewMessages::listNew()
{
    ReadState *state = m_archive->readState();
    if (!state)
        return;
    // One more than the limit tells a longer list, as a search's walk does.
    std::vector<ReadState::Hit> unread = state->unread(kListLimit + 1);
    std::vector<ResultModel::Hit> hits;
    hits.reserve(unread.size());
    for (const ReadState::Hit &hit : unread)
        hits.push_back({hit.messnum, hit.rowid});
    m_results->listFound(std::move(hits), int(unread.size()) > kListLimit);
}

void NewMessages::markAllRead()
{
    ReadState *state = m_archive->readState();
    if (!state)
        return;
    if (!state->markAllRead())
        m_status->showStatus(QStringLiteral("The messages could not be marked read: ") + state->lastError());
    m_results->allRead();
}

bool NewMessages::notifies() const
{
    return MnuNotifyNew->isChecked();
}

void NewMessages::setNotifies(bool on)
{
    MnuNotifyNew->setChecked(on);
}

void NewMessages::stored(const QList<qint32> &numbers)
{
    if (numbers.isEmpty())
        return;
    const QString count = numbers.size() == 1 ? QStringLiteral("1 new message")
                                              : QStringLiteral("%1 new messages").arg(numbers.size());
    if (!notifies() || windowOnScreen())
        return;
    m_notice->show(count, firstSubjects(numbers).join(u'\n'));
}

QStringList NewMessages::firstSubjects(const QList<qint32> &numbers) const
{
    QStringList subjects;
    Recordset *rs = m_archive->recordset();
    SqliteStatement subject;
    if (!rs || !subject.prepare(rs->connection(), "SELECT messtitle FROM veltra WHERE messnum = ?1 ORDER BY rowid LIMIT 1",
                                false))
        return subjects;
    for (const qint32 n : numbers) {
        if (subjects.size() == kNoticeSubjects)
            break;
        subject.reset();
        if (subject.bindInt64(1, n) && subject.step() == SqliteStatement::Step::Row)
            subjects << HtmlText::shownField(subject.columnBytes(0));
    }
    return subjects;
}

void NewMessages::sayFound()
{
    const ReadState *state = m_archive->readState();
    if (m_said || !state || state->isUsable())
        return;
    m_said = true;
    const char *why = state->found() == ReadState::Found::Newer     ? "was written by a later version"
                      : state->found() == ReadState::Found::Damaged ? "is damaged"
                                                                    : "is not there yet";
    // On the results label, empty at start-up: the status line keeps the message count.
    m_results->setResultsText(QStringLiteral(" The record of messages read %1: every message counts as new until it is shown.")
                                  .arg(QLatin1String(why)));
}

void NewMessages::setShownMoment(int milliseconds)
{
    m_shownTimer->setInterval(milliseconds);
}
