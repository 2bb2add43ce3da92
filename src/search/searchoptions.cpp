#include "app/form1.h"
#include "ui_form1.h"

namespace {

// The menu keeps exactly one mark in a group, whatever the action's own toggle did.
void checkOnly(std::initializer_list<QAction *> group, const QAction *chosen)
{
    for (QAction *a : group)
        a->setChecked(a == chosen);
}

}

void Form1::MenuSearchAuthor_Click()
{
    checkOnly({ui->MenuSearchAuthor, ui->MenuSearchBody, ui->MenuSearchTitle}, ui->MenuSearchAuthor);
    ui->CmdGo->setText(QStringLiteral("Author"));
    ui->CmdGo->setToolTip(QStringLiteral("Search message author"));
}

void Form1::MenuSearchBody_Click()
{
    checkOnly({ui->MenuSearchAuthor, ui->MenuSearchBody, ui->MenuSearchTitle}, ui->MenuSearchBody);
    ui->CmdGo->setText(QStringLiteral("Body"));
    ui->CmdGo->setToolTip(QStringLiteral("Search message body"));
}

void Form1::MenuSearchTitle_Click()
{
    checkOnly({ui->MenuSearchAuthor, ui->MenuSearchBody, ui->MenuSearchTitle}, ui->MenuSearchTitle);
    ui->CmdGo->setText(QStringLiteral("Subject"));
    ui->CmdGo->setToolTip(QStringLiteral("Search message subject"));
}

void Form1::MenuKeyPreface_Click()
{
    checkOnly({ui->MenuKeyPreface, ui->MenuKeyAppend, ui->MenuKeyBracket, ui->MenuKeyNone}, ui->MenuKeyPreface);
}

void Form1::MenuKeyAppend_Click()
{
    checkOnly({ui->MenuKeyPreface, ui->MenuKeyAppend, ui->MenuKeyBracket, ui->MenuKeyNone}, ui->MenuKeyAppend);
}

void Form1::MenuKeyBracket_Click()
{
    checkOnly({ui->MenuKeyPreface, ui->MenuKeyAppend, ui->MenuKeyBracket, ui->MenuKeyNone}, ui->MenuKeyBracket);
}

void Form1::MenuKeyNone_Click()
{
    checkOnly({ui->MenuKeyPreface, ui->MenuKeyAppend, ui->MenuKeyBracket, ui->MenuKeyNone}, ui->MenuKeyNone);
}

void Form1::MenuOptionsInterrupt_Click()
{
    m_state.interruptFlag = true;
}
