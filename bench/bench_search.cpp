// Figures for the search in the window on the 100,000-message demo database, with the fake
// browser (the hit is still rendered into the message page):
//   (a) a rare-word body search, one pass over every body, next to the sqlite3 program's
//       select count(*) ... like '%word%' on the same file (goal: at most 2 times);
//   (b) a common-word body search that stops at the hit limit, from Enter to the label
//       "Found>5,000" (goal: under 2 s), with the store's share of it;
//   (c) a subject search for a two-word term with the Bracket wildcards.
//
//   bench_search [--rare WORD] [--common WORD] [--subject "TWO WORDS"] [--runs N]
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise (under xvfb-run
// with QT_QPA_PLATFORM=xcb the label and list are painted by a real X server).

#include "app/form1.h"
#include "benchdata.h"
#include "fakebrowser.h"
#include "store/recordset.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

using BenchData::print;
using BenchData::printText;

namespace {

struct Options
{
    QString rare = QStringLiteral("snow");
    QString common = QStringLiteral("the");
    QString subject = QStringLiteral("clutch cable");
    int runs = 3;
};

double medianMs(int runs, const std::function<void()> &f)
{
    QList<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        ms << double(timer.nsecsElapsed()) / 1e6;
    }
    return BenchData::median(ms);
}

template<typename T> T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

// Enter in the search box with `term`, as typed; returns when the search has ended.
void search(Form1 &w, const QString &term)
{
    auto *box = child<QComboBox>(&w, "Combo1");
    box->setEditText(term);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(box, &enter);
}

// The search loop without the window: find first, then find next with the three fields a
// result line needs, up to `limit` hits.
int storeOnly(Recordset &rs, const QString &criteria, int limit)
{
    int hits = 0;
    rs.moveFirst();
    for (auto r = rs.findFirst(criteria); r == Recordset::FindResult::Found && hits <= limit; r = rs.findNext(criteria)) {
        ++hits;
        rs.field(QStringLiteral("messdate"));
        rs.field(QStringLiteral("messnum"));
        rs.field(QStringLiteral("messtitle"));
    }
    return hits;
}

// The sqlite3 program's own time for the query ("Run Time: real ..."), or -1.
double sqliteCliMs(const QString &path, const QString &word, int *count)
{
    QProcess cli;
    cli.start(QStringLiteral("sqlite3"), {QStringLiteral("-readonly"), path});
    if (!cli.waitForStarted(5000))
        return -1;
    QString w = word;
    w.replace(u'\'', QStringLiteral("''"));
    cli.write(QStringLiteral(".timer on\nselect count(*) from veltra where message like '%%1%';\n").arg(w).toUtf8());
    cli.closeWriteChannel();
    if (!cli.waitForFinished(120000))
        return -1;
    const QString out = QString::fromUtf8(cli.readAllStandardOutput());
    static const QRegularExpression time(QStringLiteral("Run Time: real ([0-9.]+)"));
    static const QRegularExpression number(QStringLiteral("^(\\d+)$"), QRegularExpression::MultilineOption);
    const auto t = time.match(out);
    const auto n = number.match(out);
    if (!t.hasMatch())
        return -1;
    *count = n.hasMatch() ? n.captured(1).toInt() : -1;
    return t.captured(1).toDouble() * 1000;
}

}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Options options;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == QLatin1String("--rare") && hasValue) {
            options.rare = args[++i];
        } else if (args[i] == QLatin1String("--common") && hasValue) {
            options.common = args[++i];
        } else if (args[i] == QLatin1String("--subject") && hasValue) {
            options.subject = args[++i];
        } else if (args[i] == QLatin1String("--runs") && hasValue) {
            options.runs = qMax(1, args[++i].toInt());
        } else {
            std::fprintf(stderr, "usage: bench_search [--rare WORD] [--common WORD] [--subject \"TWO WORDS\"] [--runs N]\n");
            return 2;
        }
    }

    const QString source = BenchData::database100k();
    if (source.isEmpty())
        return 1;
    // The window opens veltra.mdb in its data folder; the shared file stays untouched.
    QTemporaryDir folder;
    if (!folder.isValid() || !QFile::copy(source, folder.filePath(QStringLiteral("veltra.mdb")))) {
        std::fprintf(stderr, "cannot copy %s into a data folder\n", qPrintable(source));
        return 1;
    }
    const QString database = folder.filePath(QStringLiteral("veltra.mdb"));
    QDir::setCurrent(folder.path());
    printText("platform", QGuiApplication::platformName());

    Form1 w(AppConfig{}, new FakeBrowser);
    w.showAsLoaded();
    QElapsedTimer started;
    started.start();
    while (w.windowTitle() != QLatin1String("Veltra Knowledgebase V3.4.1") && started.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!w.recordset()) {
        std::fprintf(stderr, "the window has no database\n");
        return 1;
    }
    print("messages", w.state().msgCount, "count");
    auto *label = child<QLabel>(&w, "lblResults");
    auto *list = child<QListWidget>(&w, "List1");
    child<QAction>(&w, "MenuKeyBracket")->trigger();

    // (a)
    child<QAction>(&w, "MenuSearchBody")->trigger();
    const double rareMs = medianMs(options.runs, [&] { search(w, options.rare); });
    printText("(a) rare word", options.rare);
    printText("(a) label", label->text());
    print("(a) rare-word body search in the window, Enter to the end (median)", rareMs, "ms");
    const QString rareCriteria = QStringLiteral("message like '*%1*'").arg(options.rare);
    const double rareStoreMs = medianMs(options.runs, [&] { storeOnly(*w.recordset(), rareCriteria, 5000); });
    print("(a) the same through the store alone (median)", rareStoreMs, "ms");
    QList<double> cliTimes;
    int cliCount = -1;
    for (int i = 0; i < options.runs; ++i) {
        const double ms = sqliteCliMs(database, options.rare, &cliCount);
        if (ms >= 0)
            cliTimes << ms;
    }
    if (cliTimes.isEmpty()) {
        printText("(a) sqlite3", QStringLiteral("the sqlite3 program did not run"));
    } else {
        const double cliMs = BenchData::median(cliTimes);
        print("(a) sqlite3 select count(*) ... like '%word%' (its own Run Time, median)", cliMs, "ms");
        print("(a) sqlite3 count", cliCount, "count");
        print("(a) hits listed", list->count(), "count");
        print("(a) ratio window / sqlite3 (goal <= 2)", rareMs / cliMs, "x");
        print("(a) ratio store / sqlite3", rareStoreMs / cliMs, "x");
    }

    // (b)
    const double commonMs = medianMs(options.runs, [&] { search(w, options.common); });
    printText("(b) common word", options.common);
    printText("(b) label", label->text());
    print("(b) lines listed", list->count(), "count");
    print("(b) body search to the hit limit, Enter to \"Found>5,000\" (median, goal < 2000)", commonMs, "ms");
    const QString commonCriteria = QStringLiteral("message like '*%1*'").arg(options.common);
    const double commonStoreMs = medianMs(options.runs, [&] { storeOnly(*w.recordset(), commonCriteria, 5000); });
    print("(b) the store's share: find and read 5,001 hits (median)", commonStoreMs, "ms");
    print("(b) the window's share per hit (label, line, events)", (commonMs - commonStoreMs) / 5001 * 1000, "us");

    // (c)
    child<QAction>(&w, "MenuSearchTitle")->trigger();
    const double subjectMs = medianMs(options.runs, [&] { search(w, options.subject); });
    printText("(c) subject term", options.subject);
    printText("(c) label", label->text());
    print("(c) two-word Bracket subject search, Enter to the end (median)", subjectMs, "ms");
    QStringList words = options.subject.split(u' ');
    QString subjectCriteria;
    for (const QString &word : words)
        subjectCriteria += (subjectCriteria.isEmpty() ? QString() : QStringLiteral(" and "))
                           + QStringLiteral("mid(messtitle,8) like '*%1*'").arg(word);
    const double subjectStoreMs = medianMs(options.runs, [&] { storeOnly(*w.recordset(), subjectCriteria, 5000); });
    print("(c) the same through the store alone (median)", subjectStoreMs, "ms");
    return 0;
}
