// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/searchpanel.h"

#include "base/settingsfile.h"
#include "results/resultspanel.h"

#include <QAction>
#include <QPushButton>

namespace {

// The menu keeps exactly one mark in a group, whatever the action's own toggle did.
void checkOnly(std::initializer_list<QAction *> group, const QAction *chosen)
{
    for (QAction *a : group)
        a->setChecked(a == chosen);
}

}

void SearchPanel::MenuSearchAuthor_Click()
{
    checkOnly({MenuSearchAuthor, MenuSearchBody, MenuSearchTitle}, MenuSearchAuthor);
    CmdGo->setText(QStringLiteral("Author"));
    CmdGo->setToolTip(QStringLiteral("Search message author"));
}

void SearchPanel::MenuSearchBody_Click()
{
    checkOnly({MenuSearchAuthor, MenuSearchBody, MenuSearchTitle}, MenuSearchBody);
    CmdGo->setText(QStringLiteral("Body"));
    CmdGo->setToolTip(QStringLiteral("Search message body"));
}

void SearchPanel::MenuSearchTitle_Click()
{
    checkOnly({MenuSearchAuthor, MenuSearchBody, MenuSearchTitle}, MenuSearchTitle);
    CmdGo->setText(QStringLiteral("Subject"));
    CmdGo->setToolTip(QStringLiteral("Search message subject"));
}

void SearchPanel::MenuKeyPreface_Click()
{
    checkWildcard(MenuKeyPreface);
}

void SearchPanel::MenuKeyAppend_Click()
{
    checkWildcard(MenuKeyAppend);
}

void SearchPanel::MenuKeyBracket_Click()
{
    checkWildcard(MenuKeyBracket);
}

void SearchPanel::MenuKeyNone_Click()
{
    checkWildcard(MenuKeyNone);
}

void SearchPanel::MenuKeyWords_Click()
{
    setWholeWords(true);
}

void SearchPanel::checkWildcard(QAction *chosen)
{
    checkOnly({MenuKeyPreface, MenuKeyAppend, MenuKeyBracket, MenuKeyNone, MenuKeyWords}, chosen);
    m_wildcard = chosen;
}

// Whole words stand beside the four modes in the menu; the mode chosen before stays the
// one KnowledgeBase.ini is written with, and comes back when whole words are turned off.
void SearchPanel::setWholeWords(bool on)
{
    if (on)
        checkOnly({MenuKeyPreface, MenuKeyAppend, MenuKeyBracket, MenuKeyNone, MenuKeyWords}, MenuKeyWords);
    else if (MenuKeyWords->isChecked())
        checkWildcard(m_wildcard ? m_wildcard : MenuKeyBracket);
}

bool SearchPanel::wholeWords() const
{
    return MenuKeyWords->isChecked();
}

QString SearchPanel::searchFieldLine() const
{
    return SettingsFile::searchFieldLine(MenuSearchBody->isChecked(), MenuSearchAuthor->isChecked(),
                                         MenuSearchTitle->isChecked());
}

QString SearchPanel::wildcardLine() const
{
    // While whole words are chosen, the mode chosen before them.
    const QAction *mode = MenuKeyWords->isChecked() ? m_wildcard : nullptr;
    if (mode)
        return SettingsFile::wildcardLine(mode == MenuKeyPreface, mode == MenuKeyAppend, mode == MenuKeyBracket,
                                          mode == MenuKeyNone);
    return SettingsFile::wildcardLine(MenuKeyPreface->isChecked(), MenuKeyAppend->isChecked(), MenuKeyBracket->isChecked(),
                                      MenuKeyNone->isChecked());
}

void SearchPanel::applySearchField(const QString &line)
{
    MenuSearchAuthor->setChecked(false);
    MenuSearchTitle->setChecked(false);
    MenuSearchBody->setChecked(false);
    const struct { const char *item; QAction *action; } fields[] = {
        {"Body", MenuSearchBody}, {"Author", MenuSearchAuthor}, {"Subject", MenuSearchTitle}};
    for (const auto &f : fields) {
        if (line == QLatin1String(f.item)) {
            f.action->setChecked(true);
            CmdGo->setText(QLatin1String(f.item));
            CmdGo->setToolTip(QStringLiteral("Search message ") + QLatin1String(f.item));
        }
    }
}

void SearchPanel::applyWildcard(const QString &line)
{
    const struct { const char *letter; QAction *action; } modes[] = {
        {"P", MenuKeyPreface}, {"A", MenuKeyAppend}, {"B", MenuKeyBracket}, {"N", MenuKeyNone}};
    m_wildcard = nullptr;
    for (const auto &m : modes) {
        m.action->setChecked(line == QLatin1String(m.letter));
        if (m.action->isChecked())
            m_wildcard = m.action;
    }
    MenuKeyWords->setChecked(false);
}

void SearchPanel::MenuOptionsInterrupt_Click()
{
    m_results->requestInterrupt();
}
