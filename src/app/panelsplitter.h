// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

// The handle along the top of the browser panel: dragged down it makes the knowledge-base
// panel, and with it the result list, taller; dragged back up, shorter.
class PanelSplitter final : public QWidget
{
    Q_OBJECT

public:
    explicit PanelSplitter(QWidget *parent);

signals:
    // Where the browser panel would begin, in the parent's coordinates.
    void dragged(int top);
    // The drag ended.
    void released();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int m_grabOffset = -1; // from the handle's top to the pointer while dragging; -1 otherwise
};
