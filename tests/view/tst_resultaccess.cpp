// SPDX-License-Identifier: GPL-3.0-or-later
// The result table as a screen reader meets it, through the real accessibility bus
// (result_access.sh starts the buses and an X server; result_access_probe.py is the
// reader): a table with the column headers No., Subject, Author, Date, a row read as its
// four cells with the references decoded, and a search heard as its running text and
// its count, not as an event for every hit listed.
#include "app/form1.h"
#include "testenv.h"
#include "windowharness.h"

#include <QAccessible>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QtTest>

using namespace Harness;

namespace {

constexpr int kHits = 60;

// The probe's next line of output, the window's events running meanwhile (the probe's
// questions are answered by the window's event loop).
QByteArray nextLine(QProcess &probe, int timeoutMs = 20000)
{
    QByteArray line;
    TestEnv::waitUntil(
        [&] {
            if (!probe.canReadLine())
                return probe.state() == QProcess::NotRunning;
            line = probe.readLine().trimmed();
            return true;
        },
        timeoutMs);
    return line;
}

}

class TestResultAccess : public WindowTest
{
    Q_OBJECT

private slots:
    void heardAsATable()
    {
        REQUIRE_OR_SKIP(qEnvironmentVariable("VELTRA_ACCESS_MISSING"));
        QList<MessageRecord> records;
        for (qint32 n = 1; n <= kHits; ++n)
            records << titled(n, QStringLiteral("clutch ") + QString::number(n));
        records[0].messtitle = QStringLiteral("[vclub]Nuts &amp; bolts clutch");
        records[0].messauthor = QStringLiteral("&quot;Al&quot; &lt;al@example.org&gt;");
        records[0].messdate = QStringLiteral("Mon Jan 5, 2004 3:12 pm");
        auto w = start(records);
        QVERIFY(QAccessible::isActive());
        search(w.get(), QStringLiteral("clutch"));

        QProcess probe;
        probe.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(VELTRA_TESTS_SOURCE "/view/result_access_probe.py"),
                     QString::number(QCoreApplication::applicationPid())});
        const QJsonObject table = QJsonDocument::fromJson(nextLine(probe)).object();
        QCOMPARE(table.value(QStringLiteral("table")).toString(), QStringLiteral("table"));
        QCOMPARE(table.value(QStringLiteral("headers")).toArray(),
                 QJsonArray({QStringLiteral("No."), QStringLiteral("Subject"), QStringLiteral("Author"),
                             QStringLiteral("Date")}));
        QCOMPARE(table.value(QStringLiteral("rows")).toInt(), kHits);
        QCOMPARE(table.value(QStringLiteral("row0")).toArray(),
                 QJsonArray({QStringLiteral("1"), QStringLiteral("[vclub]Nuts & bolts clutch"),
                             QStringLiteral("\"Al\" <al@example.org>"), QStringLiteral("2004-01-05")}));

        QCOMPARE(nextLine(probe), QByteArray("listening"));
        // The label is emptied before the probe counts, so that the count the second search
        // puts there shows it has ended: on the X server the search can end after search()
        // returns, and its events would then come after the end mark.
        auto *found = child<QLabel>(w.get(), "lblResults");
        found->clear();
        // The window learns of a new listener a moment later: it renames itself until the
        // probe hears it, so the search's events are all sent.
        int attempt = 0;
        QByteArray ready;
        while (ready != "ready" && attempt < 50) {
            w->setAccessibleName(QStringLiteral("probe-start %1").arg(++attempt));
            ready = nextLine(probe, 200);
        }
        QCOMPARE(ready, QByteArray("ready"));
        search(w.get(), QStringLiteral("clutch"));
        QTRY_COMPARE_WITH_TIMEOUT(found->text(), QStringLiteral(" 60 Found"), 20000);
        // A mark the probe stops at: the events of the search were sent before it.
        w->setAccessibleName(QStringLiteral("probe-end"));
        const QJsonObject heard = QJsonDocument::fromJson(nextLine(probe)).object();
        QVERIFY2(!heard.isEmpty(), probe.readAllStandardError().constData());
        // The label is heard a few times a search, the count once at its end: the running
        // text the search puts up at once, its progress at most every 50 ms (once in a
        // search this short), then the count. The bus may fold a change into the next.
        const QJsonObject label = heard.value(QStringLiteral("label_events")).toObject();
        const int named = label.value(QStringLiteral("object:property-change:accessible-name")).toInt();
        QVERIFY2(named >= 1 && named <= 3, QJsonDocument(heard).toJson().constData());
        QCOMPARE(found->text(), QStringLiteral(" 60 Found"));
        // The table is heard changing a few times a search, never once for each of its 60
        // rows: a whole search comes to about 34 (its parts switched off and on, the first
        // entry selected away and back so that its message shows, the focus given back).
        int tableEvents = 0;
        const QJsonObject perType = heard.value(QStringLiteral("table_events")).toObject();
        for (auto it = perType.begin(); it != perType.end(); ++it)
            tableEvents += it.value().toInt();
        QVERIFY2(tableEvents > 0 && tableEvents < kHits, QJsonDocument(perType).toJson().constData());
        QVERIFY(probe.waitForFinished(10000));
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestResultAccess test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_resultaccess.moc"
