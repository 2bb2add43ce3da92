// SPDX-License-Identifier: GPL-3.0-or-later
// The keyboard shortcuts: each runs its command as the menu or the button does, a disabled
// command ignores its key, and no key is taken twice or from the menus' access keys.
#include "app/form1.h"
#include "widgets/busystates.h"
#include "browser/finddialog.h"
#include "browser/webenginebrowser.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "testenv.h"
#include "windowharness.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QShortcut>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

constexpr int kLongTime = 24 * 60 * 60 * 1000;
constexpr int kEngineTimeoutMs = 20000;

// Presses the key where the focus is, as the user would.
void press(QKeyCombination key)
{
    QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
}

bool focusIn(QWidget *widget)
{
    QWidget *focus = QApplication::focusWidget();
    return focus && (focus == widget || widget->isAncestorOf(focus));
}

// Counts the Ctrl+F key presses a widget receives.
class FindKeyCounter final : public QObject
{
public:
    explicit FindKeyCounter(QWidget *target) { target->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress
            && static_cast<QKeyEvent *>(event)->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_F))
            ++count;
        return false;
    }
};

}

class TestShortcuts final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowHarness> m_w;

    Form1 &form() const { return m_w->form(); }
    FakeBrowser &fake() const { return m_w->fake(); }
    QAction *action(const char *name) const { return m_w->child<QAction>(name); }
    ResultTable *list1() const { return m_w->child<ResultTable>("List1"); }
    QComboBox *combo2() const { return m_w->child<QComboBox>("Combo2"); }
    QTimer *timer2() const { return m_w->timer("Timer2"); }

    static void activate(WindowHarness &w)
    {
        QVERIFY(w.activated());
        w.form().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.form()));
    }

