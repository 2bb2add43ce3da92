// SPDX-License-Identifier: GPL-3.0-or-later
// The window's form as the designer leaves it, before the window class touches it,
// and the pictures drawn for it.

#include "widgets/icons.h"
#include "ui_form1.h"

#include <QtTest>

#include <QAbstractButton>
#include <QActionGroup>
#include <QDir>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>

#include <array>
#include <functional>
#include <memory>

namespace {

enum Flag { Hidden = 1, Disabled = 2, Checked = 4 };

constexpr int kTwipsPerPixel = 15;

// Design bounds are in twips; a line is given by its two ends and is one pixel thick.
QRect pixels(const QRect &twips)
{
    const auto px = [](int t) { return qRound(double(t) / kTwipsPerPixel); };
    return QRect(px(twips.x()), px(twips.y()), qMax(1, px(twips.width())), qMax(1, px(twips.height())));
}

QRect segment(int x1, int y1, int x2, int y2)
{
    return QRect(qMin(x1, x2), qMin(y1, y2), qAbs(x2 - x1), qAbs(y2 - y1));
}

QString caption(const QWidget *w)
{
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<const QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<const QLineEdit *>(w))
        return e->text();
    return {};
}

// One line per menu entry, indented by depth: "name caption [flags]", "-" for a separator.
void describeMenu(const QMenu *menu, int depth, QStringList &out)
{
    const QString indent(depth * 2, QLatin1Char(' '));
    for (const QAction *a : menu->actions()) {
        if (a->isSeparator()) {
            out << indent + QLatin1Char('-');
        } else if (const QMenu *sub = a->menu()) {
            out << indent + sub->objectName() + QLatin1Char(' ') + sub->title();
            describeMenu(sub, depth + 1, out);
        } else {
            QString line = indent + a->objectName() + QLatin1Char(' ') + a->text();
            if (a->isCheckable())
                line += a->isChecked() ? QStringLiteral(" [x]") : QStringLiteral(" [ ]");
            if (!a->isEnabled())
                line += QStringLiteral(" (disabled)");
            out << line;
        }
    }
}

int stackIndex(const QWidget *w)
{
    return w->parentWidget()->children().indexOf(const_cast<QWidget *>(w));
}

}

class TestForm1Ui final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void controls_data();
    void controls();
    void menuTree();
    void stackingAndHiding();
    void widgetSettings();
    void pictures_data();
    void pictures();
    void holderPictures();
    void renderForInspection();

private:
    template<typename T> T *find(const char *name) const;

    std::unique_ptr<QMainWindow> m_window;
    std::unique_ptr<Ui::Form1> m_ui;
};

template<typename T> T *TestForm1Ui::find(const char *name) const
{
    T *const object = m_window->findChild<T *>(QLatin1String(name));
    if (!object)
        qWarning("no %s named %s", T::staticMetaObject.className(), name);
    return object;
}

void TestForm1Ui::init()
{
    m_window = std::make_unique<QMainWindow>();
    m_ui = std::make_unique<Ui::Form1>();
    m_ui->setupUi(m_window.get());
}

void TestForm1Ui::cleanup()
{
    m_ui.reset();
    m_window.reset();
}

