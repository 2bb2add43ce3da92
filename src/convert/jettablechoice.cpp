// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/jettablechoice.h"

#include "widgets/apptitle.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The fields as the user knows them, with a mnemonic each, in MessageFields' order.
constexpr std::array<const char *, MessageFields::kCount> kFieldLabels = {
    "&Number (messnum):", "&Author (messauthor):", "&Date (messdate):", "T&itle (messtitle):", "Te&xt (message):"};
constexpr std::array<const char *, MessageFields::kCount> kFieldObjects = {"CboMessnum", "CboMessauthor", "CboMessdate",
                                                                           "CboMesstitle", "CboMessage"};

QComboBox *labelled(QFormLayout *form, const QString &label, const QString &accessibleName, const char *objectName)
{
    auto *combo = new QComboBox;
    combo->setObjectName(QLatin1String(objectName));
    combo->setAccessibleName(accessibleName);
    auto *caption = new QLabel(label);
    caption->setBuddy(combo);
    form->addRow(caption, combo);
    return combo;
}

}

JetTableChoice::JetTableChoice(const QString &intro, const QList<JetTable> &tables, QWidget *parent)
    : QDialog(parent)
    , m_tables(tables)
{
    setWindowTitle(kAppTitle);
    setAccessibleName(QStringLiteral("Convert the Access database"));
    auto *text = new QLabel(intro);
    text->setWordWrap(true);
    auto *form = new QFormLayout;
    CboTable = labelled(form, QStringLiteral("&Table:"), QStringLiteral("Table holding the messages"), "CboTable");
    for (const JetTable &table : m_tables)
        CboTable->addItem(table.name);
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        m_fields[i] = labelled(form, QLatin1String(kFieldLabels[i]),
                               QStringLiteral("Column for %1").arg(QLatin1String(MessageFields::kNames[i])), kFieldObjects[i]);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    CmdConvert = buttons->addButton(QStringLiteral("&Convert"), QDialogButtonBox::AcceptRole);
    CmdConvert->setObjectName(QStringLiteral("CmdConvert"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(form);
    layout->addWidget(buttons);
    // Only a button already in the dialog stays its default when the focus moves.
    CmdConvert->setDefault(true);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(CboTable, &QComboBox::currentIndexChanged, this, &JetTableChoice::CboTable_Change);
    const JetTable *example = JetTable::example(m_tables);
    CboTable->setCurrentIndex(example ? int(example - m_tables.constData()) : 0);
    CboTable_Change();
    CboTable->setFocus();
}

void JetTableChoice::CboTable_Change()
{
    const qsizetype index = CboTable->currentIndex();
    const JetTable table = index >= 0 && index < m_tables.size() ? m_tables[index] : JetTable{};
    const QStringList columns = table.fieldColumns();
    const std::optional<JetColumns> suggested = table.suggestedColumns();
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        m_fields[i]->clear();
        m_fields[i]->addItems(columns);
        if (suggested)
            m_fields[i]->setCurrentText(suggested->columns[i]);
        m_fields[i]->setEnabled(!columns.isEmpty());
    }
    // A table whose definition cannot be read has nothing to convert.
    CmdConvert->setEnabled(!columns.isEmpty());
}

JetColumns JetTableChoice::chosen() const
{
    JetColumns columns;
    columns.table = CboTable->currentText();
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        columns.columns[i] = m_fields[i]->currentText();
    return columns;
}
