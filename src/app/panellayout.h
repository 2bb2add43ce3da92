// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class PanelSplitter;
class QToolButton;
class QWidget;
class StatusStrip;

// The window's panels laid out over its client area: the knowledge-base panel above, shown
// or hidden by CmdUpDown, the browser panel (Picture1) below it from where the splitter
// put its top, and the status strip along the bottom edge.
class PanelLayout final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PanelLayout)

public:
    struct Controls
    {
        QWidget *centralwidget;
        QWidget *Picture1;
        QWidget *List1;
        QWidget *Line1;
        QWidget *Line6;
        QWidget *web1;
        QWidget *Combo2;
        QToolButton *CmdUpDown;
        QToolButton *CmdUp; // their pictures for CmdUpDown
        QToolButton *CmdDown;
    };

    PanelLayout(const Controls &controls, StatusStrip *status, QObject *parent);

    // Lays the panels out for the client area's size; `toggled` after CmdUpDown.
    void layout(bool toggled);
    // CmdUpDown: the knowledge-base panel hidden or shown again; true when shown now.
    bool toggleKnowledgeBase();

signals:
    // CmdUpDown was clicked; `shown` tells whether the knowledge-base panel shows now.
    void knowledgeBaseToggled(bool shown);

public:
    bool knowledgeBaseShown() const;
    // The settings say the knowledge-base panel was hidden when the program last ended.
    void hideKnowledgeBaseAtStart();
    // CmdUpDown goes with the browser's controls in their busy state.
    void enableWeb(bool on);
    // The browser panel's top as the preferences keep it: a share of the height between
    // the menu bar and the status strip, 0 for the design place.
    double savedShare() const;
    // From the preferences at start-up: the panel put there when the window is laid out.
    void restoreShare(double share);

private:
    // The height the knowledge-base and browser panels share, above the status strip.
    int panelsHeight() const;
    // Where the browser panel begins while the knowledge-base panel is shown: where the
    // user dragged it, within what the window's height allows.
    int shownPanelTop() const;
    void setPanelTop(int top);

    QWidget *centralwidget;
    QWidget *Picture1;
    QWidget *List1;
    QWidget *Line1;
    QWidget *Line6;
    QWidget *web1;
    QWidget *Combo2;
    QToolButton *CmdUpDown;
    QToolButton *CmdUp;
    QToolButton *CmdDown;
    StatusStrip *m_status;
    PanelSplitter *m_splitter;
    double m_share = 0;    // chosen with the splitter; 0: the design place
    bool m_dragged = false; // the splitter was moved in this run
};
