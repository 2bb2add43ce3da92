// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/missingnumbersdialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString summaryOf(const QList<MissedNumbers::Entry> &entries)
{
    if (entries.isEmpty())
        return QStringLiteral("No message numbers are missing.");
    const qsizetype notYet = std::count_if(entries.begin(), entries.end(), [](const MissedNumbers::Entry &e) {
        return MissedNumbers::notYetOnServer(e.reason);
    });
    return QStringLiteral("%1 numbers missing: %2 not yet on the update server, %3 could not be fetched. "
                          "Every update tries them again.")
        .arg(entries.size())
        .arg(notYet)
        .arg(entries.size() - notYet);
}

}

MissingNumbersDialog::MissingNumbersDialog(const QList<MissedNumbers::Entry> &entries, bool canTry, QWidget *parent)
    : QDialog(parent)
    , m_summary(new QLabel(summaryOf(entries), this))
    , m_table(new QTableWidget(int(entries.size()), 4, this))
    , m_tryAgain(new QPushButton(QStringLiteral("&Try Again Now"), this))
{
    setWindowTitle(QStringLiteral("Missing Numbers"));
    setObjectName(QStringLiteral("MissingNumbersDialog"));
    m_summary->setWordWrap(true);
    m_table->setObjectName(QStringLiteral("MissingNumbersList"));
    m_table->setAccessibleName(QStringLiteral("Missing message numbers"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("No."), QStringLiteral("Why"), QStringLiteral("Tries"), QStringLiteral("Last tried")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setTabKeyNavigation(false);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    for (int row = 0; row < entries.size(); ++row) {
        const MissedNumbers::Entry &e = entries.at(row);
        const QString why = MissedNumbers::notYetOnServer(e.reason) ? QStringLiteral("Not yet on the server: ")
                                                                    : QStringLiteral("Could not be fetched: ");
        const QString texts[] = {QString::number(e.number), why + e.reason, QString::number(e.tries),
                                 QDateTime::fromSecsSinceEpoch(e.lastTry).toString(QStringLiteral("yyyy-MM-dd hh:mm"))};
        for (int column = 0; column < 4; ++column)
            m_table->setItem(row, column, new QTableWidgetItem(texts[column]));
    }
    m_table->resizeColumnToContents(0);

    m_tryAgain->setObjectName(QStringLiteral("TryAgainNow"));
    m_tryAgain->setToolTip(QStringLiteral("Start an update that tries every missing number now"));
    m_tryAgain->setEnabled(canTry && !entries.isEmpty());
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(m_tryAgain, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_tryAgain, &QPushButton::clicked, this, [this] {
        emit tryAgainNow();
        accept();
    });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    resize(640, 360);
    m_table->setFocus();
}
