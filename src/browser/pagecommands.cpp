// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/browserpane.h"

#include "widgets/menuwiring.h"

#include "browser/browser.h"
#include "base/zoomsteps.h"

#include <QAction>
#include <QWidget>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>

namespace {

const QKeySequence kFindKey(Qt::CTRL | Qt::Key_F);

}

void BrowserPane::connectPageCommands()
{
    connectMenus(this, {
        {MenuFilePrint, &BrowserPane::MenuFilePrint_Click},     {MenuFileSaveAs, &BrowserPane::MenuFileSaveAs_Click},
        {MnuPageSetup, &BrowserPane::MnuPageSetup_Click},       {MnuPrintPreview, &BrowserPane::MnuPrintPreview_Click},
        {MnuFind, &BrowserPane::MnuFind_Click},
        {MnuZoomIn, &BrowserPane::MnuZoomIn_Click},     {MnuZoomOut, &BrowserPane::MnuZoomOut_Click},
        {MnuZoomReset, &BrowserPane::MnuZoomReset_Click},
    });

    // On the menu items the keys show in the menus, and a disabled item ignores its key.
    MnuFind->setShortcut(kFindKey);
    MenuFilePrint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    // "Find" types Ctrl+F into the focused control, and a typed key goes through the
    // shortcuts first: while that key is on its way the item's own key is taken off, or
    // it would run the item again, without end. The key is put back two event-loop
    // turns later, so it is after the typed key whether this runs before or after the
    // item's handler.
    connect(MnuFind, &QAction::triggered, this, [this] {
        MnuFind->setShortcut(QKeySequence());
        QMetaObject::invokeMethod(
            this,
            [this] { QMetaObject::invokeMethod(this, [this] { MnuFind->setShortcut(kFindKey); }, Qt::QueuedConnection); },
            Qt::QueuedConnection);
    });
}

int BrowserPane::zoomPercent() const
{
    return qRound(m_web1->zoomFactor() * 100);
}

void BrowserPane::setZoomPercent(int percent)
{
    m_web1->setZoomFactor(ZoomSteps::bounded(percent) / 100.0);
}

void BrowserPane::MnuZoomIn_Click()
{
    setZoomPercent(ZoomSteps::next(zoomPercent(), +1));
}

void BrowserPane::MnuZoomOut_Click()
{
    setZoomPercent(ZoomSteps::next(zoomPercent(), -1));
}

void BrowserPane::MnuZoomReset_Click()
{
    setZoomPercent(100);
}

void BrowserPane::MenuFilePrint_Click()
{
    m_web1->execWB(Browser::Print, Browser::PromptUser);
}

void BrowserPane::MenuFileSaveAs_Click()
{
    m_web1->execWB(Browser::SaveAs, Browser::PromptUser);
}

void BrowserPane::MnuPageSetup_Click()
{
    m_web1->execWB(Browser::PageSetup, Browser::DoDefault);
}

void BrowserPane::MnuPrintPreview_Click()
{
    m_web1->execWB(Browser::PrintPreview, Browser::DoDefault);
}

void BrowserPane::MnuFind_Click()
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
