#include "app/form1.h"
#include "ui_form1.h"

#include "app/combopicks.h"
#include "app/icons.h"
#include "app/listfile.h"
#include "app/settingsfile.h"
#include "browser/browser.h"
#include "maint/compaction.h"
#include "store/recordset.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QThread>
#include <QTimer>

namespace {

const QString kCaption = QStringLiteral("Veltra Knowledgebase V3.4.1");
constexpr int kTwipsPerPixel = 15;
constexpr int kHistoryReadLimit = 20;
constexpr int kAddressReadLimit = 50;
constexpr int kLockWaitMs = 30000;
// The smallest window: narrower than 6000 twips the result list, address bar and lines keep
// their widths as before; but it is never as low as 3500 twips, where the browser would keep
// a height that runs under the status strip.
constexpr int kMinimumWidth = 300;
constexpr int kMinimumHeight = 240;

int px(double twips)
{
    return qRound(twips / kTwipsPerPixel);
}

}

Form1::Form1(const AppConfig &config, Browser *browser, QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::Form1>())
    , m_config(config)
    , m_web1(browser)
{
    ui->setupUi(this);
    setWindowIcon(Icons::appIcon());
    resize(px(10650), px(8595) + menuBar()->sizeHint().height());

    // Pictures are drawn in code; the holders keep the pictures the buttons copy.
    ui->CmdUp->setIcon(Icons::up());
    ui->CmdDown->setIcon(Icons::down());
    ui->PicTrash->setPixmap(Icons::trash());
    ui->PicSave->setPixmap(Icons::save());
    ui->CmdUpDown->setIcon(ui->CmdUp->icon());
    ui->CmdMarkDelete->setIcon(Icons::saveIcon());
    ui->CmdMarkRange->setIcon(Icons::saveIcon());
    ui->cmdCheckDelete->setIcon(QIcon(Icons::tick()));
    ui->CmdBack->setIcon(Icons::back());
    ui->CmdForward->setIcon(Icons::forward());
    ui->CmdStop->setIcon(Icons::stop());
    ui->CmdRefresh->setIcon(Icons::refresh());
    ui->CmdHome->setIcon(Icons::home());
    ui->CmdManuals->setIcon(Icons::manuals());
    ui->CmdReg->setIcon(Icons::registry());
    ui->cmdYahoo->setIcon(Icons::group());
    ui->PicLock->setPixmap(Icons::lock());
    ui->PicLock->setVisible(false);

    ui->CmdHome->setToolTip(m_config.clubHost);
    ui->MnuOptionsStartPage->setText(QStringLiteral("&Start at ") + m_config.clubHost);

    m_web1->setParent(this);
    ui->web1Layout->addWidget(m_web1->widget());

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(35000);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(200);
    Timer3 = new QTimer(this);
    Timer3->setObjectName(QStringLiteral("Timer3"));
    Timer3->setInterval(250);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
    connect(ui->MenuFileExit, &QAction::triggered, this, &Form1::MenuFileExit_Click);
    connect(ui->CmdUpDown, &QToolButton::clicked, this, &Form1::CmdUpDown_Click);
    ui->txtBlank->installEventFilter(this);
    connectUpdating();
    connectViewing();
    connectSearching();
    connectBrowsing();
    connectMarking();
    connectDeletionPanel();
    connectListEditor();
    connectTray();
    connectShortcuts();

    setTabOrderChain();
    // A damaged settings file cannot make it smaller either.
    setMinimumSize(kMinimumWidth, kMinimumHeight + menuBar()->sizeHint().height());

    Form_Load();

    // Enabled at design time: they run from start-up on.
    Timer1->start();
    Timer2->start();
}

Form1::~Form1() = default;

FormState &Form1::state()
{
    return m_state;
}

const AppConfig &Form1::config() const
{
    return m_config;
}

Recordset *Form1::recordset() const
{
    return m_data1.get();
}

Browser *Form1::web1() const
{
    return m_web1;
}

QStringList Form1::comboEntries(const QComboBox *combo)
{
    QStringList entries;
    entries.reserve(combo->count());
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    return entries;
}

void Form1::connectMenus(std::initializer_list<std::pair<QAction *, void (Form1::*)()>> menus)
{
    for (const auto &[action, handler] : menus)
        connect(action, &QAction::triggered, this, handler);
}

void Form1::connectTypedBox(QComboBox *box, void (Form1::*click)())
{
    // No completion of its own: the text is used as typed.
    box->setCompleter(nullptr);
    // Typed keys reach the box, which hands them to its edit field directly; keys sent to
    // the edit field itself are seen there.
    box->installEventFilter(this);
    if (box->lineEdit())
        box->lineEdit()->installEventFilter(this);
    // Only a pick from the drop-down is a click: the box also activates an entry when
    // typing or Enter ends on its text, and that must not run the command a second time.
    connect(new ComboPicks(box), &ComboPicks::picked, this, click);
}

