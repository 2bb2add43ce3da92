// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/panelsplitter.h"

#include <QMouseEvent>
#include <QPainter>

PanelSplitter::PanelSplitter(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("PanelSplitter"));
    setCursor(Qt::SplitVCursor);
    setToolTip(QStringLiteral("Drag to make the result list taller or shorter"));
    setAccessibleName(QStringLiteral("Result list height"));
}

void PanelSplitter::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_grabOffset = event->position().toPoint().y();
    event->accept();
}

void PanelSplitter::mouseMoveEvent(QMouseEvent *event)
{
    if (m_grabOffset < 0)
        return;
    // The panel begins below the handle.
    const int top = mapToParent(event->position().toPoint()).y() - m_grabOffset + height();
    emit dragged(top);
    event->accept();
}

void PanelSplitter::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_grabOffset < 0)
        return;
    m_grabOffset = -1;
    emit released();
    event->accept();
}

void PanelSplitter::paintEvent(QPaintEvent *)
{
    // A faint grip in the middle, where a user looks for it.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    const int middle = width() / 2;
    const int y = height() / 2;
    for (int dx = -12; dx <= 12; dx += 4)
        painter.drawPoint(middle + dx, y);
}
