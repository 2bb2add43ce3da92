// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form1.h"
#include "ui_form1.h"

#include "widgets/busystates.h"
#include "widgets/icons.h"
#include "app/keyringpasswordstore.h"
#include "base/listfile.h"
#include "app/panellayout.h"
#include "widgets/twips.h"
#include "app/proxyoptions.h"
#include "base/settingsfile.h"
#include "base/windowplacement.h"
#include "base/version.h"
#include "status/statusstrip.h"
#include "archive/messagearchive.h"
#include "browser/browser.h"
#include "browser/browserpane.h"
#include "convert/archivetransfer.h"
#include "lists/listeditor.h"
#include "app/keyboardshortcuts.h"
#include "app/windowtray.h"
#include "maint/flagcommands.h"
#include "maint/maintenance.h"
#include "search/searchpanel.h"
#include "results/conversationcommands.h"
#include "results/newmessages.h"
#include "results/resultspanel.h"
#include "status/desktopnotice.h"
#include "archive/indexupkeep.h"
#include "update/updatecontroller.h"
#include "view/viewer.h"

#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <utility>

namespace {

const QString kCaption = QStringLiteral("Veltra Knowledgebase V" VELTRA_VERSION);
constexpr int kHistoryReadLimit = 20;
constexpr int kAddressReadLimit = 50;
// The smallest window: narrower than 6000 twips the result list, address bar and lines keep
// their widths as before; but it is never as low as 3500 twips, where the browser would keep
// a height that runs under the status strip.
constexpr int kMinimumWidth = 300;
constexpr int kMinimumHeight = 240;
const QString kPreferencesFile = QStringLiteral("Preferences.ini");

using Twips::toPixels;


// The controls each part is given, read from the form.
StatusStrip::Controls statusStripControls(const Ui::Form1 &ui)
{
    return {.stbar = ui.stbar,
            .LblStBar1 = ui.LblStBar1,
            .PBar1 = ui.PBar1,
            .PLockBox = ui.PLockBox,
            .PicLock = ui.PicLock,
            .LblUpdateStatus = ui.LblUpdateStatus};
}

PanelLayout::Controls panelLayoutControls(const Ui::Form1 &ui)
{
    return {.centralwidget = ui.centralwidget,
            .Picture1 = ui.Picture1,
            .List1 = ui.List1,
            .Line1 = ui.Line1,
            .Line6 = ui.Line6,
            .web1 = ui.web1,
            .Combo2 = ui.Combo2,
            .CmdUpDown = ui.CmdUpDown,
            .CmdUp = ui.CmdUp,
            .CmdDown = ui.CmdDown};
}

BrowserPane::Controls browserPaneControls(const Ui::Form1 &ui)
{
    return {.Combo2 = ui.Combo2,
            .CmdBack = ui.CmdBack,
            .CmdForward = ui.CmdForward,
            .CmdStop = ui.CmdStop,
            .CmdRefresh = ui.CmdRefresh,
            .CmdHome = ui.CmdHome,
            .cmdYahoo = ui.cmdYahoo,
            .CmdReg = ui.CmdReg,
            .CmdManuals = ui.CmdManuals,
            .ListSort2 = ui.ListSort2,
            .txtBlank = ui.txtBlank,
            .MnuKBNews = ui.MnuKBNews,
            .MenuHelpAbout = ui.MenuHelpAbout,
            .MenuHelpContents = ui.MenuHelpContents,
            .MnuOptionsStartPage = ui.MnuOptionsStartPage,
            .MenuFilePrint = ui.MenuFilePrint,
            .MenuFileSaveAs = ui.MenuFileSaveAs,
            .MnuPageSetup = ui.MnuPageSetup,
            .MnuPrintPreview = ui.MnuPrintPreview,
            .MnuFind = ui.MnuFind,
            .MnuZoomIn = ui.MnuZoomIn,
            .MnuZoomOut = ui.MnuZoomOut,
            .MnuZoomReset = ui.MnuZoomReset};
}

Viewer::Controls viewerControls(const Ui::Form1 &ui)
{
    return {.hscroll1 = ui.hscroll1,
            .H1Down = ui.H1Down,
            .H1Up = ui.H1Up,
            .H2Down = ui.H2Down,
            .H2Up = ui.H2Up,
            .MenuViewOriginal = ui.MenuViewOriginal};
}

SearchPanel::Controls searchPanelControls(const Ui::Form1 &ui)
{
    return {.Combo1 = ui.Combo1,
            .CmdGo = ui.CmdGo,
            .ListSort = ui.ListSort,
            .MenuSearchAuthor = ui.MenuSearchAuthor,
            .MenuSearchBody = ui.MenuSearchBody,
            .MenuSearchTitle = ui.MenuSearchTitle,
            .MenuKeyPreface = ui.MenuKeyPreface,
            .MenuKeyAppend = ui.MenuKeyAppend,
            .MenuKeyBracket = ui.MenuKeyBracket,
            .MenuKeyNone = ui.MenuKeyNone,
            .MenuKeyWords = ui.MenuKeyWords,
            .MenuOptionsInterrupt = ui.MenuOptionsInterrupt};
}

ConversationCommands::Controls conversationCommandsControls(const Ui::Form1 &ui)
{
    return {.CmdConversation = ui.CmdConversation,
            .MnuViewConversation = ui.MnuViewConversation,
            .MnuNextInConversation = ui.MnuNextInConversation,
            .MnuPrevInConversation = ui.MnuPrevInConversation};
}

WindowTray::Controls windowTrayControls(const Ui::Form1 &ui)
{
    return {.MnuMinTray = ui.MnuMinTray};
}

FlagCommands::Controls flagCommandsControls(const Ui::Form1 &ui)
{
    return {.CmdMarkDelete = ui.CmdMarkDelete,
            .CmdMarkRange = ui.CmdMarkRange,
            .cmdCheckDelete = ui.cmdCheckDelete,
            .PicTrash = ui.PicTrash,
            .PicSave = ui.PicSave};
}

Maintenance::Controls maintenanceControls(const Ui::Form1 &ui)
{
    return {.MenuFileNewDatabase = ui.MenuFileNewDatabase,
            .MnuDelete = ui.MnuDelete,
            .PicDeleteMarked = ui.PicDeleteMarked,
            .CmdDelExit = ui.CmdDelExit,
            .CmdDeleteMarked = ui.CmdDeleteMarked,
            .CmdCompact = ui.CmdCompact,
            .ChkNoWarn = ui.ChkNoWarn};
}

ListEditor::Controls listEditorControls(const Ui::Form1 &ui)
{
    return {.LstEdit = ui.LstEdit,
            .Text1 = ui.Text1,
            .Command2 = ui.Command2,
            .CmdDelete = ui.CmdDelete,
            .cmdSaveExit = ui.cmdSaveExit,
            .CmdExit = ui.CmdExit,
            .TxtNull = ui.TxtNull,
            .PicEdit = ui.PicEdit,
            .MnuEditHistory = ui.MnuEditHistory,
            .MnuClearHistory = ui.MnuClearHistory,
            .MnuEditAddress = ui.MnuEditAddress,
            .MnuClearAddress = ui.MnuClearAddress};
}

ArchiveTransfer::Controls archiveTransferControls(const Ui::Form1 &ui)
{
    return {.MenuFileExport = ui.MenuFileExport};
}

KeyboardShortcuts::Controls keyboardShortcutsControls(const Ui::Form1 &ui)
{
    return {.menuBar = ui.menubar,
            .MenuFileExit = ui.MenuFileExit,
            .MenuHelpContents = ui.MenuHelpContents,
            .MnuViewConversation = ui.MnuViewConversation,
            .MnuNextInConversation = ui.MnuNextInConversation,
            .MnuPrevInConversation = ui.MnuPrevInConversation,
            .MnuNextMessage = ui.MnuNextMessage,
            .MnuPrevMessage = ui.MnuPrevMessage,
            .MnuNextHit = ui.MnuNextHit,
            .MnuPrevHit = ui.MnuPrevHit,
            .MnuFlagMessage = ui.MnuFlagMessage,
            .MnuNewMessages = ui.MnuNewMessages,
            .MnuSearchBox = ui.MnuSearchBox,
            .MnuZoomIn = ui.MnuZoomIn,
            .MnuZoomOut = ui.MnuZoomOut,
            .MnuZoomReset = ui.MnuZoomReset,
            .MnuKeyboard = ui.MnuKeyboard};
}

}

