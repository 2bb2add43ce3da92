// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QComboBox;
#include <QStringList>

// Reports the entries the user picks from a combo box's open drop-down list, and nothing
// else: the box also says "activated" when Enter, an arrow key or the end of typing lands
// on an entry's text, and those are no picks.
class ComboPicks final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ComboPicks)
public:
    // Watches `combo` for as long as it lives.
    explicit ComboPicks(QComboBox *combo);

signals:
    void picked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_popup; // the drop-down's window
    bool m_popupOpen = false; // the drop-down is open or has just closed
};

// A combo box the user types into: no completion of its own, its keys (and those sent to
// its edit field) reach `filter`, and `picked` of the returned watcher comes for picks from
// its open drop-down only.
ComboPicks *connectTypedBox(QComboBox *box, QObject *filter);

// The entries of a combo box's drop-down list, in order.
QStringList comboEntries(const QComboBox *combo);
