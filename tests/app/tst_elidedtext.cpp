// SPDX-License-Identifier: GPL-3.0-or-later
// The window's status texts cut short with "..." where their controls are too narrow, the
// whole text kept in the control and shown in its tip; with the fake browser.
#include "widgets/elidedtext.h"
#include "app/form1.h"
#include "testenv.h"
#include "windowharness.h"

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolTip>
#include <QtTest>

namespace {

void setText(QWidget *control, const QString &text)
{
    if (auto *label = qobject_cast<QLabel *>(control))
        label->setText(text);
    else
        qobject_cast<QLineEdit *>(control)->setText(text);
}

QString text(const QWidget *control)
{
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    return qobject_cast<const QLineEdit *>(control)->text();
}

}

class TestElidedText final : public QObject
{
    Q_OBJECT

private slots:
    void statusTextFitsItsControl_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("cut");
        const QString missing = QStringLiteral("Updated 11/23/2009 1:07:40 PM : 2986 Messages - Last # 3000 - "
                                               "14 numbers still missing");
        const QString address = QStringLiteral(" http://www.example.org/").append(QString(300, QLatin1Char('x')));
        QTest::newRow("status label, too long") << QByteArray("LblUpdateStatus") << missing << true;
        QTest::newRow("status label, fits") << QByteArray("LblUpdateStatus") << QStringLiteral("6 Messages - Last # 9")
                                            << false;
        QTest::newRow("status line, too long") << QByteArray("LblStBar1") << address << true;
        QTest::newRow("status line, fits") << QByteArray("LblStBar1") << QStringLiteral(" Done") << false;
    }
    void statusTextFitsItsControl()
    {
        QFETCH(QByteArray, control);
        QFETCH(QString, status);
        QFETCH(bool, cut);
        Harness::DataFolder folder;
        FakeBrowser *fake = nullptr;
        auto w = Harness::startWindow(&fake, AppConfig{}, Harness::Engine::Fake, Harness::Questions::Declined);
        QWidget *c = Harness::widget(w.get(), control.constData());
        const QString designTip = c->toolTip();
        setText(c, status);
        QCOMPARE(text(c), status); // what other parts read stays whole

        const QString shown = ElidedText::shownText(c);
        QCOMPARE(shown != status, cut);
        if (cut) {
            QVERIFY2(shown.endsWith(QLatin1String("...")) && status.startsWith(shown.chopped(3)), qPrintable(shown));
            QVERIFY(c->fontMetrics().horizontalAdvance(shown) < c->width());
            QVERIFY(shown.size() > 10);
        }
        // What is painted is what the control shows when it holds just that.
        const QImage painted = c->grab().toImage();
        setText(c, shown);
        QCOMPARE(c->grab().toImage(), painted);
        setText(c, status);

        QToolTip::hideText();
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), c->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(c, &help);
        const QString tip = !cut ? designTip : designTip.isEmpty() ? status : designTip + '\n' + status;
        QTRY_COMPARE(QToolTip::text(), tip);
    }
};

int main(int argc, char **argv)
{
    TestEnv::prepareWebEngine();
    QApplication app(argc, argv);
    TestElidedText test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_elidedtext.moc"
