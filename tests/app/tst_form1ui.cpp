// SPDX-License-Identifier: GPL-3.0-or-later
// What a user could notice of the window's form before the window class touches it: every
// control in its panel with its caption, tip and state, the menus as they read, and the
// pictures drawn for it. Sizes are the window's to set (tst_layout), and so is the tab order.

#include "widgets/icons.h"
#include "ui_form1.h"

#include <QtTest>

#include <QAbstractButton>
#include <QActionGroup>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <array>
#include <functional>
#include <memory>

namespace {

// Placed: the window sizes and places it to fit the panel (tst_layout checks the result).
enum Flag { Hidden = 1, Disabled = 2, Checked = 4, Placed = 8 };

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

// One line per menu entry as the user sees it, indented by depth: "caption [mark] (disabled)",
// "-" for a separator.
void describeMenu(const QMenu *menu, int depth, QStringList &out)
{
    const QString indent(depth * 2, QLatin1Char(' '));
    for (const QAction *a : menu->actions()) {
        if (a->isSeparator()) {
            out << indent + QLatin1Char('-');
        } else if (const QMenu *sub = a->menu()) {
            out << indent + sub->title();
            describeMenu(sub, depth + 1, out);
        } else {
            QString line = indent + a->text();
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
    void menuCaptions();
    void stackingAndHiding();
    void widgetSettings();
    void pictures_data();
    void pictures();
    void holderPictures();

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
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<int>("flags");

    const QString kb = QStringLiteral("centralwidget");
    const auto row = [](const char *name, const QString &parent, const char *kind, const char *text = "",
                        const char *tip = "", int flags = 0) {
        QTest::newRow(name) << parent << QString::fromLatin1(kind) << QString::fromLatin1(text)
                            << QString::fromLatin1(tip) << flags;
    };

    row("CmdGo", kb, "QPushButton", "Subject", "Search message Subject");
    row("Combo1", kb, "QComboBox", "", "Enter Search Term Here");
    row("cmdCheckDelete", kb, "QToolButton", "", "Find all messages marked for deletion");
    row("List1", kb, "ResultTable");
    row("lblResults", kb, "QLabel", "", "Search Results Shown Here");
    row("HPic2", kb, "QFrame");
    row("CmdMarkRange", kb, "QToolButton", "", "", Disabled);
    row("Line2", kb, "HLine");
    row("LblUpdateStatus", kb, "QLabel", "Database Contains:", "Database Update Status");
    row("Label3", kb, "QLabel", "All messages");
    row("HPic1", kb, "QFrame");
    row("Line6", kb, "VLine");
    row("Line5", kb, "VLine");
    row("Line1", kb, "HLine");
    row("PicDeleteMarked", kb, "QFrame", "", "", Hidden);
    row("Picture1", kb, "QFrame");
    row("PicEdit", kb, "QFrame", "", "", Hidden);
    row("stbar", kb, "QFrame");
    row("ListSort", kb, "QListWidget", "", "", Hidden);
    row("ListSort2", kb, "QListWidget", "", "", Hidden);
    row("List2", kb, "QListWidget", "", "", Hidden);
    row("CmdUp", kb, "QToolButton", "", "", Hidden);
    row("CmdDown", kb, "QToolButton", "", "", Hidden);
    row("PicTrash", kb, "QLabel", "", "Remove Deletion Flag From All Found Messages", Hidden);
    row("PicSave", kb, "QLabel", "", "Add Deletion Flag To  All Found Messages", Hidden);
    row("txtBlank", kb, "QLineEdit");

    for (const char *n : {"HPic1", "HPic2"}) {
        const QString strip = QString::fromLatin1(n);
        const bool all = strip == QLatin1String("HPic1");
        row(all ? "H1Down" : "H2Down", strip, "QToolButton", "<", "Next Lower Message");
        row(all ? "hscroll1" : "hscroll2", strip, "QScrollBar", "",
            all ? "Scroll Through All Messages" : "Scroll Through All Results");
        row(all ? "H1Up" : "H2Up", strip, "QToolButton", ">", "Next Higher Message");
    }

    const QString browser = QStringLiteral("Picture1");
    row("CmdBack", browser, "QToolButton", "", "Back");
    row("CmdForward", browser, "QToolButton", "", "Forward");
    row("CmdStop", browser, "QToolButton", "", "Stop");
    row("CmdRefresh", browser, "QToolButton", "", "Refresh");
    row("CmdHome", browser, "QToolButton"); // tool tip: the club host, set by the window
    row("CmdManuals", browser, "QToolButton", "", "Veltra manuals online");
    row("CmdReg", browser, "QToolButton", "", "Veltra registry");
    row("cmdYahoo", browser, "QToolButton", "", "Yahoo veltraclub group");
    row("CmdUpDown", browser, "QToolButton", "", "Hide knowldegebase");
    row("CmdMarkDelete", browser, "QToolButton");
    row("Label1", browser, "QLabel", "Address/Search");
    row("Combo2", browser, "QComboBox", "", "Enter Internet Address or a Search Term");
    row("Line3", browser, "HLine");
    row("Line4", browser, "VLine");
    row("web1", browser, "QWidget", "", "", Placed);

    const QString strip = QStringLiteral("stbar");
    row("LblStBar1", strip, "QLineEdit");
    row("PBar1", strip, "QProgressBar");
    row("PLockBox", strip, "QFrame", "", "", Placed);
    row("PicLock", QStringLiteral("PLockBox"), "QLabel");

    const QString del = QStringLiteral("PicDeleteMarked");
    row("TxtDelete", del, "QPlainTextEdit");
    row("CmdDeleteMarked", del, "QPushButton", "Delete");
    row("CmdCompact", del, "QPushButton", "Compact");
    row("CmdDelExit", del, "QPushButton", "Exit");
    row("ChkNoWarn", del, "QCheckBox", "No Warning");

    const QString edit = QStringLiteral("PicEdit");
    row("Label2", edit, "QLabel", "To remove an entry, select it and press \"Delete\"");
    row("LstEdit", edit, "QListWidget");
    row("Text1", edit, "QLineEdit");
    row("CmdDelete", edit, "QPushButton", "Delete", "", Disabled);
    row("Command2", edit, "QPushButton", "Change", "", Disabled);
    row("cmdSaveExit", edit, "QPushButton", "Save / Exit", "", Disabled);
    row("CmdExit", edit, "QPushButton", "Undo / Exit");
    row("TxtNull", edit, "QLineEdit", "Text1");
}

void TestForm1Ui::controls()
{
    QFETCH(QString, parent);
    QFETCH(QString, kind);
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
    // Seen within its panel: a control placed past the panel's edge is cut off or never shown.
    if (!w->isHidden() && !(flags & Placed) && w->parentWidget() != m_window->centralWidget()) {
        const QRect panel(QPoint(), w->parentWidget()->size());
        QVERIFY2(panel.adjusted(-1, -1, 1, 1).contains(w->geometry()), qPrintable(QStringLiteral("%1 reaches past its panel").arg(name)));
    }
    QCOMPARE(caption(w), text);
    QCOMPARE(w->toolTip(), toolTip);
    QCOMPARE(w->isHidden(), bool(flags & Hidden));
    QCOMPARE(w->isEnabled(), !(flags & Disabled));
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        QCOMPARE(b->isChecked(), bool(flags & Checked));
}

void TestForm1Ui::menuCaptions()
{
    const QStringList expected = {
        QStringLiteral("&File"),
        QStringLiteral("  &New Message Database... (disabled)"),
        QStringLiteral("  -"),
        QStringLiteral("  Save &As (disabled)"),
        QStringLiteral("  -"),
        QStringLiteral("  Page Set&up... (disabled)"),
        QStringLiteral("  &Print (disabled)"),
        QStringLiteral("  Print Pre&view... (disabled)"),
        QStringLiteral("  &Export Messages..."),
        QStringLiteral("  -"),
        QStringLiteral("  E&xit"),
        QStringLiteral("&Edit"),
        QStringLiteral("  Search &History List"),
        QStringLiteral("    &Edit Search History"),
        QStringLiteral("    &Clear Search History"),
        QStringLiteral("  Internet Address &List"),
        QStringLiteral("    &Edit Internet Address List"),
        QStringLiteral("    &Clear Internet Address List"),
        QStringLiteral("  -"),
        QStringLiteral("  &Find (on This Page)..."),
        QStringLiteral("  -"),
        QStringLiteral("  &Delete/Compact Database"),
        QStringLiteral("&Options"),
        QStringLiteral("  &Search Message Area"),
        QStringLiteral("    &Author [ ]"),
        QStringLiteral("    &Body [ ]"),
        QStringLiteral("    &Subject [x]"),
        QStringLiteral("  -"),
        QStringLiteral("  Search With &Wildcard"),
        QStringLiteral("    P&reface with * [ ]"),
        QStringLiteral("    Appen&d * [ ]"),
        QStringLiteral("    Brac&ket with *.....* [x]"),
        QStringLiteral("    &None [ ]"),
        QStringLiteral("    -"),
        QStringLiteral("    &Whole Words [ ]"),
        QStringLiteral("  -"),
        QStringLiteral("  &Update Database"),
        QStringLiteral("    Update &Now"),
        QStringLiteral("    &Automatic Updates [ ]"),
        QStringLiteral("  S&top Update"),
        QStringLiteral("  &Proxy..."),
        QStringLiteral("  -"),
        QStringLiteral("  &Interrupt Search"),
        QStringLiteral("  -"),
        QStringLiteral("  &Start at  [ ]"),
        QStringLiteral("  &Minimize To System Tray [ ]"),
        QStringLiteral("  Open at &Last Message Read [ ]"),
        QStringLiteral("  &Notify Of New Messages [x]"),
        QStringLiteral("&View"),
        QStringLiteral("  &Message At Yahoo (disabled)"),
        QStringLiteral("  -"),
        QStringLiteral("  &New Messages"),
        QStringLiteral("  Mark &All Read"),
        QStringLiteral("  Missing N&umbers..."),
        QStringLiteral("  -"),
        QStringLiteral("  Show &Conversation (disabled)"),
        QStringLiteral("  Ne&xt in Conversation (disabled)"),
        QStringLiteral("  Pre&vious in Conversation (disabled)"),
        QStringLiteral("  -"),
        QStringLiteral("  &Next Message"),
        QStringLiteral("  &Previous Message"),
        QStringLiteral("  Next &Hit"),
        QStringLiteral("  Previous Hi&t"),
        QStringLiteral("  -"),
        QStringLiteral("  &Flag or Unflag Message"),
        QStringLiteral("  &Go to Search Box"),
        QStringLiteral("  -"),
        QStringLiteral("  Zoom &In"),
        QStringLiteral("  Zoom &Out"),
        QStringLiteral("  Reset &Zoom"),
        QStringLiteral("&Help"),
        QStringLiteral("  &Help"),
        QStringLiteral("  Keyboard &Shortcuts"),
        QStringLiteral("  -"),
        QStringLiteral("  &KB News"),
        QStringLiteral("  -"),
        QStringLiteral("  &About"),
    };

    QStringList actual;
    for (const QAction *top : m_window->menuBar()->actions()) {
        QVERIFY(top->menu());
        actual << top->menu()->title();
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
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Veltra KnowledgeBase"));

    // The page fills its frame edge to edge.
    const QWidget *web1 = find<QWidget>("web1");
    const auto *web1Layout = qobject_cast<const QVBoxLayout *>(web1->layout());
    QVERIFY(web1Layout);
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

QTEST_MAIN(TestForm1Ui)
#include "tst_form1ui.moc"
