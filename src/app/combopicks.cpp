#include "app/combopicks.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
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
