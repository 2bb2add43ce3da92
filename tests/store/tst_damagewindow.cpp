// SPDX-License-Identifier: GPL-3.0-or-later
// The window on a damaged message database: one warning, however often the damage is met.
#include "app/form1.h"
#include "archive/messagearchive.h"
#include "search/searchpanel.h"
#include "damagedfile.h"
#include "fixtures.h"
#include "modalanswerer.h"
#include "windowharness.h"
#include "store/integritycheck.h"
#include "store/recordset.h"
#include "testenv.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

class TestDamageWindow : public Harness::WindowTest
{
    Q_OBJECT

private slots:
    void warnedOnce_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("damaged") << true;
        QTest::newRow("sound") << false;
    }

    void warnedOnce()
    {
        QFETCH(bool, damaged);
        const QString file = path(QStringLiteral("veltra.mdb"));
        QVERIFY(DamagedFile::write(file, damaged));

        ModalAnswerer answerer;
        const auto w = restart();
        QVERIFY(w->archive()->recordset());
        QVERIFY(TestEnv::waitUntil([&] {
            const auto *check = w->findChild<IntegrityCheck *>();
            return !check || !check->isRunning();
        }));
        // Start-up reads only the last message; the background check finds the damage.
        QCOMPARE(w->archive()->recordset()->isDamaged(), damaged);
        if (damaged)
            QVERIFY(w->archive()->recordset()->damageReason().startsWith(QLatin1String("quick_check")));
        // A search through every title walks into the damage as well, and says nothing more.
        Harness::search(w.get(), QStringLiteral("no such words"));
        QVERIFY(TestEnv::waitForQueued()); // a word the search queued would be in by now

        if (!damaged) {
            QCOMPARE(answerer.texts, QStringList());
            return;
        }
        QCOMPARE(answerer.texts.size(), 1);
        QCOMPARE(answerer.titles, QStringList{QStringLiteral("Veltra KnowledgeBase")});
        QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Warning});
        const QString text = answerer.texts.constFirst();
        for (const QString &part : {QDir::toNativeSeparators(file), QStringLiteral("is damaged"),
                                    w->archive()->recordset()->damageReason(), QStringLiteral("veltra.bak")})
            QVERIFY2(text.contains(part), qPrintable(part + QStringLiteral(" not in: ") + text));
        QVERIFY(!w->archive()->recordset()->addNew(Fixtures::message(DamagedFile::kMessages + 1)));
    }

    void rescueKeepsTheDamagedFile_data()
    {
        // Cut short, SQLite refuses the file as it opens it; the last quarter holds the
        // table's upper pages, which a rescue cannot do without.
        QTest::addColumn<bool>("cut");
        QTest::newRow("damage found after opening") << false;
        QTest::newRow("cut short, damaged at opening") << true;
    }

    // The way out the warning offers: what can be read goes into a new database, the
    // damaged file is kept as it was.
    void rescueKeepsTheDamagedFile()
    {
        QFETCH(bool, cut);
        const QString file = path(QStringLiteral("veltra.mdb"));
        QVERIFY(DamagedFile::write(file, !cut));
        if (cut)
            QVERIFY(QFile::resize(file, QFileInfo(file).size() * 3 / 4));
        const QByteArray damagedBytes = Fixtures::readAll(file);
        QStringList texts;
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            texts << box->text();
            for (QAbstractButton *b : box->buttons()) {
                if (b->text() == QLatin1String("&Rescue Messages") || box->standardButtons() == QMessageBox::Ok) {
                    b->click();
                    return;
                }
            }
        });
        answerer.start(10);
        const auto w = restart();
        QVERIFY(TestEnv::waitUntil([&] { return texts.size() == 2; }, 10000));
        answerer.stop();
        QVERIFY2(texts[1].contains(QLatin1String("messages were rescued")), qPrintable(texts[1]));

        QCOMPARE(Fixtures::readAll(path(QStringLiteral("veltra.damaged"))), damagedBytes);
        Recordset *rs = w->archive()->recordset();
        QVERIFY(rs && !rs->isDamaged());
        QVERIFY(rs->recordCount() > (cut ? DamagedFile::kMessages / 3 : DamagedFile::kMessages - 100));
        QVERIFY(rs->recordCount() < DamagedFile::kMessages);
        // Every rescued message is whole, the last ones behind the damage included.
        int checked = 0;
        for (bool more = rs->moveFirst() && rs->hasCurrent(); more; more = rs->moveNext() && !rs->eof()) {
            MessageRecord r;
            QVERIFY(rs->current(&r));
            QCOMPARE(r.message, QStringLiteral("<p>Body of message %1.</p>").arg(r.messnum).repeated(30));
            ++checked;
        }
        QCOMPARE(checked, rs->recordCount());
        QVERIFY(rs->moveLast());
        if (!cut)
            QCOMPARE(rs->field(QStringLiteral("messnum")).toInt(), DamagedFile::kMessages);
        QVERIFY(rs->addNew(Fixtures::message(DamagedFile::kMessages + 1)));
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestDamageWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_damagewindow.moc"
