// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/statusstrip.h"
#include "status/workbar.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QtTest>

#include <memory>

// A strip on controls of its own, as the window gives them.
struct Strip
{
    QWidget window;
    QWidget *stbar = new QWidget(&window);
    QLineEdit *text = new QLineEdit(stbar);
    QProgressBar *pageBar = new QProgressBar(stbar);
    QWidget *lockBox = new QWidget(stbar);
    QLabel *lock = new QLabel(lockBox);
    QLabel *status = new QLabel(&window);
    StatusStrip strip{{stbar, text, pageBar, lockBox, lock, status}, nullptr};

    Strip()
    {
        window.resize(600, 400);
        window.show();
    }
};

class TestStatusStrip final : public QObject
{
    Q_OBJECT

private slots:
    // Steps, one a word: "line:TEXT" the status line written, "run"/"done" foreground work
    // starting and ending, "index:DONE/TOTAL" the index build's progress, "end" its end.
    void statusLine_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("barShown");
        QTest::newRow("a large build says how far it is")
            << QStringList{"line:10 Messages", "index:0/20000"} << "Building the search index: 0%" << true;
        QTest::newRow("a small one says nothing") << QStringList{"line:10 Messages", "index:10/4000"} << "10 Messages" << false;
        QTest::newRow("once said, it goes on to its end")
            << QStringList{"line:10 Messages", "index:0/20000", "index:19000/20000"} << "Building the search index: 95%" << true;
        QTest::newRow("its end puts the line back")
            << QStringList{"line:10 Messages", "index:0/20000", "end"} << "10 Messages" << false;
        QTest::newRow("an update's line is left alone")
            << QStringList{"run", "line:Updating message 5 of 9", "index:0/20000"} << "Updating message 5 of 9" << false;
        QTest::newRow("and the update's bar stays at the build's end")
            << QStringList{"run", "line:Updating", "index:0/20000", "end"} << "Updating" << false;
        QTest::newRow("a line written meanwhile is not taken back")
            << QStringList{"index:0/20000", "line:Updated 1:07PM", "end"} << "Updated 1:07PM" << false;
        QTest::newRow("after the update the build speaks again")
            << QStringList{"run", "done", "line:Updated", "index:100/20000"} << "Building the search index: 0%" << true;
    }
    void statusLine()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, line);
        QFETCH(bool, barShown);
        Strip s;
        for (const QString &step : steps) {
            if (step.startsWith(QLatin1String("line:")))
                s.strip.showStatus(step.mid(5));
            else if (step == QLatin1String("run"))
                s.strip.setForegroundWork(true);
            else if (step == QLatin1String("done"))
                s.strip.setForegroundWork(false);
            else if (step == QLatin1String("end"))
                s.strip.endBackgroundProgress();
            else if (step.startsWith(QLatin1String("index:")))
                s.strip.showIndexProgress(step.section(u':', 1).section(u'/', 0, 0).toLongLong(),
                                          step.section(u'/', 1).toLongLong());
        }
        QCOMPARE(s.strip.statusText(), line);
        QCOMPARE(s.strip.workBar()->bar()->isVisible(), barShown);
    }

    // The page-load bar takes what the browser reports, skipping what the bar would refuse
    // rather than stopping there, and is empty again at the end of a load.
    void pageProgress_data()
    {
        QTest::addColumn<QList<int>>("reports"); // progress, maximum, progress, maximum, ...
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("maximum");
        QTest::newRow("half way") << QList<int>{10, 100, 50, 100} << 50 << 100;
        QTest::newRow("done") << QList<int>{50, 100, 100, 100} << 0 << 100;
        QTest::newRow("a maximum of 0 is skipped") << QList<int>{30, 100, 40, 0} << 0 << 100;
        QTest::newRow("a larger maximum is taken") << QList<int>{30, 100, 150, 200} << 150 << 200;
        QTest::newRow("a value past a refused maximum is skipped") << QList<int>{30, 100, 60, 0, 120, 0} << 0 << 100;
    }
    void pageProgress()
    {
        QFETCH(QList<int>, reports);
        QFETCH(int, value);
        QFETCH(int, maximum);
        Strip s;
        for (qsizetype i = 0; i + 1 < reports.size(); i += 2)
            s.strip.showPageProgress(reports[i], reports[i + 1]);
        QCOMPARE(s.pageBar->value(), value);
        QCOMPARE(s.pageBar->maximum(), maximum);
    }

    void pageTextShowsItsBeginning()
    {
        Strip s;
        s.text->resize(60, s.text->height());
        const QString address = QStringLiteral(" https://example.org/") + QString(200, u'a');
        s.strip.showPageText(address);
        QCOMPARE(s.strip.pageText(), address);
        QCOMPARE(s.text->cursorPosition(), 0);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestStatusStrip test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_statusstrip.moc"