void TestForm1Ui::controls_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("kind"); // class name, or HLine / VLine for a QFrame line
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<int>("flags");

    const QString kb = QStringLiteral("centralwidget");
    const auto row = [](const char *name, const QString &parent, const char *kind, const QRect &twips,
                        const char *text = "", const char *tip = "", int flags = 0) {
        QTest::newRow(name) << parent << QString::fromLatin1(kind) << twips << QString::fromLatin1(text)
                            << QString::fromLatin1(tip) << flags;
    };
    const QRect nowhere;

    row("CmdGo", kb, "QPushButton", {60, 60, 720, 330}, "Subject", "Search message Subject");
    row("Combo1", kb, "QComboBox", {795, 60, 3900, 345}, "", "Enter Search Term Here");
    row("cmdCheckDelete", kb, "QToolButton", {4710, 75, 270, 315}, "", "Find all messages marked for deletion");
    row("List1", kb, "ResultListWidget", {5025, 60, 3000, 1410});
    row("lblResults", kb, "QLabel", {45, 430, 4620, 315}, "", "Search Results Shown Here");
    row("HPic2", kb, "QFrame", {1245, 450, 3435, 300});
    row("CmdMarkRange", kb, "QToolButton", {4710, 450, 270, 315}, "", "", Disabled);
    row("Line2", kb, "HLine", segment(4915, 775, 45, 775));
    row("LblUpdateStatus", kb, "QLabel", {45, 825, 4950, 300}, "Database Contains:", "Database Update Status");
    row("Label3", kb, "QLabel", {45, 1200, 1185, 285}, "All messages");
    row("HPic1", kb, "QFrame", {1230, 1155, 3750, 300});
    row("Line6", kb, "VLine", segment(8100, -15, 8100, 1845));
    row("Line5", kb, "VLine", segment(15, 1500, 15, 0));
    row("Line1", kb, "HLine", segment(15, 0, 1185, 0));
    row("PicDeleteMarked", kb, "QFrame", {15, -15, 4995, 1470}, "", "", Hidden);
    row("Picture1", kb, "QFrame", {15, 1500, 10000, 3000});
    row("PicEdit", kb, "QFrame", {1935, 2085, 5985, 4065}, "", "", Hidden);
    row("stbar", kb, "QFrame", {0, 8595 - 285, 10650, 285});
    row("ListSort", kb, "QListWidget", nowhere, "", "", Hidden);
    row("ListSort2", kb, "QListWidget", nowhere, "", "", Hidden);
    row("List2", kb, "QListWidget", nowhere, "", "", Hidden);
    row("CmdUp", kb, "QToolButton", nowhere, "", "", Hidden);
    row("CmdDown", kb, "QToolButton", nowhere, "", "", Hidden);
    row("PicTrash", kb, "QLabel", nowhere, "", "Remove Deletion Flag From All Found Messages", Hidden);
    row("PicSave", kb, "QLabel", nowhere, "", "Add Deletion Flag To  All Found Messages", Hidden);
    row("txtBlank", kb, "QLineEdit", nowhere);

    for (const char *n : {"HPic1", "HPic2"}) {
        const QString strip = QString::fromLatin1(n);
        const bool all = strip == QLatin1String("HPic1");
        row(all ? "H1Down" : "H2Down", strip, "QToolButton", nowhere, "<", "Next Lower Message");
        row(all ? "hscroll1" : "hscroll2", strip, "QScrollBar", nowhere, "",
            all ? "Scroll Through All Messages" : "Scroll Through All Results");
        row(all ? "H1Up" : "H2Up", strip, "QToolButton", nowhere, ">", "Next Higher Message");
    }

    const QString browser = QStringLiteral("Picture1");
    row("CmdBack", browser, "QToolButton", {15, 15, 330, 360}, "", "Back");
    row("CmdForward", browser, "QToolButton", {345, 15, 330, 360}, "", "Forward");
    row("CmdStop", browser, "QToolButton", {675, 15, 330, 360}, "", "Stop");
    row("CmdRefresh", browser, "QToolButton", {1000, 15, 330, 360}, "", "Refresh");
    row("CmdHome", browser, "QToolButton", {1335, 15, 330, 360}); // tool tip: the club host, set by the window
    row("CmdManuals", browser, "QToolButton", {1660, 15, 330, 360}, "", "Veltra manuals online");
    row("CmdReg", browser, "QToolButton", {2000, 15, 330, 360}, "", "Veltra registry");
    row("cmdYahoo", browser, "QToolButton", {2330, 15, 330, 360}, "", "Yahoo veltraclub group");
    row("CmdUpDown", browser, "QToolButton", {2660, 15, 330, 360}, "", "Hide knowldegebase");
    row("CmdMarkDelete", browser, "QToolButton", {2970, 15, 330, 360});
    row("Label1", browser, "QLabel", {3705, 60, 1500, 315}, "Address/Search");
    row("Combo2", browser, "QComboBox", {5160, 0, 4305, 345}, "", "Enter Internet Address or a Search Term");
    row("Line3", browser, "HLine", segment(15, 0, 4830, 0));
    row("Line4", browser, "VLine", segment(0, 0, 0, 410));
    row("web1", browser, "QWidget", {-15, 360, 8505, 4485});

    const QString strip = QStringLiteral("stbar");
    row("LblStBar1", strip, "QLineEdit", {0, 0, 8000, 285});
    row("PBar1", strip, "QProgressBar", {8000, -15, 1290, 260});
    row("PLockBox", strip, "QFrame", {9300, -30, 260, 275});
    row("PicLock", QStringLiteral("PLockBox"), "QLabel", nowhere);

    const QString del = QStringLiteral("PicDeleteMarked");
    row("TxtDelete", del, "QPlainTextEdit", {60, 45, 4830, 1005});
    row("CmdDeleteMarked", del, "QPushButton", {45, 1125, 1000, 285}, "Delete");
    row("CmdCompact", del, "QPushButton", {1200, 1125, 1000, 285}, "Compact");
    row("CmdDelExit", del, "QPushButton", {2350, 1125, 1000, 285}, "Exit");
    row("ChkNoWarn", del, "QCheckBox", {3645, 1155, 1185, 255}, "No Warning");

    const QString edit = QStringLiteral("PicEdit");
    row("Label2", edit, "QLabel", {1260, 30, 3495, 240}, "To remove an entry, select it and press \"Delete\"");
    row("LstEdit", edit, "QListWidget", {15, 300, 5835, 2985});
    row("Text1", edit, "QLineEdit", {15, 3330, 5835, 300});
    row("CmdDelete", edit, "QPushButton", {15, 3675, 1345, 285}, "Delete", "", Disabled);
    row("Command2", edit, "QPushButton", {1515, 3675, 1345, 300}, "Change", "", Disabled);
    row("cmdSaveExit", edit, "QPushButton", {3015, 3675, 1345, 285}, "Save / Exit", "", Disabled);
    row("CmdExit", edit, "QPushButton", {4515, 3675, 1345, 285}, "Undo / Exit");
    row("TxtNull", edit, "QLineEdit", {255, 2730, 330, 285}, "Text1");
}