void Form1::connectCheckMark(QAction *action, void (Form1::*handler)())
{
    connect(action, &QAction::triggered, this, [this, action, handler](bool checkedByAction) {
        action->setChecked(!checkedByAction);
        (this->*handler)();
    });
}

void Form1::setTimerEnabled(QTimer *timer, bool enabled)
{
    // Enabling restarts the interval, so a one-shot fires a full interval after its last enabling.
    if (enabled)
        timer->start();
    else
        timer->stop();
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
    m_state.displayEnabled = true;
    m_state.formLoading = true;

    m_state.baseDir = QDir::currentPath();
    m_web1->setMessagePagePath(QDir(m_state.baseDir).filePath(QStringLiteral("tempfile.htm")));
    openDatabase();
    readListsAndSettings();

    m_web1->setSilent(true);
    m_state.formLoading = false;
    update();
}

void Form1::openDatabase()
{
    const QString path = QDir(m_state.baseDir).filePath(QStringLiteral("veltra.mdb"));
    const bool startUp = !std::exchange(m_openedOnce, true);
    // Every running copy holds the lock shared; a compaction in another copy holds it
    // alone and is waited for.
    QString lockError;
    if (!m_databaseLock.lockShared(m_state.baseDir, kLockWaitMs, &lockError)) {
        QMessageBox::warning(this, kAppTitle,
                             QStringLiteral("The message database could not be opened.\n\n%1\n\n"
                                            "The program runs without messages.").arg(lockError));
        return;
    }
    // A compaction cut off between its two renames leaves no veltra.mdb; an empty new
    // database must never be put over the copy or backup that holds the messages.
    const Compaction::Recovery recovery = Compaction::recover(m_state.baseDir);
    if (!recovery.message.isEmpty())
        QMessageBox::information(this, kAppTitle, recovery.message);
    auto result = Recordset::open(path);
    if (result.status == Recordset::OpenStatus::Damaged) {
        // Rescue opens what it saved; without it the program runs without messages.
        reportDamage(result.reason);
        return;
    }
    // What a cut-off compaction left is cleared at start-up, and only beside a database that
    // opened as it was: without one, the copy may be all there is of the messages.
    const bool clearLeftovers = startUp && result.status == Recordset::OpenStatus::Ok;
    if (result.status == Recordset::OpenStatus::Missing) {
        const auto answer = QMessageBox::question(
            this, kAppTitle,
            QStringLiteral("There is no message database in this folder:\n%1\n\n"
                           "Create an empty message database here? The next update fills it.")
                .arg(QDir::toNativeSeparators(path)),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
        QString error;
        if (!Recordset::createEmpty(path, &error)) {
            QMessageBox::warning(this, kAppTitle, QStringLiteral("The message database could not be created.\n\n%1").arg(error));
            return;
        }
        result = Recordset::open(path);
    }
    if (result.status != Recordset::OpenStatus::Ok) {
        QMessageBox::warning(this, kAppTitle,
                             QStringLiteral("The message database could not be opened.\n\n%1\n\n"
                                            "The file has been left as it is. The program runs without messages.")
                                 .arg(result.reason));
        return;
    }
    m_data1 = std::move(result.recordset);
    if (clearLeftovers)
        removeCompactionLeftovers();
    if (m_data1->isReadOnly())
        m_readOnlyNotice = QStringLiteral(" This data folder cannot be written: messages are shown, but nothing can be "
                                          "stored (no updates, flags or deletions).");
    // The index is checked once the file's own check has passed; finds read every record
    // until then. A read-only file cannot be mended, so its index is used as it is.
    m_searchIndexChecked = false;
    m_data1->setSearchIndexUse(m_data1->isReadOnly() && m_config.searchIndex);
    watchForDamage();
}

void Form1::readListsAndSettings()
{
    // One trap over all three files: the first failure ends the reading, and a missing
    // History.txt means neither the address list nor the settings are read.
    const QDir dir(m_state.baseDir);
    const auto history = ListFile::read(dir.filePath(QStringLiteral("History.txt")), kHistoryReadLimit);
    ui->Combo1->addItems(history.items);
    ui->Combo1->setCurrentIndex(-1);
    for (int i = 0; i < ui->Combo1->count(); ++i)
        ui->ListSort->addItem(ui->Combo1->itemText(i));
    if (!history.ok)
        return;

    const auto addresses = ListFile::read(dir.filePath(QStringLiteral("UrlList.txt")), kAddressReadLimit);
    ui->Combo2->addItems(addresses.items);
    ui->Combo2->setCurrentIndex(-1);
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
        bounds.moveTop(px(values.top));
    if (count >= 2)
        bounds.moveLeft(px(values.left));
    if (count >= 3)
        bounds.setWidth(px(values.width));
    if (count >= 4)
        bounds.setHeight(px(values.height));
    if (count >= 1) {
        // A size from a damaged file, or one saved at another scale, must not make a window
        // larger than the screen or lying off every screen. Too small a size is raised to
        // the window's minimum by resize().
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect available = screen->availableVirtualGeometry();
            bounds.setSize(bounds.size().boundedTo(available.size()));
            if (!QGuiApplication::screenAt(bounds.center()) && !QGuiApplication::screenAt(bounds.topLeft()))
                bounds.moveTopLeft(screen->availableGeometry().topLeft());
        }
        move(bounds.topLeft());
        resize(bounds.size());
    }
    if (count >= 5) {
        ui->MenuSearchAuthor->setChecked(false);
        ui->MenuSearchTitle->setChecked(false);
        ui->MenuSearchBody->setChecked(false);
        const struct { const char *item; QAction *action; } fields[] = {
            {"Body", ui->MenuSearchBody}, {"Author", ui->MenuSearchAuthor}, {"Subject", ui->MenuSearchTitle}};
        for (const auto &f : fields) {
            if (values.searchField == QLatin1String(f.item)) {
                f.action->setChecked(true);
                ui->CmdGo->setText(QLatin1String(f.item));
                ui->CmdGo->setToolTip(QStringLiteral("Search message ") + QLatin1String(f.item));
            }
        }
    }
    if (count >= 6) {
        const struct { const char *letter; QAction *action; } modes[] = {
            {"P", ui->MenuKeyPreface}, {"A", ui->MenuKeyAppend}, {"B", ui->MenuKeyBracket}, {"N", ui->MenuKeyNone}};
        for (const auto &m : modes)
            m.action->setChecked(values.wildcard == QLatin1String(m.letter));
    }
    if (count >= 7 && values.panelTop == 0) {
        ui->Picture1->move(ui->Picture1->x(), 0);
        ui->CmdUpDown->setIcon(ui->CmdDown->icon());
        ui->CmdUpDown->setToolTip(QStringLiteral("Show knowledgebase"));
    }
    if (count >= 8)
        m_loadedWindowState = values.windowState;
    if (count >= 9)
        ui->MnuOptionsStartPage->setChecked(values.startPage);
    if (count >= 10)
        ui->MnuUpdateAuto->setChecked(values.autoUpdate);
    if (count >= 11)
        ui->MnuMinTray->setChecked(values.minTray);
    if (count >= 12)
        ui->ChkNoWarn->setCheckState(values.noWarning == 0   ? Qt::Unchecked
                                     : values.noWarning == 1 ? Qt::Checked
                                                             : Qt::PartiallyChecked);
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
    QScrollBar *const hscroll1 = ui->hscroll1;
    if (countMessages()) {
        ui->LblUpdateStatus->setText(messageCountText(QStringLiteral(" - Last # ")));
        hscroll1->setMaximum(m_state.lastMsgNum);
    } else {
        ui->LblUpdateStatus->setText(QStringLiteral("No message database"));
    }
    hscroll1->setValue(1);
    ui->HPic2->hide();
    ui->MenuFilePrint->setEnabled(true);
    ui->MnuPrintPreview->setEnabled(true);
    ui->MnuPageSetup->setEnabled(true);
    ui->MenuFileSaveAs->setEnabled(true);
    ui->MnuFind->setEnabled(true);
    hscroll1->setValue(2);
    hscroll1->setValue(1);
    setWindowTitle(kCaption);
    m_web1->setRegisterAsBrowser(true);
    QCoreApplication::processEvents();
    if (ui->MnuOptionsStartPage->isChecked())
        m_web1->navigate(m_config.clubStartPage());
    QCoreApplication::processEvents();
}

