// SPDX-License-Identifier: GPL-3.0-or-later
// The window's side: the offer at start-up (with a stand-in reader, as no Access file with
// a table "veltra" can be had) and File > Export Messages, the listed messages or all.
#include "app/form1.h"
#include "archive/messagearchive.h"
#include "fixtures.h"
#include "modalanswerer.h"
#include "results/resultspanel.h"
#include "search/searchpanel.h"
#include "testenv.h"
#include "windowharness.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

namespace {

// Enough of a Jet 4 header for the program to take the file for an Access database.
const QByteArray kJetHeader = QByteArray("\0\1\0\0Standard Jet DB\0\1\0\0\0", 24) + QByteArray(4072, '\0');

}

class TestTransferWindow : public Harness::WindowTest
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnv::prepareWebEngine(); }

    void anAccessDatabaseIsOfferedForConversion_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void anAccessDatabaseIsOfferedForConversion()
    {
        QFETCH(bool, yes);
        Fixtures::writeAll(path(QStringLiteral("veltra.mdb")), kJetHeader);
        AppConfig config;
        config.jetReader = QStringLiteral(FAKE_READER);
        {
            ModalAnswerer answers(yes ? QMessageBox::Yes : QMessageBox::No);
            const auto window = restart(config);
            QVERIFY(answers.texts.value(0).contains(QStringLiteral("Microsoft Access database")));
            QVERIFY(answers.texts.value(0).contains(QStringLiteral("holds 3 messages")));
            QCOMPARE(answers.texts.size(), yes ? 1 : 2);
            const QString status = Harness::child<QLabel>(window.get(), "LblUpdateStatus")->text();
            if (!yes) {
                QVERIFY(answers.texts[1].contains(QStringLiteral("veltra-kb --convert-jet veltra.mdb")));
                QCOMPARE(Fixtures::readAll(path(QStringLiteral("veltra.mdb"))), kJetHeader);
                QCOMPARE(QDir(path(QString())).entryList({QStringLiteral("veltra*")}), QStringList{"veltra.mdb"});
                QCOMPARE(status, QStringLiteral("No message database"));
                return;
            }
            QCOMPARE(status, QStringLiteral("3 Messages - Last # 3"));
        }
        QCOMPARE(Fixtures::readAll(path(QStringLiteral("veltra-jet.mdb"))), kJetHeader);
        // Converted once: the next start opens the new database and asks nothing.
        ModalAnswerer answers;
        const auto window = restart(config);
        QCOMPARE(answers.texts, QStringList());
        QCOMPARE(window->archive()->messageCount(), 3);
    }

    void exportWritesTheListOrTheWholeArchive()
    {
        const auto window = start(Fixtures::range(1, 6));
        const QString target = path(QStringLiteral("chosen.mbox"));
        DialogAnswerer files([&](QDialog *dialog) {
            // Typed into the name field: selectFile() loses the race with the folder listing.
            auto *name = qobject_cast<QFileDialog *>(dialog) ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
            if (!name)
                return false;
            name->setText(target);
            dialog->accept();
            return true;
        });
        ModalAnswerer answers(QMessageBox::Yes); // replacing the file of the first export too
        const auto exported = [&] {
            Harness::action(window.get(), "MenuFileExport")->trigger();
            return Fixtures::readAll(target).count("\nX-Veltra-Number: ");
        };
        QCOMPARE(exported(), 6);
        QCOMPARE(answers.texts.value(0), QStringLiteral("Exported 6 messages to %1").arg(target));

        Harness::search(window.get(), Fixtures::message(4).messtitle.mid(7));
        QVERIFY(window->results()->resultCount() >= 1);
        QCOMPARE(exported(), window->results()->resultCount());
    }
};

QTEST_MAIN(TestTransferWindow)
#include "tst_transferwindow.moc"
