// SPDX-License-Identifier: GPL-3.0-or-later
// Conversations: the shown message's whole conversation listed in the result list, and the
// steps to the next and previous message of it. What a conversation is (the subject
// without reply and forward prefixes and the list's tag) is kept in the message database
// beside the messages and built in the background, after the search index.
#include "search/searchpanel.h"
#include "ui_form1.h"

#include "app/busystates.h"
#include "archive/messagearchive.h"
#include "browser/browserpane.h"
#include "archive/deletionmark.h"
#include "store/conversationindex.h"
#include "store/recordset.h"
#include "view/resultline.h"
#include "view/viewer.h"

#include <QAction>
#include <QDebug>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int kConversationLimit = 5000;

}

void SearchPanel::connectConversations(const Ui::Form1 &ui)
{
    CmdConversation = ui.CmdConversation;
    MnuViewConversation = ui.MnuViewConversation;
    MnuNextInConversation = ui.MnuNextInConversation;
    MnuPrevInConversation = ui.MnuPrevInConversation;
    connect(CmdConversation, &QToolButton::clicked, this, &SearchPanel::CmdConversation_Click);
    connect(MnuViewConversation, &QAction::triggered, this, &SearchPanel::CmdConversation_Click);
    connect(MnuNextInConversation, &QAction::triggered, this, [this] { stepInConversation(+1); });
    connect(MnuPrevInConversation, &QAction::triggered, this, [this] { stepInConversation(-1); });

    // Like the flag button, the conversation commands act on the message page only.
    const auto enable = [this](bool on) {
        CmdConversation->setEnabled(on);
        for (QAction *action : {MnuViewConversation, MnuNextInConversation, MnuPrevInConversation})
            action->setEnabled(on);
    };
    connect(m_pane, &BrowserPane::pageStarting, this, [enable] { enable(false); });
    connect(m_pane, &BrowserPane::pageEntered, this, [enable](bool messagePage) {
        if (messagePage)
            enable(true);
    });
    connect(m_archive, &MessageArchive::closing, this, &SearchPanel::stopConversationIndex);
    connect(m_archive, &MessageArchive::damaged, this, &SearchPanel::stopConversationIndex);
}

std::optional<SearchPanel::ShownConversation> SearchPanel::shownConversation()
{
    Recordset *const rs = m_archive->recordset();
    if (m_searchRunning || !Combo1->isEnabled() || !rs || m_viewer->shownMessageNumber().isEmpty())
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

void SearchPanel::CmdConversation_Click()
{
    const std::optional<ShownConversation> conversation = shownConversation();
    if (!conversation)
        return;
    const MessageRecord *const shown = &conversation->shown;
    const std::vector<ConversationIndex::Member> &members = conversation->members;
    const QString &error = conversation->error;

    List1->clear();
    HPic2->hide();
    m_hitTexts.clear(); // F3 has no searched words to find in a conversation
    QStringList lines;
    int flagged = 0;
    int shownRow = -1;
    for (const ConversationIndex::Member &member : members) {
        if (lines.size() > kConversationLimit)
            break;
        if (member.messnum == shown->messnum && shownRow < 0)
            shownRow = int(lines.size());
        if (DeletionMark::isMarked(member.messdate))
            ++flagged;
        lines << ResultLine::text(member.messnum, member.messtitle);
    }
    List1->addItems(lines);
    const int count = int(lines.size());

    ResultList::setForeColor(lblResults, ResultList::kDoneColor);
    QString text = count > kConversationLimit ? QStringLiteral("Found>5,000")
                                              : u' ' + QString::number(count) + QStringLiteral(" Found");
    if (!error.isEmpty())
        text += QStringLiteral(" - ") + error;
    lblResults->setText(text);

    // The message in view stays in view, selected in the list.
    shownRow = std::max(shownRow, 0);
    hscroll2->setMaximum(std::max(1, count - 1));
    {
        const QSignalBlocker blocker(List1);
        List1->setCurrentRow(shownRow);
    }
    listMsgNum = shown->messnum;
    listSyncing = true;
    hscroll2->setValue(shownRow);
    listSyncing = false;
    if (count > 1)
        HPic2->show();
    List1->setEnabled(true);
    List1->setFocus(Qt::ShortcutFocusReason);
    m_busy->EnableOn();
    emit listed(count == flagged);
}

void SearchPanel::stepInConversation(int delta)
{
    const std::optional<ShownConversation> conversation = shownConversation();
    if (!conversation)
        return;
    const MessageRecord *const shown = &conversation->shown;
    const std::vector<ConversationIndex::Member> &members = conversation->members;
    const auto at = std::find_if(members.begin(), members.end(),
                                 [&](const ConversationIndex::Member &m) { return m.messnum == shown->messnum; });
    if (at == members.end())
        return;
    const qint64 index = qint64(at - members.begin()) + delta;
    if (index < 0 || index >= qint64(members.size()))
        return;
    const qint32 target = members[size_t(index)].messnum;
    // Where the list holds the message, picking its entry shows it and keeps the list in step.
    for (int row = 0; row < List1->count(); ++row) {
        if (ResultLine::number(List1->item(row)->text()) == target) {
            List1->setCurrentRow(row);
            return;
        }
    }
    m_viewer->showOnSlider(target);
}

// ---- the store kept up in the background ----

void SearchPanel::checkConversationIndex()
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

void SearchPanel::stopConversationIndex()
{
    // Joins the worker; what it built so far stays.
    delete m_conversationBuilder.data();
}