Form1::Form1(const AppConfig &config, Browser *browser, QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::Form1>())
    , m_config(config)
    , baseDir(QDir::currentPath())
    , m_web1(browser)
{
    ui->setupUi(this);
    setWindowIcon(Icons::appIcon());
    resize(designSize());

    // Pictures are drawn in code; the holders keep the pictures the buttons copy.

    m_web1->setParent(this);
    ui->web1Layout->addWidget(m_web1->widget());


    createParts();
    wireParts();
    connect(ui->MenuFileExit, &QAction::triggered, this, &Form1::MenuFileExit_Click);
    connectKeys();

    setTabOrderChain();
    // A damaged settings file cannot make it smaller either.
    setMinimumSize(kMinimumWidth, kMinimumHeight + menuBar()->sizeHint().height());

    Form_Load();

    // Enabled at design time: they run from start-up on.
    m_update->startSchedule();
    m_pane->setPageFocusPending(true);
}

Form1::~Form1()
{
    // A clean close while every part is still there to let go of the file.
    m_archive->close();
}

void Form1::createParts()
{
    // Each part is given the controls it owns; a part that needs another is made after it.
    m_busy = std::make_unique<BusyStates>();
    m_archive = new MessageArchive(baseDir, this);
    m_status = new StatusStrip(statusStripControls(*ui), this);
    m_layout = new PanelLayout(panelLayoutControls(*ui), m_status, this);
    m_pane = new BrowserPane(browserPaneControls(*ui), m_web1, m_busy.get(), m_status, m_config, baseDir, this);
    m_viewer = new Viewer(viewerControls(*ui), m_archive, m_web1, m_pane, m_busy.get(), m_config.groupArchiveBase(), this);
    m_update = new UpdateController(
        {.MnuUpdateNow = ui->MnuUpdateNow,
         .MnuUpdateAuto = ui->MnuUpdateAuto,
         .MnuStopUpdate = ui->MnuStopUpdate,
         .MnuMissingNumbers = ui->MnuMissingNumbers},
        m_status, m_archive, m_viewer, m_config, this);
    m_results = new ResultsPanel(
        {.List1 = ui->List1, .hscroll2 = ui->hscroll2, .lblResults = ui->lblResults, .HPic2 = ui->HPic2}, m_archive,
        m_viewer, m_pane, this);
    m_upkeep = new IndexUpkeep(m_archive, m_config.searchIndex, this);
    m_search = new SearchPanel(searchPanelControls(*ui), m_archive, m_viewer, m_pane, m_web1, m_results, m_busy.get(), m_config, this);
    m_conversations = new ConversationCommands(conversationCommandsControls(*ui), m_archive, m_viewer, m_pane, m_results, m_busy.get(),
                                               [this] { return !m_search->takesInput(); }, this);
    m_tray = new WindowTray(windowTrayControls(*ui), this, m_status, [this] { return lastWindowState == 2; });
    connect(m_tray, &WindowTray::exitRequested, this, &Form1::endProgram);
    m_flags = new FlagCommands(flagCommandsControls(*ui), m_archive, m_viewer, m_results, m_pane, m_busy.get(), this);
    m_maintenance = new Maintenance(maintenanceControls(*ui), m_archive, m_viewer, m_results, m_pane, m_status, m_busy.get(), m_config, this);
    m_listEditor = new ListEditor(listEditorControls(*ui), m_search, m_pane, this);
    m_new = new NewMessages(
        {.MnuNewMessages = ui->MnuNewMessages, .MnuMarkAllRead = ui->MnuMarkAllRead, .MnuNotifyNew = ui->MnuNotifyNew},
        m_archive, m_viewer, m_results, m_status, new DesktopNotice(this), this);
    m_transfer = new ArchiveTransfer(archiveTransferControls(*ui), m_archive, m_results, m_pane, m_config, this);
    // One proxy for the update and the browser; the password in the desktop's keyring.
    m_proxy = new ProxyOptions(ui->MnuProxy, this, std::make_unique<KeyringPasswordStore>(QStringLiteral("veltra-kb")),
                               this);
}