void TestForm1Ui::controls()
{
    QFETCH(QString, parent);
    QFETCH(QString, kind);
    QFETCH(QRect, twips);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(int, flags);

    const QString name = QString::fromLatin1(QTest::currentDataTag());
    const auto all = m_window->findChildren<QWidget *>(name);
    QCOMPARE(all.size(), 1);
    const QWidget *const w = all.first();
    QCOMPARE(w->parentWidget()->objectName(), parent);

    if (kind == QLatin1String("HLine") || kind == QLatin1String("VLine")) {
        const auto *line = qobject_cast<const QFrame *>(w);
        QVERIFY(line);
        QCOMPARE(line->frameShape(), kind == QLatin1String("HLine") ? QFrame::HLine : QFrame::VLine);
        QVERIFY(qMin(w->width(), w->height()) <= 2);
    } else {
        QCOMPARE(QString::fromLatin1(w->metaObject()->className()), kind);
    }
    if (twips.isValid())
        QCOMPARE(w->geometry(), pixels(twips));
    QCOMPARE(caption(w), text);
    QCOMPARE(w->toolTip(), toolTip);
    QCOMPARE(w->isHidden(), bool(flags & Hidden));
    QCOMPARE(w->isEnabled(), !(flags & Disabled));
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        QCOMPARE(b->isChecked(), bool(flags & Checked));
}

