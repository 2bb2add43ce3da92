// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/finddialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>

FindDialog::FindDialog(QWebEnginePage *page, QWidget *parent)
    : QDialog(parent)
    , m_page(page)
    , m_text(new QLineEdit(this))
    , m_matchCase(new QCheckBox(tr("Match &case"), this))
    , m_up(new QCheckBox(tr("Search &up"), this))
    , m_result(new QLabel(this))
{
    setWindowTitle(tr("Find"));
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *next = buttons->addButton(tr("&Find Next"), QDialogButtonBox::ActionRole);
    next->setDefault(true);
    buttons->addButton(QDialogButtonBox::Close);

    auto *prompt = new QLabel(tr("Fi&nd what:"), this);
    prompt->setBuddy(m_text);
    auto *layout = new QGridLayout(this);
    layout->addWidget(prompt, 0, 0);
    layout->addWidget(m_text, 0, 1);
    layout->addWidget(m_matchCase, 1, 0);
    layout->addWidget(m_up, 1, 1);
    layout->addWidget(m_result, 2, 0, 1, 2);
    layout->addWidget(buttons, 3, 0, 1, 2);

    connect(next, &QPushButton::clicked, this, &FindDialog::findNext);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void FindDialog::findNext()
{
    if (m_text->text().isEmpty())
        return;
    QWebEnginePage::FindFlags flags;
    if (m_matchCase->isChecked())
        flags |= QWebEnginePage::FindCaseSensitively;
    if (m_up->isChecked())
        flags |= QWebEnginePage::FindBackward;
    QPointer<QLabel> result = m_result;
    m_page->findText(m_text->text(), flags, [result](const QWebEngineFindTextResult &found) {
        if (result)
            result->setText(found.numberOfMatches() == 0 ? tr("Not found.") : QString());
    });
}

void FindDialog::hideEvent(QHideEvent *event)
{
    // Ending the search removes the highlighting from the page.
    m_page->findText(QString());
    m_result->clear();
    QDialog::hideEvent(event);
}