void Form1::wireParts()
{
    m_update->setProxyProvider([this](QString *refusal) { return m_proxy->settingForUpdate(refusal); });
    m_update->setDatabaseOffer([this](const QString &why) { return m_maintenance->offerNewDatabase(why); });
    connect(m_proxy, &ProxyOptions::applied, m_web1, &Browser::proxyChanged);
    m_web1->setProxyCredentials([this](const QString &proxyHost, QString *user, QString *password) {
        return m_proxy->credentialsFor(proxyHost, user, password);
    });
    connect(m_proxy, &ProxyOptions::changed, this, [this] {
        QString error;
        if (!writePreferences(&error))
            QMessageBox::warning(this, kAppTitle,
                                 QStringLiteral("The proxy setting could not be saved: it holds until the program "
                                                "ends.\n\n%1")
                                     .arg(error));
    });
    // The deletion menu item goes with the knowledge-base panel; the page takes the focus.
    connect(m_layout, &PanelLayout::knowledgeBaseToggled, this, [this](bool shown) {
        m_maintenance->setDeletionMenuEnabled(shown);
        m_pane->setPageFocusPending(true);
    });
    // Each part switches its own controls in the busy states, in the order they stand.
    m_busy->addKnowledgeBase([this](bool on) { m_search->enableKnowledgeBase(on); });
    m_busy->addKnowledgeBase([this](bool on) { m_viewer->enableKnowledgeBase(on); });
    m_busy->addKnowledgeBase([this](bool on) { m_results->enableKnowledgeBase(on); });
    m_busy->addKnowledgeBase([this](bool on) { m_flags->enableKnowledgeBase(on); });
    m_busy->addKnowledgeBase([this](bool on) { m_conversations->enableKnowledgeBase(on); });
    m_busy->addWeb([this](bool on) { m_pane->enableWeb(on); });
    m_busy->addWeb([this](bool on) { m_layout->enableWeb(on); });
    // The deletion panel and the list editor share their place: one opening hides the other.
    connect(m_maintenance, &Maintenance::deletionPanelOpened, m_listEditor, &ListEditor::hidePanel);
    connect(m_listEditor, &ListEditor::opened, m_maintenance, &Maintenance::hideDeletionPanel);
    connect(m_pane, &BrowserPane::captionChanged, this, [this](const QString &caption) {
        setWindowTitle(caption);
        update();
    });
    // The index follows what searches find damaged, what deletions let go and what a run
    // brings (all together at its end); its build shows on the status strip.
    connect(m_search, &SearchPanel::searched, m_upkeep, &IndexUpkeep::check);
    connect(m_maintenance, &Maintenance::messagesDeleted, m_upkeep, &IndexUpkeep::check);
    connect(m_update, &UpdateController::runEnded, m_upkeep, &IndexUpkeep::check);
    connect(m_upkeep, &IndexUpkeep::progress, m_status, &StatusStrip::showIndexProgress);
    connect(m_upkeep, &IndexUpkeep::buildEnded, m_status, &StatusStrip::endBackgroundProgress);
    connect(m_conversations, &ConversationCommands::listedConversation, m_search, &SearchPanel::forgetHitWords);
    connect(m_update, &UpdateController::messagesStored, m_new, &NewMessages::stored);
    connect(m_new, &NewMessages::showWindowRequested, m_tray, &WindowTray::showWindow);
    // A compaction's companion waits for this process to end.
    connect(m_maintenance, &Maintenance::endRequested, this, &Form1::endProgram);
}