void TestForm1Ui::menuTree()
{
    const QStringList expected = {
        QStringLiteral("MenuFile &File"),
        QStringLiteral("  MenuFileSaveAs Save &As (disabled)"),
        QStringLiteral("  -"),
        QStringLiteral("  MnuPageSetup Page Set&up... (disabled)"),
        QStringLiteral("  MenuFilePrint &Print (disabled)"),
        QStringLiteral("  MnuPrintPreview Print Pre&view... (disabled)"),
        QStringLiteral("  MenuFileExport &Export Messages..."),
        QStringLiteral("  -"),
        QStringLiteral("  MenuFileExit E&xit"),
        QStringLiteral("MnuEdit &Edit"),
        QStringLiteral("  MenuOptionsClear Search &History List"),
        QStringLiteral("    MnuEditHistory &Edit Search History"),
        QStringLiteral("    MnuClearHistory &Clear Search History"),
        QStringLiteral("  MenuOptionsClearList Internet Address &List"),
        QStringLiteral("    MnuEditAddress &Edit Internet Address List"),
        QStringLiteral("    MnuClearAddress &Clear Internet Address List"),
        QStringLiteral("  -"),
        QStringLiteral("  MnuFind &Find (on This Page)..."),
        QStringLiteral("  -"),
        QStringLiteral("  MnuDelete &Delete/Compact Database"),
        QStringLiteral("MenuOptions &Options"),
        QStringLiteral("  MenuSearch &Search Message Area"),
        QStringLiteral("    MenuSearchAuthor &Author [ ]"),
        QStringLiteral("    MenuSearchBody &Body [ ]"),
        QStringLiteral("    MenuSearchTitle &Subject [x]"),
        QStringLiteral("  -"),
        QStringLiteral("  MenuKey Search With &Wildcard"),
        QStringLiteral("    MenuKeyPreface P&reface with * [ ]"),
        QStringLiteral("    MenuKeyAppend Appen&d * [ ]"),
        QStringLiteral("    MenuKeyBracket Brac&ket with *.....* [x]"),
        QStringLiteral("    MenuKeyNone &None [ ]"),
        QStringLiteral("  -"),
        QStringLiteral("  MnuUpdateDB &Update Database"),
        QStringLiteral("    MnuUpdateNow Update &Now"),
        QStringLiteral("    MnuUpdateAuto &Automatic Updates [ ]"),
        QStringLiteral("  MnuStopUpdate S&top Update"),
        QStringLiteral("  MnuProxy &Proxy..."),
        QStringLiteral("  -"),
        QStringLiteral("  MenuOptionsInterrupt &Interrupt Search"),
        QStringLiteral("  -"),
        QStringLiteral("  MnuOptionsStartPage &Start at  [ ]"),
        QStringLiteral("  MnuMinTray &Minimize To System Tray [ ]"),
        QStringLiteral("  MnuOpenLastMessage Open at &Last Message Read [ ]"),
        QStringLiteral("MnuView &View"),
        QStringLiteral("  MenuViewOriginal &Message At Yahoo (disabled)"),
        QStringLiteral("  -"),
        QStringLiteral("  MnuViewConversation Show &Conversation (disabled)"),
        QStringLiteral("  MnuNextInConversation Ne&xt in Conversation (disabled)"),
        QStringLiteral("  MnuPrevInConversation Pre&vious in Conversation (disabled)"),
        QStringLiteral("  -"),
        QStringLiteral("  MnuNextMessage &Next Message"),
        QStringLiteral("  MnuPrevMessage &Previous Message"),
        QStringLiteral("  MnuNextHit Next &Hit"),
        QStringLiteral("  MnuPrevHit Previous Hi&t"),
        QStringLiteral("  -"),
        QStringLiteral("  MnuFlagMessage &Flag or Unflag Message"),
        QStringLiteral("  MnuSearchBox &Go to Search Box"),
        QStringLiteral("  -"),
        QStringLiteral("  MnuZoomIn Zoom &In"),
        QStringLiteral("  MnuZoomOut Zoom &Out"),
        QStringLiteral("  MnuZoomReset Reset &Zoom"),
        QStringLiteral("MenuHelp &Help"),
        QStringLiteral("  MenuHelpContents &Help"),
        QStringLiteral("  MnuKeyboard Keyboard &Shortcuts"),
        QStringLiteral("  -"),
        QStringLiteral("  MnuKBNews &KB News"),
        QStringLiteral("  -"),
        QStringLiteral("  MenuHelpAbout &About"),
    };

    QStringList actual;
    for (const QAction *top : m_window->menuBar()->actions()) {
        QVERIFY(top->menu());
        actual << top->menu()->objectName() + QLatin1Char(' ') + top->menu()->title();
        describeMenu(top->menu(), 1, actual);
    }
    QCOMPARE(actual, expected);

    // The window keeps the check marks itself, and builds the tray's pop-up menu in code.
    QVERIFY(m_window->findChildren<QActionGroup *>().isEmpty());
    QVERIFY(!m_window->findChild<QObject *>(QStringLiteral("MnuPopup")));
}

