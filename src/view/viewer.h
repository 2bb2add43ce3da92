// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "store/recordset.h"

class BrowserPane;
class BusyStates;
class MessageArchive;
class QAction;
class QScrollBar;
class QTimer;
class QToolButton;
class Browser;

// The message viewer: the all-messages slider, the step buttons and their repeat
// (Timer3), and the rendering of the current record into the message page.
class Viewer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Viewer)

public:
    struct Controls
    {
        QScrollBar *hscroll1;
        QToolButton *H1Down;
        QToolButton *H1Up;
        QToolButton *H2Down;
        QToolButton *H2Up;
        QAction *MenuViewOriginal;
    };

    Viewer(const Controls &controls, MessageArchive *archive, Browser *web1, BrowserPane *pane, BusyStates *busy,
           const QString &archiveBase, QObject *parent);

    // Renders the current record into the message page (while rendering is not paused).
    void TryToDisplay();
    // Finds the message by number from the first record and renders it; a number without
    // a message renders nothing and leaves the cursor on the first record.
    void showMessageNumber(qint32 messnum);
    // Shows n through the slider where it can stand at n, so its change renders it.
    void showOnSlider(qint32 n);
    // Brings n back into view: the page on disk is shown again while it still holds n.
    void showAgain(qint32 n);
    // A walk over many records renders none of them meanwhile.
    void pauseRendering(bool paused);

    // The slider's reach: the last message number, a number an update stored beyond it,
    // and the first message (its value 1).
    void setLastNumber(qint32 last);
    void extendTo(qint32 n);
    bool reaches(qint32 n) const;
    // Shows message 1; where the slider stands at 1 already it is shown all the same, so
    // the view and the cursor agree.
    void showFirst();
    // The start-up steps: the reach, then 1, 2, 1 so the first message is rendered once the
    // window is laid out; or, given a stored number, that message.
    void start(qint32 last, bool counted, qint32 startAt = 0);
    // The window shown again (from the tray): the reach follows the count, the message in
    // view stays, and the cursor stands on it.
    void resume(qint32 last, bool counted);
    // Puts the shared cursor back on the message on screen, after a command that moved it
    // elsewhere without showing anything (a search, the end of an update), so the next
    // step goes on from what the user sees.
    void followShown();
    // The first record in stored order, shown: the end of the first update into an empty
    // database.
    void showFirstStored();
    // One record on or back in stored order from the message on screen, as > and < do,
    // without a repeat (the keys' own repeat steps again).
    void step(int delta);

    // True while the keyboard works the step buttons or sliders: the focus is on one of
    // them and came there, or was last used there, by key. The page shown by such a step
    // leaves the focus where it is, so the next key press steps again.
    bool keyboardOnSteps() const;
    // The busy state switches the slider with the knowledge-base controls.
    void enableKnowledgeBase(bool on);
    // Another part's stepping control (the results slider) counts among the steps.
    void watchSteps(QWidget *control);

    QString shownMessageNumber() const;
    qint32 sliderMessageNumber() const;
    QString messagePagePath() const;
    bool isMessagePageUrl(const QString &url) const;

signals:
    // A record was rendered (or its rendering tried); flagged tells its deletion mark.
    void recordShown(bool flagged);
    // H2Down / H2Up: one step along the results slider.
    void resultStep(int delta);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool messagePageShows(qint32 messnum) const;
    void MenuViewOriginal_Click();
    void H1Down_MouseDown();
    void H1Up_MouseDown();
    void H2Down_MouseDown();
    void H2Up_MouseDown();
    void H1Down_MouseUp();
    void H1Up_MouseUp();
    void H2Down_MouseUp();
    void H2Up_MouseUp();
    void Timer3_Timer();
    void hscroll1_Change();
    void hscroll1_Scroll();
    void setRepeat(bool on);

    QScrollBar *hscroll1;
    QList<QWidget *> m_stepControls; // the buttons and both sliders (the results slider watched for its part)
    bool m_stepsByKey = false;
    QToolButton *H1Down;
    QToolButton *H1Up;
    QToolButton *H2Down;
    QToolButton *H2Up;
    QAction *MenuViewOriginal;
    QTimer *Timer3;
    MessageArchive *m_archive;
    Browser *m_web1;
    BrowserPane *m_pane;
    BusyStates *m_busy;
    QString m_archiveBase;
    QString m_pagePath;

    bool displayEnabled = true; // TryToDisplay renders only while true
    QString shownMsgNum;
    qint32 sliderMsgNum = 0;
    bool h1DownHeld = false;
    bool h1UpHeld = false;
    bool h2DownHeld = false;
    bool h2UpHeld = false;
    QByteArray m_shownPage; // bytes of the message page last written
    Recordset::Bookmark m_shownPlace; // where the record last rendered stood
    quint64 m_shownGeneration = 0;    // in which opening of the database
};