MessageArchive *Form1::archive() const
{
    return m_archive;
}

Viewer *Form1::viewer() const
{
    return m_viewer;
}

SearchPanel *Form1::search() const
{
    return m_search;
}

ResultsPanel *Form1::results() const
{
    return m_results;
}

UpdateController *Form1::updater() const
{
    return m_update;
}

BrowserPane *Form1::browserPane() const
{
    return m_pane;
}

Maintenance *Form1::maintenance() const
{
    return m_maintenance;
}

ListEditor *Form1::listEditor() const
{
    return m_listEditor;
}

BusyStates *Form1::busy() const
{
    return m_busy.get();
}

Browser *Form1::web1() const
{
    return m_web1;
}

ProxyOptions *Form1::proxyOptions() const
{
    return m_proxy;
}

NewMessages *Form1::newMessages() const
{
    return m_new;
}

void Form1::showAsLoaded()
{
    switch (m_loadedWindowState) {
    case 1:
        showMinimized();
        break;
    case 2:
        showMaximized();
        break;
    default:
        show();
        break;
    }
}

// ---- start-up ----

void Form1::Form_Load()
{
    formLoading = true;
    // An Access database from the earlier program is offered for conversion first.
    if (m_transfer->convertAtStartUp())
        m_maintenance->openDatabase();
    readListsAndSettings();
    readPreferences();

    m_web1->setSilent(true);
    formLoading = false;
    update();
}