// ---- shut-down ----

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_searchRunning) {
        // The search stops at its next hit and records its term; the window closes after
        // it, so the term is saved with the history.
        m_state.interruptFlag = true;
        event->ignore();
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    if (!beginUnload()) {
        event->accept();
        return;
    }
    Form_Unload();
    cancelUpdate(QStringLiteral("the window was closed."));
    event->accept();
}

bool Form1::Form_Unload()
{
    qint16 windowState = 0;
    if (isMaximized())
        windowState = 2;
    // Bounds of the normal window, whatever state it is in now.
    const QRect normal = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
    // pos() is the frame's corner, which start-up restores with move(); the normal bounds
    // are the inside, so the frame's offset is taken off them.
    const QPoint frameOffset = geometry().topLeft() - pos();
    const QPoint origin = (isMaximized() || isMinimized()) ? normal.topLeft() - frameOffset : pos();

    SettingsValues values;
    values.top = origin.y() * kTwipsPerPixel;
    values.left = origin.x() * kTwipsPerPixel;
    values.width = normal.width() * kTwipsPerPixel;
    values.height = normal.height() * kTwipsPerPixel;
    values.searchField = SettingsFile::searchFieldLine(ui->MenuSearchBody->isChecked(), ui->MenuSearchAuthor->isChecked(),
                                                       ui->MenuSearchTitle->isChecked());
    values.wildcard = SettingsFile::wildcardLine(ui->MenuKeyPreface->isChecked(), ui->MenuKeyAppend->isChecked(),
                                                 ui->MenuKeyBracket->isChecked(), ui->MenuKeyNone->isChecked());
    values.panelTop = ui->Picture1->y() == 0 ? 0 : 100;
    values.windowState = windowState;
    values.startPage = ui->MnuOptionsStartPage->isChecked();
    values.autoUpdate = ui->MnuUpdateAuto->isChecked();
    values.minTray = ui->MnuMinTray->isChecked();
    values.noWarning = ui->ChkNoWarn->checkState() == Qt::Unchecked ? 0
                       : ui->ChkNoWarn->checkState() == Qt::Checked ? 1
                                                                     : 2;

    const QDir dir(m_state.baseDir);
    QStringList failures;
    QString error;
    if (!SettingsFile::write(dir.filePath(QStringLiteral("KnowledgeBase.ini")), values, &error))
        failures << error;
    if (!ListFile::write(dir.filePath(QStringLiteral("History.txt")), comboEntries(ui->Combo1), &error))
        failures << error;
    if (!ListFile::write(dir.filePath(QStringLiteral("UrlList.txt")), comboEntries(ui->Combo2), &error))
        failures << error;
    if (failures.isEmpty())
        return true;
    QMessageBox::warning(this, kAppTitle,
                         QStringLiteral("The settings and lists could not all be saved. Files already there "
                                        "were left unchanged.\n\n%1")
                             .arg(failures.join(QLatin1Char('\n'))));
    return false;
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

// ---- busy states and focus hand-over ----

void Form1::EnableOff()
{
    for (QWidget *w : std::initializer_list<QWidget *>{ui->CmdGo, ui->Combo1, ui->hscroll1, ui->hscroll2, ui->List1,
                                                       ui->cmdCheckDelete, ui->CmdMarkRange, ui->CmdMarkDelete})
        w->setEnabled(false);
}

void Form1::EnableOn()
{
    for (QWidget *w : std::initializer_list<QWidget *>{ui->CmdGo, ui->Combo1, ui->hscroll1, ui->hscroll2, ui->List1,
                                                       ui->cmdCheckDelete})
        w->setEnabled(true);
    if (ui->List1->count() > 0)
        ui->CmdMarkRange->setEnabled(true);
}

void Form1::EnableWebOff()
{
    if (ui->CmdBack->isEnabled())
        m_state.backWasOn = true;
    if (ui->CmdForward->isEnabled())
        m_state.forwardWasOn = true;
    if (ui->CmdRefresh->isEnabled())
        m_state.refreshWasOn = true;
    for (QWidget *w : std::initializer_list<QWidget *>{ui->CmdBack, ui->CmdForward, ui->CmdRefresh, ui->CmdHome,
                                                       ui->CmdManuals, ui->CmdReg, ui->CmdUpDown, ui->Combo2})
        w->setEnabled(false);
}

void Form1::EnableWebOn()
{
    if (m_state.backWasOn)
        ui->CmdBack->setEnabled(true);
    if (m_state.forwardWasOn)
        ui->CmdForward->setEnabled(true);
    if (m_state.refreshWasOn)
        ui->CmdRefresh->setEnabled(true);
    for (QWidget *w : std::initializer_list<QWidget *>{ui->CmdHome, ui->CmdManuals, ui->CmdReg, ui->CmdUpDown, ui->Combo2})
        w->setEnabled(true);
}

void Form1::Timer2_Timer()
{
    // txtBlank passes the focus on to the browser when it gets it.
    ui->txtBlank->setFocus(Qt::OtherFocusReason);
    setTimerEnabled(Timer2, false);
}

void Form1::txtBlank_GotFocus()
{
    m_web1->takeFocus();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->txtBlank && event->type() == QEvent::FocusIn)
        txtBlank_GotFocus();
    if (viewEventFilter(watched, event) || searchEventFilter(watched, event) || browserEventFilter(watched, event)
        || updateEventFilter(watched, event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

// ---- layout ----

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void Form1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void Form1::Form_Resize()
{
    if (m_state.formLoading)
        return;
    if (isMinimized()) {
        goToTray();
        return;
    }
    m_state.lastWindowState = isMaximized() ? 2 : 0;
    layoutPanels(false);
}

void Form1::layoutPanels(bool toggled)
{
    // The panels follow the client area: the browser fills the width and reaches down to
    // the status strip, which stays along the bottom edge, so nothing of the page lies
    // under it. The minimum window size keeps every computed size positive.
    const QSize client = ui->centralwidget->size();
    const int w = client.width();
    const int h = client.height();
    // The strip is as high as its text needs, at least its design height.
    const int stripHeight = qMax(px(285), ui->LblStBar1->sizeHint().height());
    QWidget *const panel = ui->Picture1;
    panel->setGeometry(panel->x(), panel->y(), qMax(0, w - panel->x()), panel->height());
    ui->web1->setGeometry(ui->web1->x(), ui->web1->y(), qMax(0, panel->width() - ui->web1->x()), ui->web1->height());
    if (w > px(6000)) {
        ui->List1->resize(qMax(0, w - ui->List1->x() - 1), ui->List1->height());
        ui->Combo2->resize(qMax(0, panel->width() - ui->Combo2->x() - px(135)), ui->Combo2->height());
        const int lineX = ui->List1->x() + ui->List1->width() + 4;
        ui->Line6->move(lineX, ui->Line6->y());
        // After the toggle the top line ends at the result list's edge; the next wide
        // resize carries it to the window's edge again.
        ui->Line1->resize(qMax(0, (toggled ? lineX : w) - ui->Line1->x()), ui->Line1->height());
    } else if (toggled) {
        ui->Line1->resize(qMax(0, ui->Line6->x() - ui->Line1->x()), ui->Line1->height());
    }
    // A window this low keeps the browser's height on resize; the toggle always sets it.
    if (toggled || h > px(3500)) {
        const int panelHeight = qMax(0, h - stripHeight - panel->y());
        panel->resize(panel->width(), panelHeight);
        ui->web1->resize(ui->web1->width(), qMax(0, panelHeight - ui->web1->y()));
    }
    ui->stbar->setGeometry(0, h - stripHeight, w, stripHeight);
    const int boxHeight = stripHeight - 2;
    ui->LblStBar1->resize(ui->LblStBar1->width(), stripHeight);
    ui->PBar1->resize(ui->PBar1->width(), boxHeight);
    ui->PLockBox->resize(ui->PLockBox->width(), boxHeight);
    const int lockLeft = w - px(425);
    ui->PLockBox->move(lockLeft, 1);
    ui->PBar1->move(lockLeft - ui->PBar1->width(), 1);
    ui->LblStBar1->resize(qMax(0, ui->PBar1->x()), ui->LblStBar1->height());
}

void Form1::setTabOrderChain()
{
    const std::initializer_list<QWidget *> chain{
        ui->Combo1, ui->CmdGo, ui->cmdCheckDelete, ui->CmdMarkRange, ui->List1, ui->H2Down, ui->hscroll2, ui->H2Up,
        ui->H1Down, ui->hscroll1, ui->H1Up, ui->CmdBack, ui->CmdForward, ui->CmdStop, ui->CmdRefresh, ui->CmdHome,
        ui->CmdManuals, ui->CmdReg, ui->cmdYahoo, ui->CmdUpDown, ui->CmdMarkDelete, ui->Combo2, m_web1->widget()};
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

void Form1::CmdUpDown_Click()
{
    QWidget *const panel = ui->Picture1;
    if (panel->y() == 0) {
        panel->move(panel->x(), px(1500));
        ui->CmdUpDown->setIcon(ui->CmdUp->icon());
        ui->CmdUpDown->setToolTip(QStringLiteral("Hide knowledgebase"));
        ui->MnuDelete->setEnabled(true);
    } else {
        panel->move(panel->x(), 0);
        ui->CmdUpDown->setIcon(ui->CmdDown->icon());
        ui->CmdUpDown->setToolTip(QStringLiteral("Show knowledgebase"));
        ui->MnuDelete->setEnabled(false);
        ui->PicDeleteMarked->hide();
    }
    layoutPanels(true);
    setTimerEnabled(Timer2, true);
}
