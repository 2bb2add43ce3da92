// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/windowtray.h"

#include "status/statusstrip.h"
#include "widgets/menuwiring.h"

#include <QEventLoopLocker>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

namespace {

const QString kTrayTip = QStringLiteral("Veltra Knowledgebase");
const QString kNoTray =
    QStringLiteral(" No system tray is running, so the window was minimised instead of going to the tray.");
const QString kTrayGone = QStringLiteral(" The system tray has closed, so the window is shown again.");
const QString kQuitLockName = QStringLiteral("trayQuitLock");

// Keeps the program running while its window is hidden in the tray: closing another
// window, such as a page the browser opened in a window of its own, would otherwise count
// as closing the last one and end it.
class TrayQuitLock final : public QObject
{
public:
    explicit TrayQuitLock(QObject *parent)
        : QObject(parent)
    {
        setObjectName(kQuitLockName);
    }

private:
    QEventLoopLocker m_lock;
};

// Qt's X11 tray support learns through this signal of the platform's native interface that
// a tray has come or gone; there is no public one.
class TrayHostWatch final : public QObject
{
    Q_OBJECT

public:
    TrayHostWatch(QObject *parent, std::function<void()> changed)
        : QObject(parent)
        , m_changed(std::move(changed))
    {
        // The interface is a QObject whose class the public headers only name.
        auto *native = reinterpret_cast<QObject *>(QGuiApplication::platformNativeInterface());
        if (native && native->metaObject()->indexOfSignal("systemTrayWindowChanged(QScreen*)") >= 0)
            connect(native, SIGNAL(systemTrayWindowChanged(QScreen*)), this, SLOT(systemTrayWindowChanged()));
    }

public slots:
    void systemTrayWindowChanged() { m_changed(); }

private:
    std::function<void()> m_changed;
};

}

WindowTray::WindowTray(const Controls &controls, QWidget *window, StatusStrip *status,
                       std::function<bool()> wasMaximised)
    : QObject(window)
    , MnuMinTray(controls.MnuMinTray)
    , m_window(window)
    , m_status(status)
    , m_wasMaximised(std::move(wasMaximised))
{
    connectCheckMark(MnuMinTray, this, &WindowTray::MnuMinTray_Click);

    // The icon's pop-up: never part of the menu bar.
    MnuPopup = new QMenu(QStringLiteral("Popup"), window);
    MnuPopup->setObjectName(QStringLiteral("MnuPopup"));
    const auto item = [this](const char *name, const QString &text, void (WindowTray::*handler)()) {
        QAction *action = MnuPopup->addAction(text);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
    };
    item("MnuShow", QStringLiteral("&Show"), &WindowTray::MnuShow_Click);
    item("MnuExit", QStringLiteral("&Exit"), &WindowTray::MnuExit_Click);
    MnuPopup->addSeparator();
    item("MnuClose", QStringLiteral("&Close"), &WindowTray::MnuClose_Click);

    m_trayIcon = new QSystemTrayIcon(window->windowIcon(), window);
    m_trayIcon->setObjectName(QStringLiteral("TrayIcon"));
    m_trayIcon->setToolTip(kTrayTip);
    m_trayIcon->setContextMenu(MnuPopup);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // The right button's pop-up opens by itself; other clicks do nothing.
        if (reason == QSystemTrayIcon::DoubleClick)
            MnuShow_Click();
    });
    new TrayHostWatch(m_trayIcon, [this] { trayHostChanged(); });
}

void WindowTray::setAvailability(std::function<bool()> available)
{
    m_availability = std::move(available);
}

bool WindowTray::available() const
{
    return m_availability ? m_availability() : QSystemTrayIcon::isSystemTrayAvailable();
}

bool WindowTray::minimisesToTray() const
{
    return MnuMinTray->isChecked();
}

void WindowTray::setMinimisesToTray(bool on)
{
    MnuMinTray->setChecked(on);
}

void WindowTray::MnuMinTray_Click()
{
    // Takes effect at the next minimising.
    MnuMinTray->setChecked(!MnuMinTray->isChecked());
}

void WindowTray::goToTray()
{
    // A window hidden already is in the tray, or on its way out of it.
    if (!MnuMinTray->isChecked() || m_window->isHidden() || m_trayIcon->isVisible())
        return;
    if (!available()) {
        // Hidden without an icon the window could not be reached again: it stays an
        // ordinary minimised window, and the user is told why once.
        if (!m_missingReported) {
            m_missingReported = true;
            m_status->showPageText(kNoTray);
        }
        return;
    }
    new TrayQuitLock(m_trayIcon);
    m_trayIcon->setIcon(m_window->windowIcon());
    m_trayIcon->show();
    // Hidden from the event loop: a minimise asked for in code shows the window again
    // after the state has changed.
    QTimer::singleShot(0, this, [this] {
        if (m_window->isMinimized() && m_trayIcon->isVisible())
            m_window->hide();
    });
}

void WindowTray::leaveTray()
{
    if (!m_trayIcon->isVisible())
        return;
    m_trayIcon->hide();
    if (m_window->isHidden()) {
        // Leaving for good: the window is saved in the state it had before minimising. It
        // stays minimised, so it is not shown on the way out.
        const Qt::WindowStates wanted = m_wasMaximised() ? Qt::WindowMaximized : Qt::WindowNoState;
        if ((m_window->windowState() & Qt::WindowMaximized) != wanted)
            m_window->setWindowState((m_window->windowState() & Qt::WindowMinimized) | wanted);
    }
    // Let go only now: with no window shown the program would end at once.
    delete m_trayIcon->findChild<QObject *>(kQuitLockName, Qt::FindDirectChildrenOnly);
}

void WindowTray::showWindow()
{
    MnuShow_Click();
}

void WindowTray::MnuShow_Click()
{
    // Showing runs Form_Activate again. The icon goes once the window is shown, so the
    // program is never left with neither.
    if (m_wasMaximised())
        m_window->showMaximized();
    else
        m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
    leaveTray();
}

void WindowTray::MnuExit_Click()
{
    // Closing takes the icon away and puts the state back before the settings are saved.
    emit exitRequested();
}

void WindowTray::MnuClose_Click()
{
    // Only the pop-up closes: the window stays in the tray.
    MnuPopup->hide();
}

void WindowTray::trayHostChanged()
{
    if (!m_trayIcon->isVisible() || available())
        return;
    MnuShow_Click();
    m_status->showPageText(kTrayGone);
}

#include "windowtray.moc"