void Form1::readListsAndSettings()
{
    // One trap over all three files: the first failure ends the reading, and a missing
    // History.txt means neither the address list nor the settings are read.
    const QDir dir(baseDir);
    const auto history = ListFile::read(dir.filePath(QStringLiteral("History.txt")), kHistoryReadLimit);
    m_search->loadHistory(history.items);
    if (!history.ok)
        return;

    const auto addresses = ListFile::read(dir.filePath(QStringLiteral("UrlList.txt")), kAddressReadLimit);
    m_pane->loadAddresses(addresses.items);
    if (!addresses.ok)
        return;

    const auto settings = SettingsFile::read(dir.filePath(QStringLiteral("KnowledgeBase.ini")));
    applySettings(settings.values, settings.count);
}

void Form1::applySettings(const SettingsValues &values, int count)
{
    // Each value takes effect before the next is read, so a short file applies its first lines.
    QRect bounds = geometry();
    if (count >= 1)
        bounds.moveTop(toPixels(values.top));
    if (count >= 2)
        bounds.moveLeft(toPixels(values.left));
    if (count >= 3)
        bounds.setWidth(toPixels(values.width));
    if (count >= 4)
        bounds.setHeight(toPixels(values.height));
    if (count >= 1)
        placeWindow(bounds);
    if (count >= 5)
        m_search->applySearchField(values.searchField);
    if (count >= 6)
        m_search->applyWildcard(values.wildcard);
    if (count >= 7 && values.panelTop == 0)
        m_layout->hideKnowledgeBaseAtStart();
    if (count >= 8)
        m_loadedWindowState = values.windowState;
    if (count >= 9)
        m_pane->setStartPage(values.startPage);
    if (count >= 10)
        m_update->setAutoUpdate(values.autoUpdate);
    if (count >= 11)
        m_tray->setMinimisesToTray(values.minTray);
    if (count >= 12)
        m_maintenance->setNoWarning(values.noWarning);
}

void Form1::readPreferences()
{
    const auto read = PreferencesFile::read(QDir(baseDir).filePath(kPreferencesFile));
    m_preferencesKind = read.kind;
    m_preferences = read.values;
    // The place kept in device-independent pixels stands for the twips of KnowledgeBase.ini,
    // which a changed scale factor would misread.
    if (!m_preferences.window.isNull())
        placeWindow(m_preferences.window);
    m_layout->restoreShare(m_preferences.panelShare);
    m_results->setResultColumnWidths(m_preferences.columnWidths);
    m_pane->setZoomPercent(m_preferences.zoomPercent);
    ui->MnuOpenLastMessage->setChecked(m_preferences.openOnLastMessage);
    m_search->setWholeWords(m_preferences.wholeWords);
    m_new->setNotifies(m_preferences.notifyNew);
    // Before the first page loads.
    m_proxy->load(m_preferences.proxy);
}

bool Form1::writePreferences(QString *error)
{
    // A file a later version wrote keeps what that version put in it.
    if (m_preferencesKind == PreferencesFile::Kind::Newer)
        return true;
    Preferences values;
    values.window = normalPlacement();
    values.panelShare = m_layout->savedShare();
    values.columnWidths = m_results->resultColumnWidths();
    values.zoomPercent = m_pane->zoomPercent();
    values.openOnLastMessage = ui->MnuOpenLastMessage->isChecked();
    values.wholeWords = m_search->wholeWords();
    values.lastMessage = m_viewer->shownMessageNumber().toInt();
    values.notifyNew = m_new->notifies();
    values.proxy = m_proxy->chosen();
    return PreferencesFile::write(QDir(baseDir).filePath(kPreferencesFile), values, error);
}

void Form1::placeWindow(const QRect &saved)
{
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    QRect bounds = WindowPlacement::fitted(saved, screens);
    if (bounds.isNull()) {
        // No size to go by: the design size in the middle of the main screen, as far as it fits.
        bounds = QRect(QPoint(), designSize());
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            bounds.moveCenter(screen->availableGeometry().center());
        bounds = WindowPlacement::fitted(bounds, screens);
    }
    move(bounds.topLeft());
    resize(bounds.size());
}

