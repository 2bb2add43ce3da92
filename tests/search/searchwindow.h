#pragma once

#include "controltext.h"
#include "store/messagerecord.h"
#include "testtext.h"

#include <QComboBox>
#include <QListWidget>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class FakeBrowser;
class Form1;

// What the window tests of the search share: a data folder of their own, the window
// started on it with the fake browser, and the controls found by name.
namespace SearchWindow {

using TestText::crlf;

// A message whose subject proper (from the eighth character on) is `subject`.
MessageRecord titled(qint32 messnum, const QString &subject, bool flagged = false);
using ControlText::entries;
using ControlText::lines;

// Makes a temporary folder the current directory, as the program's data folder is.
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

// Starts the window in the current directory and waits until it is active; *fake is the
// browser it was given.
std::unique_ptr<Form1> startWindow(FakeBrowser **fake);

QWidget *widget(QWidget *window, const char *name);
template<typename T> T *child(QWidget *window, const char *name)
{
    return qobject_cast<T *>(widget(window, name));
}
QAction *action(QWidget *window, const char *name);

// Types the term into the search box as the user would and presses Enter; the search
// has run when this returns.
void search(QWidget *window, const QString &term);

// The base of the window tests: a data folder for each test, and the window in it.
class SearchWindowTest : public QObject
{
    Q_OBJECT

protected:
    QString path(const QString &name) const;
    // Writes veltra.mdb with the records, then starts the window.
    std::unique_ptr<Form1> start(const QList<MessageRecord> &records);
    // Starts the window on the files the folder holds.
    std::unique_ptr<Form1> restart();
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
