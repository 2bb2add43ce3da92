#include "searchwindow.h"

#include "app/form1.h"
#include "fakebrowser.h"
#include "fixtures.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QtTest>

namespace SearchWindow {

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
    if (m_dir.isValid())
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

std::unique_ptr<Form1> startWindow(FakeBrowser **fake)
{
    *fake = new FakeBrowser;
    auto w = std::make_unique<Form1>(AppConfig{}, *fake);
    w->showAsLoaded();
    if (!QTest::qWaitFor([&] { return w->windowTitle() == QStringLiteral("Veltra Knowledgebase V3.4.1"); }, 2000))
        qWarning("the window was not activated");
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w.get()))
        qWarning("the window did not become active");
    return w;
}

QString SearchWindowTest::path(const QString &name) const
{
    return m_folder->path(name);
}

std::unique_ptr<Form1> SearchWindowTest::start(const QList<MessageRecord> &records)
{
    if (!Fixtures::writeDatabase(path(QStringLiteral("veltra.mdb")), records))
        qFatal("the database was not written");
    return restart();
}

std::unique_ptr<Form1> SearchWindowTest::restart()
{
    return startWindow(&m_fake);
}

FakeBrowser *SearchWindowTest::fake() const
{
    return m_fake;
}

void SearchWindowTest::init()
{
    m_folder = std::make_unique<DataFolder>();
    QVERIFY(m_folder->isValid());
}

void SearchWindowTest::cleanup()
{
    m_folder.reset();
    m_fake = nullptr;
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
