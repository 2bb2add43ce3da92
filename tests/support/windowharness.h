// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/appconfig.h"
#include "controltext.h"
#include "results/resultmodel.h"
#include "results/resulttable.h"
#include "store/messagerecord.h"
#include "testtext.h"

#include <QByteArray>
#include <QComboBox>
#include <QList>
#include <QListWidget>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class Browser;
class FakeBrowser;
class Form1;
class QAction;
class QTimer;

// The one harness of the window tests: a data folder of the test's own made the current
// directory (as the program's data folder is), the window started on the files it holds,
// and the controls found by the names the form gives them. Everything else a test needs it
// reaches through the window's parts and their public methods.
namespace Harness {

using ControlText::entries;
using ControlText::lines;
using TestText::crlf;

// A message whose subject proper (from the eighth character on) is `subject`.
MessageRecord titled(qint32 messnum, const QString &subject, bool flagged = false);

enum class Engine { Fake, Real };

// A temporary folder made the current directory for as long as it lives.
class DataFolder final
{
public:
    DataFolder();
    ~DataFolder();
    Q_DISABLE_COPY_MOVE(DataFolder)

    bool isValid() const;
    QString path(const QString &name) const;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Starts the window in the current directory as the program does and waits until it is
// activated and active. *fake is the fake browser it was given, null with the real engine.
// Declined: every question at start-up (the offer to create a missing database) is
// answered No; otherwise the test answers them itself.
enum class Questions { Declined, LeftToTheTest };
std::unique_ptr<Form1> startWindow(FakeBrowser **fake, const AppConfig &config = AppConfig{},
                                   Engine engine = Engine::Fake, Questions questions = Questions::LeftToTheTest);
// The same with a browser the test has prepared (connected to) already.
std::unique_ptr<Form1> startWindow(Browser *browser, const AppConfig &config = AppConfig{},
                                   Questions questions = Questions::LeftToTheTest);

QWidget *widget(QWidget *window, const char *name);
template<typename T> T *child(QWidget *window, const char *name)
{
    return qobject_cast<T *>(widget(window, name));
}
QAction *action(QWidget *window, const char *name);

// Types the term into the search box as the user would and presses Enter; the search
// has run when this returns.
void search(QWidget *window, const QString &term);

// The base of test classes that start the window more than once: a data folder for each
// test, and the window in it.
class WindowTest : public QObject
{
    Q_OBJECT

protected:
    QString path(const QString &name) const;
    // Writes veltra.mdb with the records, then starts the window.
    std::unique_ptr<Form1> start(const QList<MessageRecord> &records);
    // Starts the window on the files the folder holds.
    std::unique_ptr<Form1> restart(const AppConfig &config = AppConfig{});
    FakeBrowser *fake() const; // the browser of the window started last

private slots:
    void init();
    void cleanup();

private:
    std::unique_ptr<DataFolder> m_folder;
    FakeBrowser *m_fake = nullptr;
};

// Counts the Enter keys that reach the search box, or, for Elsewhere, the Enter keys put
// into the keyboard input that reach any widget but the box (and the window around it,
// which sees the keys the box passes on).
class EnterCounter final : public QObject
{
public:
    enum Where { InTheBox, Elsewhere };
    explicit EnterCounter(QComboBox *box, Where where = InTheBox);
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QComboBox *m_box;
    Where m_where;
};

}

// One window on a data folder of its own that holds a database of the given records (or
// none at all), with what the viewing tests read: the message page on disk, the browser's
// visits to it, the shared cursor, and the repeat timer ticked by hand.
class WindowHarness final
{
public:
    using Engine = Harness::Engine;

    explicit WindowHarness(const QList<MessageRecord> &records, const AppConfig &config = AppConfig{},
                           Engine engine = Engine::Fake);
    // A data folder without veltra.mdb; the offer to create one is declined.
    static std::unique_ptr<WindowHarness> withoutDatabase(const AppConfig &config = AppConfig{});
    ~WindowHarness();
    Q_DISABLE_COPY_MOVE(WindowHarness)

    bool activated() const;
    Form1 &form() const;
    FakeBrowser &fake() const; // only with Engine::Fake
    Browser &browser() const;
    QString path(const QString &name) const;
    // Closes the window and starts it again on the folder's files.
    void restart(const AppConfig &config = AppConfig{});

    QString pagePath() const;
    QByteArray page() const;
    // The number in the first line of the message page on disk, 0 when there is none.
    qint32 pageNumber() const;
    // How often the browser has been sent to the message page.
    int pageNavigations() const;
    // The number of the shared cursor's current record, 0 when it stands on none.
    qint32 cursorNumber() const;

    template<typename T> T *child(const char *name) const;
    QTimer *timer(const char *name) const;
    // One tick of the repeat timer, whether it runs or not.
    void tickTimer3() const;
    // Keeps the repeat timer from ticking by itself, so a test gives every tick.
    void holdTimer3() const;

private:
    WindowHarness(const QList<MessageRecord> *records, const AppConfig &config, Engine engine);
    QObject *findNamed(const char *name) const;

    Harness::DataFolder m_folder;
    Engine m_engine;
    std::unique_ptr<Form1> m_form;
    Browser *m_browser = nullptr;
    FakeBrowser *m_fake = nullptr;
    bool m_activated = false;
};

template<typename T> T *WindowHarness::child(const char *name) const
{
    return qobject_cast<T *>(findNamed(name));
}
