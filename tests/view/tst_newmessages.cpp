// SPDX-License-Identifier: GPL-3.0-or-later
// What is new, in the window: View > New Messages lists the unread messages as a search
// lists its hits, unread entries are bold, a message is read after its moment on screen
// or when the user steps on, never by being listed; the desktop notice of an update.
#include "app/form1.h"
#include "archive/messagearchive.h"
#include "fixtures.h"
#include "results/newmessages.h"
#include "results/resultmodel.h"
#include "results/resultspanel.h"
#include "results/resulttable.h"
#include "status/desktopnotice.h"
#include "store/readstate.h"
#include "store/recordset.h"
#include "store/sqlitedb.h"
#include "view/viewer.h"
#include "windowharness.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

namespace {

// Stands in for the desktop's notification service on the test's own session bus.
class FakeNotifications final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList summaries;
    QStringList bodies;

public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        summaries << summary;
        bodies << body;
        return 7;
    }
};

ReadState *readState(WindowHarness &h)
{
    return h.form().archive()->readState();
}

}

class TestNewMessages : public QObject
{
    Q_OBJECT

private slots:
    // Number order, the count or the limit on the label, as a search's.
    void listing_data()
    {
        QTest::addColumn<int>("messages");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("label");
        QTest::newRow("few") << 30 << 30 << QStringLiteral(" 30 Found");
        QTest::newRow("at the limit") << 5000 << 5000 << QStringLiteral(" 5000 Found");
        QTest::newRow("over the limit") << 5002 << 5001 << QStringLiteral("Found>5,000");
    }

    void listing()
    {
        QFETCH(int, messages);
        QFETCH(int, rows);
        QFETCH(QString, label);
        QList<MessageRecord> records = Fixtures::range(1, messages);
        std::reverse(records.begin(), records.end());
        WindowHarness h(records);
        h.form().newMessages()->setShownMoment(600000);
        readState(h)->markRead(999999); // nothing read that is stored
        h.child<QAction>("MnuNewMessages")->trigger();
        QCOMPARE(h.child<QLabel>("lblResults")->text(), label);
        const QList<qint32> listed = h.form().results()->listedNumbers();
        QCOMPARE(listed.size(), rows);
        QVERIFY(std::is_sorted(listed.begin(), listed.end()));
        QCOMPARE(listed.first(), 1);
    }

    // Listing shows the second entry and comes back to the first: neither is read by it,
    // and both are drawn bold; what the moment marks loses its bold.
    void notReadByListing()
    {
        WindowHarness h(Fixtures::range(1, 10));
        NewMessages *news = h.form().newMessages();
        news->setShownMoment(600000);
        h.child<QAction>("MnuMarkAllRead")->trigger();
        QVERIFY(h.form().archive()->recordset()->connection().exec(
            "INSERT INTO veltra (messnum, messtitle) VALUES (11, 'abcdefgeleven'), (12, 'abcdefgtwelve')"));
        h.child<QAction>("MnuNewMessages")->trigger();
        QCOMPARE(h.form().results()->listedNumbers(), (QList<qint32>{11, 12}));
        auto *model = qobject_cast<ResultModel *>(h.child<ResultTable>("List1")->model());
        QVERIFY(model);
        QVERIFY(!readState(h)->isMarked(11));
        QVERIFY(!readState(h)->isMarked(12));
        QVERIFY(model->data(model->index(1, ResultModel::SubjectColumn), Qt::FontRole).value<QFont>().bold());
        news->setShownMoment(20);
        h.form().results()->selectResult(1);
        QTRY_VERIFY(readState(h)->isMarked(12));
        QVERIFY(!model->data(model->index(1, ResultModel::SubjectColumn), Qt::FontRole).isValid());
    }

    // A key that steps on from a message reads it; the program's own steps do not.
    void steppedPast()
    {
        WindowHarness h(Fixtures::range(1, 10));
        h.form().newMessages()->setShownMoment(600000);
        QTRY_COMPARE(h.form().viewer()->shownMessageNumber(), QStringLiteral("1"));
        h.form().viewer()->step(+1);
        QTRY_COMPARE(h.form().viewer()->shownMessageNumber(), QStringLiteral("2"));
        QVERIFY(!readState(h)->isMarked(1));
        QTest::keyClick(&h.form(), Qt::Key_PageDown, Qt::ControlModifier);
        QTRY_COMPARE(h.form().viewer()->shownMessageNumber(), QStringLiteral("3"));
        QVERIFY(readState(h)->isMarked(2));
        QVERIFY(!readState(h)->isMarked(3));
    }

    // The notice goes to the service on the bus, with the count and the first subjects;
    // the Options item stops it.
    void notice_data()
    {
        QTest::addColumn<bool>("notify");
        QTest::newRow("on") << true;
        QTest::newRow("off") << false;
    }

    void notice()
    {
        QFETCH(bool, notify);
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus (run under dbus-run-session)");
        QDBusConnection service = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake"));
        FakeNotifications fake;
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

        WindowHarness h(Fixtures::range(1, 12));
        h.child<QAction>("MnuNotifyNew")->setChecked(notify);
        h.form().showMinimized();
        QTRY_VERIFY(h.form().isMinimized());
        h.form().newMessages()->stored({11, 12});
        if (notify) {
            QTRY_COMPARE(fake.summaries, QStringList{QStringLiteral("2 new messages")});
            QCOMPARE(fake.bodies.first().count(u'\n'), 1);
        } else {
            // A second notice that is allowed shows the first never went.
            h.child<QAction>("MnuNotifyNew")->setChecked(true);
            h.form().newMessages()->stored({12});
            QTRY_COMPARE(fake.summaries, QStringList{QStringLiteral("1 new message")});
        }
        service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
    }
};

QTEST_MAIN(TestNewMessages)
#include "tst_newmessages.moc"
