// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/conversationcommands.h"

#include "widgets/busystates.h"
#include "archive/deletionmark.h"
#include "archive/messagearchive.h"
#include "browser/browserpane.h"
#include "results/resultspanel.h"
#include "store/recordset.h"
#include "view/viewer.h"
#include "widgets/icons.h"

#include <QAction>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int kConversationLimit = 5000;

}

ConversationCommands::ConversationCommands(const Controls &controls, MessageArchive *archive, Viewer *viewer,
                                           BrowserPane *pane, ResultsPanel *results, BusyStates *busy,
                                           std::function<bool()> searching, QObject *parent)
    : QObject(parent)
    , CmdConversation(controls.CmdConversation)
    , MnuViewConversation(controls.MnuViewConversation)
    , MnuNextInConversation(controls.MnuNextInConversation)
    , MnuPrevInConversation(controls.MnuPrevInConversation)
    , m_archive(archive)
    , m_viewer(viewer)
    , m_results(results)
    , m_busy(busy)
    , m_searching(std::move(searching))
{
    CmdConversation->setIcon(Icons::conversation());
    connect(CmdConversation, &QToolButton::clicked, this, &ConversationCommands::CmdConversation_Click);
    connect(MnuViewConversation, &QAction::triggered, this, &ConversationCommands::CmdConversation_Click);
    connect(MnuNextInConversation, &QAction::triggered, this, [this] { stepInConversation(+1); });
    connect(MnuPrevInConversation, &QAction::triggered, this, [this] { stepInConversation(-1); });

    // Like the flag button, the conversation commands act on the message page only.
    const auto enable = [this](bool on) {
        CmdConversation->setEnabled(on);
        for (QAction *action : {MnuViewConversation, MnuNextInConversation, MnuPrevInConversation})
            action->setEnabled(on);
    };
    connect(pane, &BrowserPane::pageStarting, this, [enable] { enable(false); });
    connect(pane, &BrowserPane::pageEntered, this, [enable](bool messagePage) {
        if (messagePage)
            enable(true);
    });
}

void ConversationCommands::enableKnowledgeBase(bool on)
{
    if (!on)
        CmdConversation->setEnabled(false);
}

std::optional<ConversationCommands::ShownConversation> ConversationCommands::shownConversation()
{
    Recordset *const rs = m_archive->recordset();
    if (m_searching() || !rs || m_viewer->shownMessageNumber().isEmpty())
        return std::nullopt;
    // The cursor is put on the message in view first: other commands may have moved it.
    m_viewer->followShown();
    ShownConversation c;
    if (!rs->current(&c.shown, Recordset::Body::Skipped) || QString::number(c.shown.messnum) != m_viewer->shownMessageNumber())
        return std::nullopt;
    c.members = ConversationIndex::members(rs->connection(), c.shown.messtitle, &c.error);
    if (c.members.empty())
        // No subject to go by, or it could not be read: the message is its own conversation.
        c.members.push_back({0, c.shown.messnum, c.shown.messtitle, c.shown.messauthor, c.shown.messdate});
    return c;
}

void ConversationCommands::CmdConversation_Click()
{
    const std::optional<ShownConversation> conversation = shownConversation();
    if (!conversation)
        return;
    const qint32 shown = conversation->shown.messnum;
    m_results->hideResultSlider();
    emit listedConversation();
    std::vector<ResultModel::Hit> hits;
    int flagged = 0;
    int shownRow = -1;
    for (const ConversationIndex::Member &member : conversation->members) {
        if (int(hits.size()) > kConversationLimit)
            break;
        if (member.messnum == shown && shownRow < 0)
            shownRow = int(hits.size());
        if (DeletionMark::isMarked(member.messdate))
            ++flagged;
        hits.push_back({member.messnum, member.rowid});
    }
    const int count = int(hits.size());
    QString text = count > kConversationLimit ? QStringLiteral("Found>5,000")
                                              : u' ' + QString::number(count) + QStringLiteral(" Found");
    if (!conversation->error.isEmpty())
        text += QStringLiteral(" - ") + conversation->error;
    // The message in view stays in view, selected in the list.
    m_results->showHits(std::move(hits), std::max(shownRow, 0), shown, text);
    m_busy->EnableOn();
    m_results->announceListed(count == flagged);
}

void ConversationCommands::stepInConversation(int delta)
{
    const std::optional<ShownConversation> conversation = shownConversation();
    if (!conversation)
        return;
    const std::vector<ConversationIndex::Member> &members = conversation->members;
    const auto at = std::find_if(members.begin(), members.end(), [&](const ConversationIndex::Member &m) {
        return m.messnum == conversation->shown.messnum;
    });
    if (at == members.end())
        return;
    const qint64 index = qint64(at - members.begin()) + delta;
    if (index < 0 || index >= qint64(members.size()))
        return;
    const qint32 target = members[size_t(index)].messnum;
    // Where the list holds the message, picking its entry shows it and keeps the list in step.
    if (const int row = m_results->rowOf(target); row >= 0) {
        m_results->selectResult(row);
        return;
    }
    m_viewer->showOnSlider(target);
}