void TestForm1Ui::stackingAndHiding()
{
    // Front to back: status strip, list editor, browser panel, deletion panel, the rest.
    QWidget *const central = m_window->centralWidget();
    QCOMPARE(central->objectName(), QStringLiteral("centralwidget"));
    QList<QWidget *> order;
    for (QObject *child : central->children()) {
        if (child->isWidgetType())
            order << static_cast<QWidget *>(child);
    }
    QStringList lastFour;
    for (qsizetype i = order.size() - 4; i < order.size(); ++i)
        lastFour << order.at(i)->objectName();
    QCOMPARE(lastFour, QStringList({QStringLiteral("PicDeleteMarked"), QStringLiteral("Picture1"),
                                    QStringLiteral("PicEdit"), QStringLiteral("stbar")}));

    // The holders, scratch lists and the focus sink lie under the browser panel.
    const QRect browser = find<QWidget>("Picture1")->geometry();
    for (const char *name : {"ListSort", "ListSort2", "List2", "CmdUp", "CmdDown", "PicTrash", "PicSave", "txtBlank"}) {
        const QWidget *w = find<QWidget>(name);
        QVERIFY2(browser.contains(w->geometry()), name);
        QVERIFY2(stackIndex(w) < stackIndex(find<QWidget>("Picture1")), name);
    }
    // The focus sink must be able to take the focus, yet never be seen.
    const auto *sink = find<QLineEdit>("txtBlank");
    QCOMPARE(sink->size(), QSize(1, 1));
    QVERIFY(!sink->isHidden() && sink->isEnabled());
    QVERIFY(sink->focusPolicy() & Qt::ClickFocus);

    // Overlapping neighbours: the slider strip covers the result label, the list hides the focus box.
    QVERIFY(stackIndex(find<QWidget>("HPic2")) > stackIndex(find<QWidget>("lblResults")));
    QVERIFY(stackIndex(find<QWidget>("LstEdit")) > stackIndex(find<QWidget>("TxtNull")));

    // The slider strips: "<", the slider, ">" from left to right within the strip.
    for (const auto &names : {std::array{"HPic1", "H1Down", "hscroll1", "H1Up"},
                              std::array{"HPic2", "H2Down", "hscroll2", "H2Up"}}) {
        const QRect strip = QRect(QPoint(), find<QWidget>(names[0])->size());
        const QRect down = find<QWidget>(names[1])->geometry();
        const QRect bar = find<QWidget>(names[2])->geometry();
        const QRect up = find<QWidget>(names[3])->geometry();
        QVERIFY(strip.contains(down) && strip.contains(bar) && strip.contains(up));
        QVERIFY(down.right() < bar.left() && bar.right() < up.left());
    }
    // Panels paint their background, so they hide what lies beneath them.
    for (const char *name : {"Picture1", "PicDeleteMarked", "PicEdit", "stbar", "HPic1", "HPic2"})
        QVERIFY2(find<QWidget>(name)->autoFillBackground(), name);
}

void TestForm1Ui::widgetSettings()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("Form1"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Veltra KnowledgeBase"));
    QCOMPARE(m_window->width(), 710);
    QVERIFY(!m_window->centralWidget()->layout());

    const QWidget *web1 = find<QWidget>("web1");
    const auto *web1Layout = qobject_cast<const QVBoxLayout *>(web1->layout());
    QVERIFY(web1Layout);
    QCOMPARE(web1Layout->objectName(), QStringLiteral("web1Layout"));
    QCOMPARE(web1Layout->contentsMargins(), QMargins());
    QCOMPARE(web1Layout->count(), 0);

    for (const char *name : {"Combo1", "Combo2"}) {
        const auto *combo = find<QComboBox>(name);
        QVERIFY2(combo->isEditable(), name);
        QCOMPARE(combo->insertPolicy(), QComboBox::NoInsert);
    }
    for (const char *name : {"hscroll1", "hscroll2"})
        QCOMPARE(find<QScrollBar>(name)->orientation(), Qt::Horizontal);
    QVERIFY(find<QLineEdit>("LblStBar1")->isReadOnly());
    QVERIFY(!find<QProgressBar>("PBar1")->isTextVisible());
    QCOMPARE(find<QProgressBar>("PBar1")->value(), find<QProgressBar>("PBar1")->minimum());

    const auto *instructions = find<QPlainTextEdit>("TxtDelete");
    QVERIFY(instructions->isReadOnly());
    const QString text = instructions->toPlainText();
    const QStringList pieces = {
        QStringLiteral("Instructions for Deleting messages and compacting the database.\n"),
        QStringLiteral("\n1. Mark messages for deletion before deleting or compacting the database.\n"),
        QStringLiteral("\n2. Click the \"Delete\" button to delete all marked messages.\n"),
        QStringLiteral("\n3. Click the \"Compact\" button to compact the database.\n"),
        QStringLiteral("\nNotes:\n"),
        QStringLiteral("will pause during database compaction then end and restart after the compaction is complete"),
        QStringLiteral("\"No Warning\""),
    };
    for (const QString &piece : pieces)
        QVERIFY2(text.contains(piece), qPrintable(piece));
    QVERIFY(text.startsWith(pieces.first()));
    const qsizetype withCrLf = text.size() + text.count(QLatin1Char('\n'));
    QVERIFY2(withCrLf > 800 && withCrLf < 900, qPrintable(QString::number(withCrLf)));

    // Picture buttons have no caption, so screen readers need a name.
    for (const QToolButton *b : m_window->findChildren<QToolButton *>()) {
        if (b->objectName().startsWith(QLatin1String("qt_")))
            continue;
        QVERIFY2(!b->accessibleName().isEmpty(), qPrintable(b->objectName()));
    }
}

