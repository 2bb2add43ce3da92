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

#include "store/sqlitedb.h"
#include "store/sqlitestatement.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <sqlite3.h>

namespace {

// Enough of a Jet 4 header for the program to take the file for an Access database.
const QByteArray kJetHeader = QByteArray("\0\1\0\0Standard Jet DB\0\1\0\0\0", 24) + QByteArray(4072, '\0');
// The stand-in reader takes a file ending so for one without a table "veltra".
const QByteArray kWithoutVeltra = kJetHeader + "no table veltra";

QStringList items(const QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

// The converted messages, a row each: number, author, date, title, text.
QList<QStringList> messages(const QString &database)
{
    SqliteDb db;
    SqliteStatement s;
    QList<QStringList> rows;
    if (!db.open(database, SQLITE_OPEN_READONLY)
        || !s.prepare(db, "SELECT messnum, messauthor, messdate, messtitle, message FROM veltra ORDER BY messnum", false))
        return rows;
    while (s.step() == SqliteStatement::Step::Row)
        rows << QStringList{QString::number(s.columnInt64(0)), s.columnText(1), s.columnText(2), s.columnText(3), s.columnText(4)};
    return rows;
}

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

    // Without a table "veltra" the offer is a choice of table and columns, made with the
    // keyboard: Enter converts with the columns chosen, Escape leaves the file as it is.
    void aFileWithoutVeltraOffersItsTables_data()
    {
        QTest::addColumn<bool>("convert");
        QTest::newRow("convert") << true;
        QTest::newRow("cancel") << false;
    }
    void aFileWithoutVeltraOffersItsTables()
    {
        QFETCH(bool, convert);
        Fixtures::writeAll(path(QStringLiteral("veltra.mdb")), kWithoutVeltra);
        AppConfig config;
        config.jetReader = QStringLiteral(FAKE_READER);
        QStringList tables;
        QStringList offered;
        QString suggestedTitle;
        QStringList named;
        DialogAnswerer choice([&](QDialog *dialog) {
            auto *table = dialog->findChild<QComboBox *>(QStringLiteral("CboTable"));
            auto *title = dialog->findChild<QComboBox *>(QStringLiteral("CboMesstitle"));
            if (!table || !title)
                return false;
            tables = items(table);
            offered = items(title);
            suggestedTitle = title->currentText();
            for (QComboBox *combo : dialog->findChildren<QComboBox *>())
                named << combo->accessibleName();
            title->setCurrentText(QStringLiteral("Body"));
            QTest::keyClick(dialog, convert ? Qt::Key_Return : Qt::Key_Escape);
            return true;
        });
        ModalAnswerer answers;
        {
            const auto window = restart(config);
            QCOMPARE(choice.classes, QStringList{"JetTableChoice"});
            QCOMPARE(tables, (QStringList{"Photos", "Posts"}));
            QCOMPARE(offered, (QStringList{"Sender", "Subject", "Id", "Sent", "Body"}));
            QCOMPARE(suggestedTitle, QStringLiteral("Subject"));
            QVERIFY2(!named.contains(QString()), qPrintable(named.join(QLatin1Char('|'))));
            if (!convert) {
                QCOMPARE(answers.texts.size(), 1);
                QVERIFY(answers.texts[0].contains(QStringLiteral("has been left as it is")));
                QCOMPARE(Fixtures::readAll(path(QStringLiteral("veltra.mdb"))), kWithoutVeltra);
                QCOMPARE(QDir(path(QString())).entryList({QStringLiteral("veltra*")}), QStringList{"veltra.mdb"});
                return;
            }
            QVERIFY2(answers.texts.isEmpty(), qPrintable(answers.texts.join(QLatin1Char('|'))));
            QCOMPARE(window->archive()->messageCount(), 2);
        }
        QCOMPARE(Fixtures::readAll(path(QStringLiteral("veltra-jet.mdb"))), kWithoutVeltra);
        QCOMPARE(messages(path(QStringLiteral("veltra.mdb"))),
                 (QList<QStringList>{{"7", "Sender", "Sent", "Body", "Body"}, {"8", "Sender", "Sent", "Body", "Body"}}));
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
