#include "app/combopicks.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QTimer>

ComboPicks::ComboPicks(QComboBox *combo)
    : QObject(combo)
    , m_combo(combo)
{
    combo->view()->window()->installEventFilter(this);
    connect(combo, &QComboBox::activated, this, [this] {
        if (m_popupOpen)
            emit picked();
    });
}

bool ComboPicks::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_combo->view()->window()) {
        if (event->type() == QEvent::Show) {
            m_popupOpen = true;
        } else if (event->type() == QEvent::Hide) {
            // The pick is reported right after the drop-down has closed.
            QTimer::singleShot(0, this, [this] { m_popupOpen = m_combo->view()->window()->isVisible(); });
        }
    }
    return QObject::eventFilter(watched, event);
}
