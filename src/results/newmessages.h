// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QString>

class DesktopNotice;
class MessageArchive;
class QAction;
class QTimer;
class QWidget;
class ResultsPanel;
class StatusStrip;
class Viewer;

// What is new: a message counts as read once it has been on screen for a moment, or when
// the user steps on from it; View > "New Messages" lists the unread ones, "Mark All Read"
// reads them all; after an update the status line says how many came, and a minimised or
// hidden window says it with a desktop notice (Options > "Notify Of New Messages").
class NewMessages final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NewMessages)

public:
    struct Controls
    {
        QAction *MnuNewMessages;
        QAction *MnuMarkAllRead;
        QAction *MnuNotifyNew;
    };
    // Long enough to take in the subject and the sender, short enough that a message
    // looked at is never left new; the key repeat's steps are far quicker.
    static constexpr int kShownMs = 1500;
    // The listing's limit, as a search's.
    static constexpr int kListLimit = 5000;
    // Subjects a notice names.
    static constexpr int kNoticeSubjects = 3;

    NewMessages(const Controls &controls, MessageArchive *archive, Viewer *viewer, ResultsPanel *results,
                StatusStrip *status, DesktopNotice *notice, QWidget *window);

    void listNew();
    void markAllRead();
    bool notifies() const;
    void setNotifies(bool on);
    // An update run stored these numbers.
    void stored(const QList<qint32> &numbers);
    // A read state that could not be used is said once, when the window is up.
    void sayFound();
    // Tests shorten the moment.
    void setShownMoment(int milliseconds);

signals:
    // The notice was clicked: the window is to be shown.
    void showWindowRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void messageShown();
    void shownLongEnough();
    void markRead(qint32 messnum);
    bool windowOnScreen() const;
    QStringList firstSubjects(const QList<qint32> &numbers) const;

    QAction *MnuNewMessages;
    QAction *MnuMarkAllRead;
    QAction *MnuNotifyNew;
    MessageArchive *m_archive;
    Viewer *m_viewer;
    ResultsPanel *m_results;
    StatusStrip *m_status;
    DesktopNotice *m_notice;
    QWidget *m_window;
    QTimer *m_shownTimer; // the moment on screen
    QTimer *m_writeTimer; // marks are written together, away from the steps
    qint32 m_shown = 0;
    bool m_inputSinceShown = false; // a key or a click came after the message was shown
    bool m_said = false;
};
