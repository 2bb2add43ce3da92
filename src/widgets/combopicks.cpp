// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/combopicks.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QStringList>
#include <QTimer>

ComboPicks::ComboPicks(QComboBox *combo)
    : QObject(combo)
    , m_popup(combo->view()->window())
{
    m_popup->installEventFilter(this);
    connect(combo, &QComboBox::activated, this, [this] {
        if (m_popupOpen)
            emit picked();
    });
}

bool ComboPicks::eventFilter(QObject *watched, QEvent *event)
{
    // The drop-down also hides while the box is being destroyed: only the drop-down
    // itself is looked at here.
    if (watched == m_popup) {
        if (event->type() == QEvent::Show) {
            m_popupOpen = true;
        } else if (event->type() == QEvent::Hide) {
            // The pick is reported right after the drop-down has closed.
            QTimer::singleShot(0, this, [this] { m_popupOpen = m_popup && m_popup->isVisible(); });
        }
    }
    return QObject::eventFilter(watched, event);
}

ComboPicks *connectTypedBox(QComboBox *box, QObject *filter)
{
    // No completion of its own: the text is used as typed.
    box->setCompleter(nullptr);
    // Typed keys reach the box, which hands them to its edit field directly; keys sent to
    // the edit field itself are seen there.
    box->installEventFilter(filter);
    if (box->lineEdit())
        box->lineEdit()->installEventFilter(filter);
    // Only a pick from the drop-down is a click: the box also activates an entry when
    // typing or Enter ends on its text, and that must not run the command a second time.
    return new ComboPicks(box);
}

QStringList comboEntries(const QComboBox *combo)
{
    QStringList entries;
    entries.reserve(combo->count());
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    return entries;
}
