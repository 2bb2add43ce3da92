// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/conversationindex.h"
#include "store/messagerecord.h"

#include <QObject>

#include <functional>
#include <optional>
#include <vector>

class BrowserPane;
class BusyStates;
class MessageArchive;
class QAction;
class QToolButton;
class ResultsPanel;
class Viewer;

// Conversations: the shown message's whole conversation listed in the result list, and the
// steps to the next and previous message of it. What a conversation is (the subject
// without reply and forward prefixes and the list's tag) is kept in the message database
// beside the messages and built in the background, after the search index.
class ConversationCommands final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConversationCommands)

public:
    struct Controls
    {
        QToolButton *CmdConversation;
        QAction *MnuViewConversation;
        QAction *MnuNextInConversation;
        QAction *MnuPrevInConversation;
    };

    // `searching` tells when a search holds the list and the cursor.
    ConversationCommands(const Controls &controls, MessageArchive *archive, Viewer *viewer, BrowserPane *pane,
                         ResultsPanel *results, BusyStates *busy, std::function<bool()> searching, QObject *parent);

    void CmdConversation_Click();
    void stepInConversation(int delta);
    // A busy state takes the button away; only the message page gives it back.
    void enableKnowledgeBase(bool on);

signals:
    // The result list now holds a conversation, not a search's hits.
    void listedConversation();

private:
    // The message in view and its conversation (the message alone when none can be read,
    // with why in `error`); none while a search runs or nothing is shown.
    struct ShownConversation
    {
        MessageRecord shown;
        std::vector<ConversationIndex::Member> members;
        QString error;
    };
    std::optional<ShownConversation> shownConversation();

    QToolButton *CmdConversation;
    QAction *MnuViewConversation;
    QAction *MnuNextInConversation;
    QAction *MnuPrevInConversation;
    MessageArchive *m_archive;
    Viewer *m_viewer;
    ResultsPanel *m_results;
    BusyStates *m_busy;
    std::function<bool()> m_searching;
};
