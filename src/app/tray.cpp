// SPDX-License-Identifier: GPL-3.0-or-later
// The tray icon and its pop-up menu, and the ways the program ends. Every way out closes
// the window, whose closeEvent saves the settings and both lists, once.
#include "app/form1.h"
#include "ui_form1.h"

#include "widgets/menuwiring.h"
#include "browser/browserpane.h"
#include "status/statusstrip.h"

#include <QEventLoopLocker>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

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

void Form1::connectTray()
{
    connectCheckMark(ui->MnuMinTray, this, &Form1::MnuMinTray_Click);

    // The icon's pop-up: never part of the menu bar.
    MnuPopup = new QMenu(QStringLiteral("Popup"), this);
    MnuPopup->setObjectName(QStringLiteral("MnuPopup"));
    const auto item = [this](const char *name, const QString &text, void (Form1::*handler)()) {
        QAction *action = MnuPopup->addAction(text);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
    };
    item("MnuShow", QStringLiteral("&Show"), &Form1::MnuShow_Click);
    item("MnuExit", QStringLiteral("&Exit"), &Form1::MnuExit_Click);
    MnuPopup->addSeparator();
    item("MnuClose", QStringLiteral("&Close"), &Form1::MnuClose_Click);

    m_trayIcon = new QSystemTrayIcon(windowIcon(), this);
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

void Form1::setTrayAvailability(std::function<bool()> available)
{
    m_trayAvailability = std::move(available);
}

bool Form1::trayAvailable() const
{
    return m_trayAvailability ? m_trayAvailability() : QSystemTrayIcon::isSystemTrayAvailable();
}

void Form1::MnuMinTray_Click()
{
    // Takes effect at the next minimising.
    ui->MnuMinTray->setChecked(!ui->MnuMinTray->isChecked());
}

void Form1::goToTray()
{
    // A window hidden already is in the tray, or on its way out of it.
    if (!ui->MnuMinTray->isChecked() || isHidden() || m_trayIcon->isVisible())
        return;
    if (!trayAvailable()) {
        // Hidden without an icon the window could not be reached again: it stays an
        // ordinary minimised window, and the user is told why once.
        if (!m_trayMissingReported) {
            m_trayMissingReported = true;
            m_status->showPageText(kNoTray);
        }
        return;
    }
    new TrayQuitLock(m_trayIcon);
    m_trayIcon->setIcon(windowIcon());
    m_trayIcon->show();
    // Hidden from the event loop: a minimise asked for in code shows the window again
    // after the state has changed.
    QTimer::singleShot(0, this, [this] {
        if (isMinimized() && m_trayIcon->isVisible())
            hide();
    });
}

void Form1::leaveTray()
{
    if (!m_trayIcon->isVisible())
        return;
    m_trayIcon->hide();
    if (isHidden()) {
        // Leaving for good: the window is saved in the state it had before minimising. It
        // stays minimised, so it is not shown on the way out.
        const Qt::WindowStates wanted = lastWindowState == 2 ? Qt::WindowMaximized : Qt::WindowNoState;
        if ((windowState() & Qt::WindowMaximized) != wanted)
            setWindowState((windowState() & Qt::WindowMinimized) | wanted);
    }
    // Let go only now: with no window shown the program would end at once.
    delete m_trayIcon->findChild<QObject *>(kQuitLockName, Qt::FindDirectChildrenOnly);
}

void Form1::MnuShow_Click()
{
    // Showing runs Form_Activate again. The icon goes once the window is shown, so the
    // program is never left with neither.
    if (lastWindowState == 2)
        showMaximized();
    else
        showNormal();
    raise();
    activateWindow();
    leaveTray();
}

void Form1::MnuExit_Click()
{
    // Closing takes the icon away and puts the state back before the settings are saved.
    endProgram();
}

void Form1::MnuClose_Click()
{
    // Only the pop-up closes: the window stays in the tray.
    MnuPopup->hide();
}

void Form1::trayHostChanged()
{
    if (!m_trayIcon->isVisible() || trayAvailable())
        return;
    MnuShow_Click();
    m_status->showPageText(kTrayGone);
}

bool Form1::beginUnload()
{
    if (m_unloadBegun)
        return false;
    m_unloadBegun = true;
    leaveTray();
    return true;
}

void Form1::sessionEnding()
{
    endProgram();
}

#include "tray.moc"