void TestForm1Ui::pictures_data()
{
    QTest::addColumn<std::function<qint64()>>("key");
    QTest::addColumn<std::function<QPixmap()>>("picture");
    QTest::addColumn<QSize>("size");

    const auto pixmapRow = [](const char *name, QPixmap (*f)(), QSize size) {
        QTest::newRow(name) << std::function<qint64()>([f] { return f().cacheKey(); })
                            << std::function<QPixmap()>(f) << size;
    };
    const auto iconRow = [](const char *name, QIcon (*f)(), QSize size) {
        QTest::newRow(name) << std::function<qint64()>([f] { return f().cacheKey(); })
                            << std::function<QPixmap()>([f, size] { return f().pixmap(size); }) << size;
    };
    pixmapRow("trash", Icons::trash, {20, 17});
    pixmapRow("save", Icons::save, {20, 17});
    pixmapRow("tick", Icons::tick, {20, 17});
    pixmapRow("lock", Icons::lock, {12, 14});
    iconRow("trashIcon", Icons::trashIcon, {20, 17});
    iconRow("saveIcon", Icons::saveIcon, {20, 17});
    iconRow("up", Icons::up, {16, 16});
    iconRow("down", Icons::down, {16, 16});
    iconRow("back", Icons::back, {16, 16});
    iconRow("forward", Icons::forward, {16, 16});
    iconRow("stop", Icons::stop, {16, 16});
    iconRow("refresh", Icons::refresh, {16, 16});
    iconRow("home", Icons::home, {16, 16});
    iconRow("manuals", Icons::manuals, {16, 16});
    iconRow("registry", Icons::registry, {16, 16});
    iconRow("group", Icons::group, {16, 16});
    iconRow("appIcon", Icons::appIcon, {32, 32});
    iconRow("appIcon small", Icons::appIcon, {16, 16});
}

void TestForm1Ui::pictures()
{
    QFETCH(std::function<qint64()>, key);
    QFETCH(std::function<QPixmap()>, picture);
    QFETCH(QSize, size);

    // A button's state is read by comparing its picture with a holder's: the key must not change.
    QCOMPARE(key(), key());
    const QPixmap pixmap = picture();
    QCOMPARE(pixmap.size(), size);
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            opaque += qAlpha(image.pixel(x, y)) > 128;
    QVERIFY2(opaque >= image.width() * image.height() / 12, qPrintable(QString::number(opaque)));
    QVERIFY2(opaque < image.width() * image.height(), "no transparent background");
}