QSize Form1::designSize() const
{
    return {toPixels(10650), toPixels(8595) + menuBar()->sizeHint().height()};
}

QRect Form1::normalPlacement() const
{
    const bool away = isMaximized() || isMinimized();
    const QRect normal = away ? normalGeometry() : geometry();
    // pos() is the frame's corner, which start-up restores with move(); the normal bounds
    // are the inside, so the frame's offset is taken off them.
    // A maximised frame has other margins than the normal one: the normal one's are taken.
    const QPoint frameOffset = away ? m_normalFrameOffset : geometry().topLeft() - pos();
    return QRect(away ? normal.topLeft() - frameOffset : pos(), normal.size());
}

void Form1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) {
        // Activation comes after the first layout, as it does for the window it replaces.
        QTimer::singleShot(0, this, &Form1::Form_Activate);
    }
}

void Form1::Form_Activate()
{
    const bool counted = m_archive->countMessages();
    m_status->showStatus(counted ? m_archive->countText(QStringLiteral(" - Last # ")) : QStringLiteral("No message database"));
    m_pane->activate();
    if (!m_activated) {
        m_activated = true;
        // Only at start-up: shown again after the tray, the window still holds its listing,
        // and the strip that steps through it stays with it.
        m_results->hideResultSlider();
        // Where the user stopped reading, when asked for, unless the club's page opens.
        const bool lastRead = ui->MnuOpenLastMessage->isChecked() && !m_pane->startPage();
        m_viewer->start(m_archive->lastMessageNumber(), counted, lastRead ? m_preferences.lastMessage : 0);
    } else {
        // Back from the tray: the message the user left is still the one in view.
        m_viewer->resume(m_archive->lastMessageNumber(), counted);
    }
    setWindowTitle(kCaption);
    m_pane->openStartPage();
    m_new->sayFound();
}

// ---- shut-down ----

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_search->isRunning()) {
        // The search stops at its next hit and records its term; the window closes after
        // it, so the term is saved with the history.
        m_results->requestInterrupt();
        event->ignore();
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    if (!beginUnload()) {
        event->accept();
        return;
    }
    Form_Unload();
    m_update->cancelUpdate(QStringLiteral("the window was closed."));
    event->accept();
}

bool Form1::Form_Unload()
{
    qint16 windowState = 0;
    if (isMaximized())
        windowState = 2;
    const QRect normal = normalPlacement();
    SettingsValues values;
    values.top = normal.top() * Twips::kPerPixel;
    values.left = normal.left() * Twips::kPerPixel;
    values.width = normal.width() * Twips::kPerPixel;
    values.height = normal.height() * Twips::kPerPixel;
    values.searchField = m_search->searchFieldLine();
    values.wildcard = m_search->wildcardLine();
    values.panelTop = m_layout->knowledgeBaseShown() ? 100 : 0;
    values.windowState = windowState;
    values.startPage = m_pane->startPage();
    values.autoUpdate = m_update->autoUpdate();
    values.minTray = m_tray->minimisesToTray();
    values.noWarning = m_maintenance->noWarning();

    const QDir dir(baseDir);
    QStringList failures;
    QString error;
    if (!SettingsFile::write(dir.filePath(QStringLiteral("KnowledgeBase.ini")), values, &error))
        failures << error;
    if (!ListFile::write(dir.filePath(QStringLiteral("History.txt")), m_search->historyEntries(), &error))
        failures << error;
    if (!ListFile::write(dir.filePath(QStringLiteral("UrlList.txt")), m_pane->addressEntries(), &error))
        failures << error;
    if (!writePreferences(&error))
        failures << error;
    if (failures.isEmpty())
        return true;
    QMessageBox::warning(this, kAppTitle,
                         QStringLiteral("The settings and lists could not all be saved. Files already there "
                                        "were left unchanged.\n\n%1")
                             .arg(failures.join(QLatin1Char('\n'))));
    return false;
}

