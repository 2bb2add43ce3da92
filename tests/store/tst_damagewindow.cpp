// The window on a damaged message database: one warning, however often the damage is met.
#include "app/form1.h"
#include "damagedfile.h"
#include "fixtures.h"
#include "modalanswerer.h"
#include "searchwindow.h"
#include "store/integritycheck.h"
#include "store/recordset.h"
#include "testenv.h"

#include <QApplication>
#include <QtTest>

class TestDamageWindow : public SearchWindow::SearchWindowTest
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
        QVERIFY(w->recordset());
        QVERIFY(TestEnv::waitUntil([&] {
            const auto *check = w->findChild<IntegrityCheck *>();
            return !check || !check->isRunning();
        }));
        // Start-up reads only the last message; the background check finds the damage.
        QCOMPARE(w->recordset()->isDamaged(), damaged);
        if (damaged)
            QVERIFY(w->recordset()->damageReason().startsWith(QLatin1String("quick_check")));
        // A search through every title walks into the damage as well, and says nothing more.
        SearchWindow::search(w.get(), QStringLiteral("no such words"));
        QTest::qWait(200);

        if (!damaged) {
            QCOMPARE(answerer.texts, QStringList());
            return;
        }
        QCOMPARE(answerer.texts.size(), 1);
        QCOMPARE(answerer.titles, QStringList{QStringLiteral("Veltra KnowledgeBase")});
        QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Warning});
        const QString text = answerer.texts.constFirst();
        for (const QString &part : {QDir::toNativeSeparators(file), QStringLiteral("is damaged"),
                                    w->recordset()->damageReason(), QStringLiteral("veltra.bak")})
            QVERIFY2(text.contains(part), qPrintable(part + QStringLiteral(" not in: ") + text));
        QVERIFY(!w->recordset()->addNew(Fixtures::message(DamagedFile::kMessages + 1)));
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