void TestForm1Ui::holderPictures()
{
    // The window recognises a button's state by its picture: copies keep the key, the two
    // states of each pair do not share one.
    m_ui->PicTrash->setPixmap(Icons::trash());
    m_ui->PicSave->setPixmap(Icons::save());
    QCOMPARE(m_ui->PicTrash->pixmap().cacheKey(), Icons::trash().cacheKey());
    QCOMPARE(m_ui->PicSave->pixmap().cacheKey(), Icons::save().cacheKey());
    QVERIFY(Icons::trash().cacheKey() != Icons::save().cacheKey());
    QVERIFY(Icons::trash().toImage() != Icons::save().toImage());

    m_ui->CmdMarkRange->setIcon(Icons::trashIcon());
    QCOMPARE(m_ui->CmdMarkRange->icon().cacheKey(), Icons::trashIcon().cacheKey());
    QVERIFY(Icons::trashIcon().cacheKey() != Icons::saveIcon().cacheKey());

    m_ui->CmdUp->setIcon(Icons::up());
    m_ui->CmdDown->setIcon(Icons::down());
    m_ui->CmdUpDown->setIcon(m_ui->CmdDown->icon());
    QCOMPARE(m_ui->CmdUpDown->icon().cacheKey(), m_ui->CmdDown->icon().cacheKey());
    QVERIFY(m_ui->CmdUp->icon().cacheKey() != m_ui->CmdDown->icon().cacheKey());
}

void TestForm1Ui::renderForInspection()
{
    // Set VELTRA_FORM_PNG to a folder to get pictures of the form for a human to look at.
    const QString folder = qEnvironmentVariable("VELTRA_FORM_PNG");
    if (folder.isEmpty())
        QSKIP("VELTRA_FORM_PNG not set");
    QVERIFY(QDir().mkpath(folder));

    m_ui->CmdUpDown->setIcon(Icons::up());
    m_ui->CmdMarkDelete->setIcon(Icons::saveIcon());
    m_ui->CmdMarkRange->setIcon(Icons::saveIcon());
    m_ui->cmdCheckDelete->setIcon(QIcon(Icons::tick()));
    m_ui->CmdBack->setIcon(Icons::back());
    m_ui->CmdForward->setIcon(Icons::forward());
    m_ui->CmdStop->setIcon(Icons::stop());
    m_ui->CmdRefresh->setIcon(Icons::refresh());
    m_ui->CmdHome->setIcon(Icons::home());
    m_ui->CmdManuals->setIcon(Icons::manuals());
    m_ui->CmdReg->setIcon(Icons::registry());
    m_ui->cmdYahoo->setIcon(Icons::group());
    m_ui->PicLock->setPixmap(Icons::lock());
    m_ui->lblResults->setText(QStringLiteral(" 12 Found"));
    m_ui->List1->addItems({QStringLiteral("101 : Re: clutch cable"), QStringLiteral("205 : Headlamp wiring")});
    m_window->setWindowIcon(Icons::appIcon());
    m_window->resize(710, 573 + m_window->menuBar()->sizeHint().height());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    QVERIFY(m_window->grab().save(QDir(folder).filePath(QStringLiteral("form1.png"))));
    m_ui->PicDeleteMarked->show();
    QVERIFY(m_window->grab().save(QDir(folder).filePath(QStringLiteral("form1-delete.png"))));
    m_ui->PicDeleteMarked->hide();
    m_ui->PicEdit->show();
    QVERIFY(m_window->grab().save(QDir(folder).filePath(QStringLiteral("form1-edit.png"))));

    // Every picture at its size and three times enlarged, pixel for pixel.
    const QList<QPixmap> all = {Icons::trash(), Icons::save(), Icons::tick(), Icons::lock(),
                                Icons::appIcon().pixmap(32, 32), Icons::appIcon().pixmap(16, 16),
                                Icons::up().pixmap(16, 16), Icons::down().pixmap(16, 16),
                                Icons::back().pixmap(16, 16), Icons::forward().pixmap(16, 16),
                                Icons::stop().pixmap(16, 16), Icons::refresh().pixmap(16, 16),
                                Icons::home().pixmap(16, 16), Icons::manuals().pixmap(16, 16),
                                Icons::registry().pixmap(16, 16), Icons::group().pixmap(16, 16)};
    constexpr int cell = 104;
    QImage sheet(int(all.size()) * cell, 150, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    {
        QPainter p(&sheet);
        for (int i = 0; i < all.size(); ++i) {
            const QPixmap &pm = all.at(i);
            p.drawPixmap(i * cell + 4, 4, pm);
            p.drawPixmap(QRect(i * cell + 4, 44, pm.width() * 3, pm.height() * 3), pm);
        }
    }
    QVERIFY(sheet.save(QDir(folder).filePath(QStringLiteral("icons.png"))));
}

QTEST_MAIN(TestForm1Ui)
#include "tst_form1ui.moc"