void Form1::connectKeys()
{
    connect(ui->MnuNextMessage, &QAction::triggered, this, [this] { m_viewer->step(+1); });
    connect(ui->MnuPrevMessage, &QAction::triggered, this, [this] { m_viewer->step(-1); });
    connect(ui->MnuNextHit, &QAction::triggered, this, [this] { m_results->stepResultSlider(+1); });
    connect(ui->MnuPrevHit, &QAction::triggered, this, [this] { m_results->stepResultSlider(-1); });
    connect(ui->MnuSearchBox, &QAction::triggered, m_search, &SearchPanel::focusSearchBox);
    connect(ui->MnuFlagMessage, &QAction::triggered, m_flags, &FlagCommands::flagShownMessage);
    const QList<KeyboardShortcuts::WindowKey> windowKeys{
        {QKeySequence(Qt::Key_F5), [this] { m_pane->refreshCommand(); }, QStringLiteral("Refresh")},
        {QKeySequence(Qt::ALT | Qt::Key_Left), [this] { m_pane->backCommand(); }, QStringLiteral("Back")},
        {QKeySequence(Qt::ALT | Qt::Key_Right), [this] { m_pane->forwardCommand(); }, QStringLiteral("Forward")},
        {QKeySequence(Qt::Key_F3), [this] { m_search->FindNextHit(); },
         QStringLiteral("Next place of the searched words in the message shown")},
        // Into the address bar with its text selected, ready to be typed over.
        {QKeySequence(Qt::CTRL | Qt::Key_L), [this] { m_pane->focusAddressBar(); }, QStringLiteral("Go to the address bar")},
    };
    m_keys = new KeyboardShortcuts(keyboardShortcutsControls(*ui), windowKeys, this);
}

QList<QPair<QString, QString>> Form1::keyboardShortcuts() const
{
    return m_keys->list();
}

void Form1::setTrayAvailability(std::function<bool()> available)
{
    m_tray->setAvailability(std::move(available));
}

bool Form1::beginUnload()
{
    // Every way out closes the window, whose closeEvent saves the settings and both lists,
    // once.
    if (m_unloadBegun)
        return false;
    m_unloadBegun = true;
    m_tray->leaveTray();
    return true;
}

void Form1::sessionEnding()
{
    endProgram();
}

void Form1::MenuFileExit_Click()
{
    endProgram();
}

void Form1::endProgram()
{
    // Closing runs Form_Unload. A close put off until a running search ends closes the
    // last window later, and the process ends with it then.
    if (!close())
        return;
    // Pop-up page windows may still be open, so the loop is ended here. Without a loop
    // running there is none to end, and the request would end the next one at once.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

// ---- layout ----

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

bool Form1::event(QEvent *event)
{
    if (event->type() == QEvent::WinIdChange && isVisible())
        m_remaximise = isMaximized();
    return QMainWindow::event(event);
}

void Form1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        // The page's view has Qt make the window anew when it first draws, and the window
        // manager gives the new one back unmaximised: what the user left maximised stays so.
        if (std::exchange(m_remaximise, false) && !(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)))
            QTimer::singleShot(0, this, &QWidget::showMaximized);
        Form_Resize();
    }
}

void Form1::Form_Resize()
{
    if (formLoading)
        return;
    if (isMinimized()) {
        m_tray->goToTray();
        return;
    }
    lastWindowState = isMaximized() ? 2 : 0;
    if (!isMaximized() && isVisible())
        m_normalFrameOffset = geometry().topLeft() - pos();
    m_layout->layout(false);
}

void Form1::setTabOrderChain()
{
    const std::initializer_list<QWidget *> chain{
        ui->Combo1, ui->CmdGo, ui->cmdCheckDelete, ui->CmdMarkRange, ui->List1, ui->H2Down, ui->hscroll2, ui->H2Up,
        ui->H1Down, ui->hscroll1, ui->H1Up, ui->CmdBack, ui->CmdForward, ui->CmdStop, ui->CmdRefresh, ui->CmdHome,
        ui->CmdManuals, ui->CmdReg, ui->cmdYahoo, ui->CmdUpDown, ui->CmdMarkDelete, ui->CmdConversation, ui->Combo2, m_web1->widget()};
    for (QWidget *w : chain) {
        if (!(w->focusPolicy() & Qt::TabFocus))
            w->setFocusPolicy(Qt::StrongFocus);
    }
    // Scratch lists, picture holders and the focus sink are never worked with.
    for (QWidget *w : std::initializer_list<QWidget *>{ui->ListSort, ui->ListSort2, ui->List2, ui->CmdUp, ui->CmdDown,
                                                       ui->txtBlank})
        w->setFocusPolicy(Qt::NoFocus);
    QWidget *previous = nullptr;
    for (QWidget *w : chain) {
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }
}

