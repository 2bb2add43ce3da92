// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/appconfig.h"
#include "widgets/apptitle.h"
#include "base/preferences.h"
#include "base/settingsfile.h"

#include <QKeySequence>
#include <QMainWindow>

#include <functional>
#include <memory>

class ArchiveTransfer;
class Browser;
class QAbstractButton;
class BrowserPane;
class BusyStates;
class ListEditor;
class FlagCommands;
class Maintenance;
class MessageArchive;
class PanelLayout;
class ProxyOptions;
class QMenu;
class WindowTray;
class KeyboardShortcuts;
class SearchPanel;
class ResultsPanel;
class IndexUpkeep;
class ConversationCommands;
class NewMessages;
class StatusStrip;
class UpdateController;
class Viewer;
namespace Ui { class Form1; }

// The program's one window: start-up and shut-down, the layout, the tray and the ways out,
// the shortcuts. Its controls come from form1.ui; each subsystem's part takes the
// controls it owns and keeps its state and its event procedures.
class Form1 final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    // Takes ownership of the browser. Runs Form_Load; the window is not shown yet.
    Form1(const AppConfig &config, Browser *browser, QWidget *parent = nullptr);
    ~Form1() override;

    // Shows the window in the state the settings file asked for.
    void showAsLoaded();

    // The parts, for the shell's callers and tests.
    MessageArchive *archive() const;
    Viewer *viewer() const;
    SearchPanel *search() const;
    ResultsPanel *results() const;
    UpdateController *updater() const;
    BrowserPane *browserPane() const;
    Maintenance *maintenance() const;
    ListEditor *listEditor() const;
    BusyStates *busy() const;
    Browser *web1() const;
    ProxyOptions *proxyOptions() const;
    NewMessages *newMessages() const;

    // Closing a window runs this through closeEvent; exposed so exit commands and tests
    // can save without closing. Returns false (after telling the user) when a file failed.
    bool Form_Unload();
    // A logout's signal (SIGTERM, SIGHUP, SIGINT) ends the program the way E&xit does.
    void sessionEnding();
    // Tests answer in place of the desktop whether a tray is there to take the icon.
    void setTrayAvailability(std::function<bool()> available);
    // Help > Keyboard Shortcuts: each key with what it does, in menu order.
    QList<QPair<QString, QString>> keyboardShortcuts() const;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void createParts();
    void Form_Load();
    void Form_Activate();
    void Form_Resize();
    // Tab goes through the controls a user works with, in reading order.
    void setTabOrderChain();
    void readListsAndSettings();
    void applySettings(const SettingsValues &values, int count);
    // Preferences.ini: read at start-up whatever became of the other files, written at exit.
    void readPreferences();
    bool writePreferences(QString *error);
    // The window put where it was left (outer corner, normal size), on a screen there is now.
    void placeWindow(const QRect &saved);
    QSize designSize() const;
    // The normal window's outer corner and inner size, whatever its state now.
    QRect normalPlacement() const;
    void MenuFileExit_Click();
    // Closes the window (saving as every exit does) and ends the program.
    void endProgram();
    // The parts made and given their controls, then wired to each other.
    void wireParts();
    void connectKeys();

    // closeEvent asks before Form_Unload: false once the files have been written, so
    // however many ways out come together they are written once.
    bool beginUnload();

    std::unique_ptr<Ui::Form1> ui;
    AppConfig m_config;
    QString baseDir;              // data folder: the current directory at start-up
    Browser *m_web1 = nullptr;    // owned through the widget tree
    std::unique_ptr<BusyStates> m_busy;
    MessageArchive *m_archive = nullptr;
    BrowserPane *m_pane = nullptr;
    Viewer *m_viewer = nullptr;
    StatusStrip *m_status = nullptr;
    UpdateController *m_update = nullptr;
    ResultsPanel *m_results = nullptr;
    IndexUpkeep *m_upkeep = nullptr;
    SearchPanel *m_search = nullptr;
    ConversationCommands *m_conversations = nullptr;
    FlagCommands *m_flags = nullptr;
    Maintenance *m_maintenance = nullptr;
    ListEditor *m_listEditor = nullptr;
    ArchiveTransfer *m_transfer = nullptr;
    ProxyOptions *m_proxy = nullptr;
    NewMessages *m_new = nullptr;

    PanelLayout *m_layout = nullptr;
    Preferences m_preferences;    // as read at start-up
    PreferencesFile::Kind m_preferencesKind = PreferencesFile::Kind::Missing;
    bool m_activated = false;     // Form_Activate ran once

    bool formLoading = false;     // Form_Resize does nothing while true
    qint16 lastWindowState = 0;
    qint16 m_loadedWindowState = 0;
    QPoint m_normalFrameOffset; // the normal window's frame, from its corner to the inside
    bool m_remaximise = false; // the native window was made anew while maximised
    WindowTray *m_tray = nullptr;
    KeyboardShortcuts *m_keys = nullptr;
    bool m_unloadBegun = false;
};
