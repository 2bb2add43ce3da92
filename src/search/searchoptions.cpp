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
    checkOnly({MenuKeyPreface, MenuKeyAppend, MenuKeyBracket, MenuKeyNone}, MenuKeyPreface);
}

void SearchPanel::MenuKeyAppend_Click()
{
    checkOnly({MenuKeyPreface, MenuKeyAppend, MenuKeyBracket, MenuKeyNone}, MenuKeyAppend);
}

void SearchPanel::MenuKeyBracket_Click()
{
    checkOnly({MenuKeyPreface, MenuKeyAppend, MenuKeyBracket, MenuKeyNone}, MenuKeyBracket);
}

void SearchPanel::MenuKeyNone_Click()
{
    checkOnly({MenuKeyPreface, MenuKeyAppend, MenuKeyBracket, MenuKeyNone}, MenuKeyNone);
}

QString SearchPanel::searchFieldLine() const
{
    return SettingsFile::searchFieldLine(MenuSearchBody->isChecked(), MenuSearchAuthor->isChecked(),
                                         MenuSearchTitle->isChecked());
}

QString SearchPanel::wildcardLine() const
{
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
    for (const auto &m : modes)
        m.action->setChecked(line == QLatin1String(m.letter));
}

void SearchPanel::MenuOptionsInterrupt_Click()
{
    m_results->requestInterrupt();
}
