#include "app/form1.h"
#include "ui_form1.h"

#include "browser/browser.h"

#include <QApplication>
#include <QKeyEvent>

void Form1::connectPageCommands()
{
    connectMenus({
        {ui->MenuFilePrint, &Form1::MenuFilePrint_Click},     {ui->MenuFileSaveAs, &Form1::MenuFileSaveAs_Click},
        {ui->MnuPageSetup, &Form1::MnuPageSetup_Click},       {ui->MnuPrintPreview, &Form1::MnuPrintPreview_Click},
        {ui->MnuFind, &Form1::MnuFind_Click},
    });
}

void Form1::MenuFilePrint_Click()
{
    m_web1->execWB(Browser::Print, Browser::PromptUser);
}

void Form1::MenuFileSaveAs_Click()
{
    m_web1->execWB(Browser::SaveAs, Browser::PromptUser);
}

void Form1::MnuPageSetup_Click()
{
    m_web1->execWB(Browser::PageSetup, Browser::DoDefault);
}

void Form1::MnuPrintPreview_Click()
{
    m_web1->execWB(Browser::PrintPreview, Browser::DoDefault);
}

void Form1::MnuFind_Click()
{
    // Ctrl+F goes into the keyboard input of whatever has the focus; the page answers it
    // with its find dialog, another control with whatever Ctrl+F means there.
    QWidget *target = QApplication::focusWidget();
    if (!target)
        target = QApplication::activeWindow();
    if (!target)
        return;
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_F, Qt::ControlModifier, QStringLiteral("\x06")));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, Qt::Key_F, Qt::ControlModifier, QStringLiteral("\x06")));
}
