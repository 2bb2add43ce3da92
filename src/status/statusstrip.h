// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class QLabel;
class QLineEdit;
class QProgressBar;
class QWidget;
class WorkBar;

// The status strip along the window's bottom edge: the browser's text box (LblStBar1)
// with its page-load bar (PBar1) and secure-page lock (PicLock), the status line
// (LblUpdateStatus) the update and the maintenance write, and the bar of long work. The
// parts report here; none of them touches these controls.
class StatusStrip final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusStrip)

public:
    struct Controls
    {
        QWidget *stbar;
        QLineEdit *LblStBar1;
        QProgressBar *PBar1;
        QWidget *PLockBox;
        QLabel *PicLock;
        QLabel *LblUpdateStatus;
    };

    StatusStrip(const Controls &controls, QObject *parent);

    // The browser's box: a text shown from its beginning, the load's progress, the lock.
    void showPageText(const QString &text);
    QString pageText() const;
    void showPageProgress(int progress, int progressMax);
    void showSecure(bool secure);

    // The status line.
    void showStatus(const QString &text);
    QString statusText() const;

    // Work the user started (an update) holds the status line and the bar while it runs;
    // background work (the index build) says how far it is, `done` of `total`, only
    // meanwhile, and its last text is taken away at its end, leaving what was there before.
    void setForegroundWork(bool running);
    void showBackgroundProgress(const QString &text, qint64 done, qint64 total);
    bool showsBackgroundProgress() const;
    // The search index's build, `done` of `total` records: said once there is enough left
    // to be worth a word.
    void showIndexProgress(qint64 done, qint64 total);
    void endBackgroundProgress();
    // The bar for long work: an update shows on it, and so does work that holds the window.
    WorkBar *workBar() const;

    // The height the strip needs, at least `least`; and its boxes laid out along it.
    int height(int least) const;
    void layout(int width, int height, int lockLeft);

private:
    QWidget *stbar;
    QLineEdit *LblStBar1;
    QProgressBar *PBar1;
    QWidget *PLockBox;
    QLabel *PicLock;
    QLabel *LblUpdateStatus;
    WorkBar *m_workBar;
    bool m_foreground = false;
    QString m_progressText;  // what the status line shows for background work, while it does
    QString m_statusBefore;  // what it showed before, to be put back
};
