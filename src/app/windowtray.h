// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;
class StatusStrip;

// The window's place in the system tray: Options > "Minimize to tray" (MnuMinTray), the
// icon and its pop-up (Show, Exit, Close). A minimised window goes to the tray when the
// option is checked and a tray is there; it comes back by the pop-up or a double click,
// and by itself when the tray goes away.
class WindowTray final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WindowTray)

public:
    struct Controls
    {
        QAction *MnuMinTray;
    };

    // `wasMaximised` tells whether the window was maximised before it was minimised.
    WindowTray(const Controls &controls, QWidget *window, StatusStrip *status, std::function<bool()> wasMaximised);

    bool minimisesToTray() const;
    void setMinimisesToTray(bool on);
    // Tests answer in place of the desktop whether a tray is there to take the icon.
    void setAvailability(std::function<bool()> available);
    // The window was minimised: into the tray when the option is checked.
    void goToTray();
    // The window shown again from the tray or a minimised state, as the pop-up's Show does.
    void showWindow();
    // The icon goes; a hidden window is put back in the state it had, still minimised.
    void leaveTray();

signals:
    // The pop-up's Exit.
    void exitRequested();

private:
    void MnuMinTray_Click();
    void MnuShow_Click();
    void MnuExit_Click();
    void MnuClose_Click();
    // The tray went away while it held the window: the window is shown again.
    void trayHostChanged();
    bool available() const;

    QAction *MnuMinTray;
    QWidget *m_window;
    StatusStrip *m_status;
    std::function<bool()> m_wasMaximised;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QMenu *MnuPopup = nullptr;
    std::function<bool()> m_availability;
    bool m_missingReported = false;
};
