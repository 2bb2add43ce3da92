// SPDX-License-Identifier: GPL-3.0-or-later
// The help page names every command the window has: each menu item (by its caption, as
// the menus show it) and each key of Help > Keyboard Shortcuts. A command added without a
// word in the help is caught here.
#include "app/form1.h"
#include "app/keyboardshortcuts.h"
#include "fixtures.h"
#include "windowharness.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTextDocumentFragment>
#include <QtTest>

using namespace Harness;

namespace {

// The page as a reader sees it: tags dropped, references decoded, blanks made one.
QString pageText()
{
    QFile file(QStringLiteral(VELTRA_HELP_PAGE));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString html = QString::fromLatin1(file.readAll());
    return QTextDocumentFragment::fromHtml(html).toPlainText().simplified();
}

// A menu caption as it reads: without its "&" and the dots of a command that asks more.
QString caption(const QAction *action)
{
    QString text = action->text();
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    if (text.endsWith(QLatin1String("...")))
        text.chop(3);
    return text.trimmed();
}

void collect(const QMenu *menu, QStringList *captions)
{
    for (const QAction *action : menu->actions()) {
        if (action->isSeparator() || action->text().isEmpty())
            continue;
        if (action->menu())
            collect(action->menu(), captions);
        *captions << caption(action);
    }
}

}

class TestHelp : public WindowTest
{
    Q_OBJECT

private slots:
    void everyCommandIsNamed()
    {
        const QString page = pageText();
        QVERIFY2(!page.isEmpty(), VELTRA_HELP_PAGE);
        auto w = start(Fixtures::range(1, 3));
        QStringList captions;
        for (const QAction *top : w->menuBar()->actions()) {
            if (top->menu())
                collect(top->menu(), &captions);
        }
        QVERIFY(captions.size() > 30);
        QStringList missing;
        for (const QString &c : std::as_const(captions)) {
            // The start page's item carries the club's host name after "Start at".
            const QString named = c.startsWith(QLatin1String("Start at ")) ? QStringLiteral("Start at") : c;
            if (!page.contains(named))
                missing << named;
        }
        const auto *keys = w->findChild<KeyboardShortcuts *>(QString(), Qt::FindChildrenRecursively);
        QVERIFY(keys);
        for (const auto &[key, what] : keys->list()) {
            if (!page.contains(key))
                missing << key + QStringLiteral(" (") + what + u')';
        }
        missing.removeDuplicates();
        for (const QString &m : std::as_const(missing))
            qWarning().noquote() << "not in help.html:" << m;
        QVERIFY(missing.isEmpty());
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
