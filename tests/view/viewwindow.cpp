#include "viewwindow.h"

#include "app/form1.h"
#include "browser/webenginebrowser.h"
#include "fakebrowser.h"
#include "fixtures.h"
#include "modalanswerer.h"
#include "store/recordset.h"
#include "testenv.h"

#include <QDir>
#include <QTimer>
#include <QtTest>

namespace {

const QString kCaption = QStringLiteral("Veltra Knowledgebase V3.4");

}

ViewWindow::ViewWindow(const QList<MessageRecord> &records, const AppConfig &config, Engine engine)
    : ViewWindow(&records, config, engine)
{
}

std::unique_ptr<ViewWindow> ViewWindow::withoutDatabase()
{
    return std::unique_ptr<ViewWindow>(new ViewWindow(nullptr, AppConfig{}, Engine::Fake));
}

ViewWindow::ViewWindow(const QList<MessageRecord> *records, const AppConfig &config, Engine engine)
    : m_previousDir(QDir::currentPath())
{
    if (!m_dir.isValid())
        qFatal("no temporary folder");
    QDir::setCurrent(m_dir.path());
    if (records && !Fixtures::writeDatabase(path(QStringLiteral("veltra.mdb")), *records))
        qFatal("the test database could not be written");
    if (engine == Engine::Fake) {
        m_fake = new FakeBrowser;
        m_browser = m_fake;
    } else {
        m_browser = new WebEngineBrowser;
    }
    ModalAnswerer answerer(QMessageBox::No);
    m_form = std::make_unique<Form1>(config, m_browser);
    m_form->showAsLoaded();
    // Activation follows the first showing from the event loop.
    // Activation sets "... V3.4.1"; with the real engine the message page it shows then
    // makes it "... V3.4".
    m_activated = TestEnv::waitUntil([&] { return m_form->windowTitle().startsWith(kCaption); }, 5000);
}

ViewWindow::~ViewWindow()
{
    m_form.reset();
    QDir::setCurrent(m_previousDir);
}

bool ViewWindow::activated() const
{
    return m_activated;
}

Form1 &ViewWindow::form() const
{
    return *m_form;
}

FakeBrowser &ViewWindow::fake() const
{
    if (!m_fake)
        qFatal("the window runs the real browser");
    return *m_fake;
}

Browser &ViewWindow::browser() const
{
    return *m_browser;
}

QString ViewWindow::path(const QString &name) const
{
    return m_dir.filePath(name);
}

QString ViewWindow::pagePath() const
{
    return path(QStringLiteral("tempfile.htm"));
}

QByteArray ViewWindow::page() const
{
    return Fixtures::readAll(pagePath());
}

qint32 ViewWindow::pageNumber() const
{
    static const QByteArray lead = "Message Number: ";
    const QByteArray bytes = page();
    if (!bytes.startsWith(lead))
        return 0;
    const qsizetype end = bytes.indexOf("<br>");
    return bytes.mid(lead.size(), end - lead.size()).toInt();
}

int ViewWindow::pageNavigations() const
{
    return int(fake().navigations().count(pagePath()));
}

qint32 ViewWindow::cursorNumber() const
{
    Recordset *rs = m_form->recordset();
    return rs && rs->hasCurrent() ? rs->field(QStringLiteral("messnum")).toInt() : 0;
}

QObject *ViewWindow::findNamed(const char *name) const
{
    QObject *found = m_form->findChild<QObject *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

QTimer *ViewWindow::timer(const char *name) const
{
    return child<QTimer>(name);
}

void ViewWindow::tickTimer3() const
{
    QMetaObject::invokeMethod(timer("Timer3"), "timeout", Qt::DirectConnection);
}

void ViewWindow::holdTimer3() const
{
    // An interval no test outlasts; enabling the timer keeps it.
    timer("Timer3")->setInterval(24 * 60 * 60 * 1000);
}