private slots:
    void init()
    {
        m_w = std::make_unique<WindowHarness>(Fixtures::range(1, 5));
        activate(*m_w);
        // The start-up hand-over is over; from here the focus stays where a test puts it.
        timer2()->stop();
        timer2()->setInterval(kLongTime);
        list1()->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), list1());
        fake().clearCalls();
    }
    void cleanup() { m_w.reset(); }

    void noKeyIsTakenTwiceOrFromTheMenus()
    {
        QList<QKeySequence> keys;
        for (const QAction *a : form().findChildren<QAction *>())
            keys << a->shortcuts();
        for (const QShortcut *s : form().findChildren<QShortcut *>())
            keys << s->key();
        for (const char *key : {"Ctrl+F", "Ctrl+P", "Ctrl+Q", "F5", "Alt+Left", "Alt+Right", "Ctrl+L"})
            QVERIFY2(keys.count(QKeySequence(QString::fromLatin1(key))) == 1, key);
        int menus = 0;
        for (const QAction *menu : form().menuBar()->actions()) {
            const QString title = menu->text();
            const qsizetype amp = title.indexOf(QLatin1Char('&'));
            if (amp < 0 || amp + 1 >= title.size())
                continue;
            ++menus;
            QVERIFY2(!keys.contains(QKeySequence(QStringLiteral("Alt+") + title.at(amp + 1).toUpper())), qPrintable(title));
        }
        QCOMPARE(menus, 5); // File, Edit, Options, View, Help
    }

    // The buttons' keys click them, so the commands' busy state and focus hand-over come too;
    // in a search's busy state the buttons are off and their keys do nothing.
    void buttonKeys_data()
    {
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QList<int>>("calls"); // back, forward, refresh
        const QKeySequence f5(Qt::Key_F5), altLeft(Qt::ALT | Qt::Key_Left), altRight(Qt::ALT | Qt::Key_Right);
        QTest::newRow("F5") << f5 << true << QList<int>{0, 0, 1};
        QTest::newRow("Alt+Left") << altLeft << true << QList<int>{1, 0, 0};
        QTest::newRow("Alt+Right") << altRight << true << QList<int>{0, 1, 0};
        for (const QKeySequence &key : {f5, altLeft, altRight})
            QTest::newRow(qPrintable(key.toString() + QStringLiteral(" off"))) << key << false << QList<int>{0, 0, 0};
    }
    void buttonKeys()
    {
        QFETCH(QKeySequence, key);
        QFETCH(bool, enabled);
        QFETCH(QList<int>, calls);
        fake().setHistoryState(true, true);
        if (enabled) {
            // Also from a box the user types into, which keeps the plain arrow keys for itself.
            combo2()->setFocus(Qt::OtherFocusReason);
            QTRY_VERIFY(focusIn(combo2()));
        } else {
            form().busy()->EnableWebOff();
        }
        press(key[0]);
        QCOMPARE((QList<int>{fake().backCount(), fake().forwardCount(), fake().refreshCount()}), calls);
        QCOMPARE(timer2()->isActive(), enabled);
    }

    void ctrlLSelectsTheAddressBar()
    {
        combo2()->setEditText(QStringLiteral("www.example.org"));
        timer2()->setInterval(50); // a navigation's hand-over of the focus to the page is pending
        timer2()->start();
        press(QKeyCombination(Qt::CTRL, Qt::Key_L));
        QCOMPARE(combo2()->lineEdit()->selectedText(), QStringLiteral("www.example.org"));
        QVERIFY(TestEnv::waitPast(timer2()->interval())); // the hand-over would have taken the focus by now
        QVERIFY(combo2()->hasFocus());
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("abc"));
        QCOMPARE(combo2()->currentText(), QStringLiteral("abc"));

        form().busy()->EnableWebOff();
        list1()->setFocus(Qt::OtherFocusReason);
        press(QKeyCombination(Qt::CTRL, Qt::Key_L));
        QCOMPARE(QApplication::focusWidget(), list1());
    }

    void ctrlPPrints()
    {
        press(QKeyCombination(Qt::CTRL, Qt::Key_P));
        QCOMPARE(fake().execWBCalls(), (QList<std::pair<int, int>>{{Browser::Print, Browser::PromptUser}}));
        action("MenuFilePrint")->setEnabled(false);
        press(QKeyCombination(Qt::CTRL, Qt::Key_P));
        QCOMPARE(fake().execWBCalls().size(), 1);
    }

    // Find types Ctrl+F into the focused control; that key must not run Find again.
    void ctrlFFindsOnce()
    {
        QWidget *page = fake().widget();
        page->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(focusIn(page));
        QSignalSpy finds(action("MnuFind"), &QAction::triggered);
        FindKeyCounter keys(page);
        // Find takes its key back only once the key it typed has gone by: a second Find that
        // key set off would have run by then.
        const auto keyBack = [&] {
            return action("MnuFind")->shortcut() == QKeySequence(QKeyCombination(Qt::CTRL, Qt::Key_F));
        };
        for (int round = 1; round <= 2; ++round) {
            press(QKeyCombination(Qt::CTRL, Qt::Key_F));
            QVERIFY(TestEnv::waitUntil(keyBack));
            QCOMPARE(finds.size(), round);
            QCOMPARE(keys.count, round);
        }
        action("MnuFind")->trigger();
        QVERIFY(TestEnv::waitUntil(keyBack));
        QCOMPARE(finds.size(), 3);
        QCOMPARE(keys.count, 3);
        QVERIFY(focusIn(page));
    }

    void ctrlQExitsAsExitDoes()
    {
        QSignalSpy exits(action("MenuFileExit"), &QAction::triggered);
        QFile::remove(m_w->path(QStringLiteral("KnowledgeBase.ini")));
        press(QKeyCombination(Qt::CTRL, Qt::Key_Q));
        QCOMPARE(exits.size(), 1);
        QVERIFY(!form().isVisible());
        QVERIFY(QFile::exists(m_w->path(QStringLiteral("KnowledgeBase.ini")))); // saved on the way out
    }

    // The real page keeps neither Alt+Left nor Ctrl+F for itself, and answers the Ctrl+F
    // that Find types with its find dialog.
    void realPage()
    {
        m_w.reset();
        WindowHarness w(Fixtures::range(1, 5), AppConfig{}, WindowHarness::Engine::Real);
        activate(w);
        auto &browser = static_cast<WebEngineBrowser &>(w.browser());
        const QString messagePage = QUrl::fromLocalFile(w.pagePath()).toString();
        QVERIFY(TestEnv::waitUntil([&] { return browser.documentUrl() == messagePage; }, kEngineTimeoutMs));
        QFile other(w.path(QStringLiteral("other.html")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("<html><body><p>another page</p></body></html>");
        other.close();
        browser.navigate(other.fileName());
        QVERIFY(TestEnv::waitUntil(
            [&] {
                return browser.documentUrl().endsWith(QLatin1String("/other.html"))
                    && w.child<QToolButton>("CmdBack")->isEnabled();
            },
            kEngineTimeoutMs));
        browser.takeFocus();
        QVERIFY(TestEnv::waitUntil([&] { return focusIn(browser.widget()); }, kEngineTimeoutMs));
        press(QKeyCombination(Qt::ALT, Qt::Key_Left));
        QVERIFY(TestEnv::waitUntil([&] { return browser.documentUrl() == messagePage; }, kEngineTimeoutMs));

        QVERIFY(TestEnv::waitUntil([&] { return focusIn(browser.widget()); }, kEngineTimeoutMs));
        QSignalSpy finds(w.child<QAction>("MnuFind"), &QAction::triggered);
        press(QKeyCombination(Qt::CTRL, Qt::Key_F));
        QVERIFY(TestEnv::waitUntil([&] { return browser.findDialog() && browser.findDialog()->isVisible(); },
                                   kEngineTimeoutMs));
        QCOMPARE(finds.size(), 1);
        browser.findDialog()->close();
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestShortcuts test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shortcuts.moc"
