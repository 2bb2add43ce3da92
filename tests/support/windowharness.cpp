// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowharness.h"

#include "app/form1.h"
#include "base/version.h"
#include "archive/messagearchive.h"
#include "browser/webenginebrowser.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "modalanswerer.h"
#include "store/recordset.h"
#include "testenv.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include <optional>

namespace Harness {

namespace {

// Activation sets "... V3.4.1"; with the real engine the message page it shows then makes
// it "... V3.4".
const QString kCaption = QStringLiteral("Veltra Knowledgebase V" VELTRA_VERSION_SHORT);

}

MessageRecord titled(qint32 messnum, const QString &subject, bool flagged)
{
    MessageRecord r = Fixtures::message(messnum);
    r.messtitle = QStringLiteral("[vclub]") + subject;
    if (flagged)
        r.messdate.prepend(QStringLiteral("-1"));
    return r;
}

DataFolder::DataFolder()
    : m_previous(QDir::currentPath())
{
    if (!m_dir.isValid())
        qFatal("no temporary folder");
    QDir::setCurrent(m_dir.path());
}

DataFolder::~DataFolder()
{
    QDir::setCurrent(m_previous);
}

bool DataFolder::isValid() const
{
    return m_dir.isValid();
}

QString DataFolder::path(const QString &name) const
{
    return m_dir.filePath(name);
}

std::unique_ptr<Form1> startWindow(FakeBrowser **fake, const AppConfig &config, Engine engine, Questions questions)
{
    Browser *browser = nullptr;
    if (engine == Engine::Fake) {
        *fake = new FakeBrowser;
        browser = *fake;
    } else {
        *fake = nullptr;
        browser = new WebEngineBrowser;
    }
    return startWindow(browser, config, questions);
}

std::unique_ptr<Form1> startWindow(Browser *browser, const AppConfig &config, Questions questions)
{
    std::unique_ptr<Form1> w;
    {
        std::optional<ModalAnswerer> answerer;
        if (questions == Questions::Declined)
            answerer.emplace(QMessageBox::No);
        w = std::make_unique<Form1>(config, browser);
        w->showAsLoaded();
        // Activation follows the first showing from the event loop.
        if (!TestEnv::waitUntil([&] { return w->windowTitle().startsWith(kCaption); }, 5000))
            qWarning("the window was not activated");
    }
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w.get()))
        qWarning("the window did not become active");
    return w;
}

QWidget *widget(QWidget *window, const char *name)
{
    auto *w = window->findChild<QWidget *>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

QAction *action(QWidget *window, const char *name)
{
    auto *a = window->findChild<QAction *>(QLatin1String(name));
    if (!a)
        qFatal("no menu entry %s", name);
    return a;
}

void search(QWidget *window, const QString &term)
{
    auto *box = child<QComboBox>(window, "Combo1");
    box->setFocus();
    box->setEditText(term);
    QTest::keyClick(box, Qt::Key_Return);
}

QString WindowTest::path(const QString &name) const
{
    return m_folder->path(name);
}

std::unique_ptr<Form1> WindowTest::start(const QList<MessageRecord> &records)
{
    if (!Fixtures::writeDatabase(path(QStringLiteral("veltra.mdb")), records))
        qFatal("the database was not written");
    return restart();
}

std::unique_ptr<Form1> WindowTest::restart(const AppConfig &config)
{
    return startWindow(&m_fake, config);
}

FakeBrowser *WindowTest::fake() const
{
    return m_fake;
}

void WindowTest::init()
{
    m_folder = std::make_unique<DataFolder>();
    QVERIFY(m_folder->isValid());
}

void WindowTest::cleanup()
{
    m_folder.reset();
    m_fake = nullptr;
}

EnterCounter::EnterCounter(QComboBox *box, Where where)
    : m_box(box)
    , m_where(where)
{
    if (where == InTheBox)
        box->installEventFilter(this);
    else
        qApp->installEventFilter(this);
}

bool EnterCounter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent *>(event)->key() != Qt::Key_Return)
        return false;
    if (m_where == InTheBox) {
        ++count;
        return false;
    }
    if (event->spontaneous() || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    if (widget != m_box && widget != m_box->lineEdit() && !widget->isAncestorOf(m_box))
        ++count;
    return false;
}

}

WindowHarness::WindowHarness(const QList<MessageRecord> &records, const AppConfig &config, Engine engine)
    : WindowHarness(&records, config, engine)
{
}

std::unique_ptr<WindowHarness> WindowHarness::withoutDatabase(const AppConfig &config)
{
    return std::unique_ptr<WindowHarness>(new WindowHarness(nullptr, config, Engine::Fake));
}

WindowHarness::WindowHarness(const QList<MessageRecord> *records, const AppConfig &config, Engine engine)
    : m_engine(engine)
{
    if (records && !Fixtures::writeDatabase(path(QStringLiteral("veltra.mdb")), *records))
        qFatal("the test database could not be written");
    restart(config);
}

WindowHarness::~WindowHarness()
{
    m_form.reset();
}

void WindowHarness::restart(const AppConfig &config)
{
    m_form.reset();
    m_form = Harness::startWindow(&m_fake, config, m_engine, Harness::Questions::Declined);
    m_browser = m_form->web1();
    m_activated = m_form->windowTitle().startsWith(Harness::kCaption);
}

bool WindowHarness::activated() const
{
    return m_activated;
}

Form1 &WindowHarness::form() const
{
    return *m_form;
}

FakeBrowser &WindowHarness::fake() const
{
    if (!m_fake)
        qFatal("the window runs the real browser");
    return *m_fake;
}

Browser &WindowHarness::browser() const
{
    return *m_browser;
}

QString WindowHarness::path(const QString &name) const
{
    return m_folder.path(name);
}

QString WindowHarness::pagePath() const
{
    return path(QStringLiteral("tempfile.htm"));
}

QByteArray WindowHarness::page() const
{
    return Fixtures::readAll(pagePath());
}

qint32 WindowHarness::pageNumber() const
{
    static const QByteArray lead = "Message Number: ";
    const QByteArray bytes = page();
    if (!bytes.startsWith(lead))
        return 0;
    const qsizetype end = bytes.indexOf("<br>");
    return bytes.mid(lead.size(), end - lead.size()).toInt();
}

int WindowHarness::pageNavigations() const
{
    return int(fake().navigations().count(pagePath()));
}

qint32 WindowHarness::cursorNumber() const
{
    Recordset *rs = m_form->archive()->recordset();
    return rs && rs->hasCurrent() ? rs->field(QStringLiteral("messnum")).toInt() : 0;
}

QObject *WindowHarness::findNamed(const char *name) const
{
    QObject *found = m_form->findChild<QObject *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

QTimer *WindowHarness::timer(const char *name) const
{
    return child<QTimer>(name);
}

void WindowHarness::tickTimer3() const
{
    QMetaObject::invokeMethod(timer("Timer3"), "timeout", Qt::DirectConnection);
}

void WindowHarness::holdTimer3() const
{
    // An interval no test outlasts; enabling the timer keeps it.
    timer("Timer3")->setInterval(24 * 60 * 60 * 1000);
}
