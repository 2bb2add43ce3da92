// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

namespace {

using Draw = void (*)(QPainter &);

const QSize kHolderSize(20, 17);
const QSize kButtonSize(16, 16);
const QSize kLockSize(12, 14);
const QSize kAppSize(32, 32);

QPixmap render(QSize logical, qreal scale, Draw draw)
{
    QPixmap pixmap(qRound(logical.width() * scale), qRound(logical.height() * scale));
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    draw(painter);
    return pixmap;
}

QIcon buttonIcon(Draw draw)
{
    QIcon icon;
    icon.addPixmap(render(kButtonSize, 1, draw));
    icon.addPixmap(render(kButtonSize, 2, draw));
    return icon;
}

QPen outline(const QColor &color, qreal width = 1)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// ---- waste bin ----

const QColor kBinFill(0, 205, 225);
const QColor kBinEdge(0, 85, 105);
const QColor kLidFill(255, 214, 0);
const QColor kLidEdge(150, 110, 0);

void drawBinBody(QPainter &p)
{
    p.setPen(outline(kBinEdge));
    p.setBrush(kBinFill);
    p.drawPolygon(QPolygonF({{5.5, 7.5}, {14.5, 7.5}, {13.5, 16.5}, {6.5, 16.5}}));
    for (const qreal x : {8.5, 10.5, 12.0})
        p.drawLine(QPointF(x - 0.3, 9.5), QPointF(x - 0.5, 14.5));
}

void drawTrash(QPainter &p)
{
    // Rubbish piled above the rim, drawn first so the rim cuts it off.
    p.setPen(outline(QColor(120, 0, 0)));
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QPointF(8.0, 5.0), 2.6, 2.4);
    p.drawPolygon(QPolygonF({{12.0, 6.5}, {12.5, 3.5}, {14.5, 4.0}, {14.5, 6.5}}));
    p.setPen(outline(kLidEdge));
    p.setBrush(kLidFill);
    p.drawPolygon(QPolygonF({{9.5, 6.5}, {10.5, 1.5}, {12.5, 2.5}, {13.0, 6.5}}));
    p.drawEllipse(QPointF(6.0, 6.0), 1.4, 1.2);
    drawBinBody(p);
    // Rim of the open bin.
    p.setPen(outline(kBinEdge));
    p.setBrush(kBinFill);
    p.drawRect(QRectF(4.5, 6.5, 11, 1.5));
    // The lid, swung open and leaning to the right.
    p.setPen(outline(kLidEdge));
    p.setBrush(kLidFill);
    p.drawPolygon(QPolygonF({{15.5, 7.0}, {17.0, 7.0}, {19.5, 1.0}, {18.0, 0.5}}));
}

void drawSave(QPainter &p)
{
    drawBinBody(p);
    p.setPen(outline(kLidEdge));
    p.setBrush(kLidFill);
    p.drawRect(QRectF(3.5, 4.5, 13, 2.5));
    p.drawRect(QRectF(8.0, 2.5, 4, 2));
}

void drawTick(QPainter &p)
{
    p.setPen(QPen(Qt::black, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({{4.5, 9.0}, {8.0, 12.5}, {15.5, 4.0}}));
}

// ---- browser row ----

const QColor kArrowBlue(35, 80, 170);
const QColor kArrowBlueEdge(15, 40, 100);

void drawUp(QPainter &p)
{
    p.setPen(outline(kArrowBlueEdge));
    p.setBrush(kArrowBlue);
    p.drawRect(QRectF(2.5, 1.5, 11, 1.5));
    p.drawPolygon(QPolygonF({{8.0, 4.0}, {14.0, 10.0}, {10.5, 10.0}, {10.5, 14.5}, {5.5, 14.5}, {5.5, 10.0}, {2.0, 10.0}}));
}

void drawDown(QPainter &p)
{
    p.setPen(outline(kArrowBlueEdge));
    p.setBrush(kArrowBlue);
    p.drawPolygon(QPolygonF({{8.0, 12.0}, {14.0, 6.0}, {10.5, 6.0}, {10.5, 1.5}, {5.5, 1.5}, {5.5, 6.0}, {2.0, 6.0}}));
    p.drawRect(QRectF(2.5, 13.0, 11, 1.5));
}

const QPolygonF kLeftArrow({{1.5, 8.0}, {7.5, 2.0}, {7.5, 5.5}, {14.5, 5.5}, {14.5, 10.5}, {7.5, 10.5}, {7.5, 14.0}});

void drawBack(QPainter &p)
{
    p.setPen(outline(QColor(20, 90, 30)));
    p.setBrush(QColor(50, 160, 70));
    p.drawPolygon(kLeftArrow);
}

void drawForward(QPainter &p)
{
    p.translate(16, 0);
    p.scale(-1, 1);
    drawBack(p);
}

void drawStop(QPainter &p)
{
    QPolygonF octagon;
    for (int i = 0; i < 8; ++i) {
        const qreal angle = qDegreesToRadians(22.5 + 45.0 * i);
        octagon << QPointF(8 + 7 * qCos(angle), 8 + 7 * qSin(angle));
    }
    p.setPen(outline(QColor(120, 0, 0)));
    p.setBrush(QColor(215, 30, 30));
    p.drawPolygon(octagon);
    p.setPen(outline(Qt::white, 2));
    p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

void drawRefresh(QPainter &p)
{
    const QColor blue(30, 110, 200);
    const QPointF centre(8, 8);
    const qreal radius = 5.5;
    const qreal endDegrees = 20;
    p.setPen(QPen(blue, 2, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    // Qt angles run counter-clockwise in sixteenths of a degree; the gap is at the upper right.
    p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 70 * 16, 310 * 16);
    const qreal a = qDegreesToRadians(endDegrees);
    const QPointF end(centre.x() + radius * qCos(a), centre.y() - radius * qSin(a));
    const QPointF along(-qSin(a), -qCos(a)); // direction of travel at the arc's end
    const QPointF across(qCos(a), -qSin(a));
    p.setPen(outline(blue));
    p.setBrush(blue);
    p.drawPolygon(QPolygonF({end + 3.0 * along, end + 2.6 * across, end - 2.6 * across}));
}

void drawHome(QPainter &p)
{
    p.setPen(outline(QColor(90, 60, 30)));
    p.setBrush(QColor(245, 225, 180));
    p.drawRect(QRectF(3.5, 7.5, 9, 7));
    p.setBrush(QColor(190, 50, 40));
    p.drawPolygon(QPolygonF({{8.0, 1.5}, {15.0, 8.0}, {1.0, 8.0}}));
    p.setBrush(QColor(120, 75, 35));
    p.drawRect(QRectF(7.0, 10.5, 2.5, 4));
}

void drawManuals(QPainter &p)
{
    const QColor edge(25, 60, 130);
    p.setPen(outline(edge));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({{1.0, 3.0}, {7.5, 4.5}, {7.5, 14.0}, {1.0, 12.5}}));
    p.drawPolygon(QPolygonF({{8.5, 4.5}, {15.0, 3.0}, {15.0, 12.5}, {8.5, 14.0}}));
    p.setPen(outline(QColor(120, 140, 190)));
    for (int i = 0; i < 3; ++i) {
        const qreal y = 6.5 + 2.2 * i;
        p.drawLine(QPointF(2.5, y - 0.8), QPointF(6.0, y));
        p.drawLine(QPointF(10.0, y), QPointF(13.5, y - 0.8));
    }
}

void drawRegistry(QPainter &p)
{
    p.setPen(outline(QColor(90, 55, 20)));
    p.setBrush(QColor(175, 120, 60));
    p.drawRoundedRect(QRectF(2.5, 2.0, 11, 13.5), 1.5, 1.5);
    p.setPen(outline(QColor(120, 120, 120)));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.0, 4.0, 8, 10));
    p.setBrush(QColor(160, 160, 160));
    p.drawRoundedRect(QRectF(5.5, 0.5, 5, 3), 1, 1);
    p.setPen(outline(QColor(40, 40, 40)));
    for (int i = 0; i < 4; ++i) {
        const qreal y = 6.5 + 2 * i;
        p.drawLine(QPointF(5.5, y), QPointF(i == 3 ? 8.5 : 10.5, y));
    }
}

void drawGroup(QPainter &p)
{
    // Two people, one behind the other.
    p.setPen(outline(QColor(70, 50, 110)));
    p.setBrush(QColor(150, 120, 200));
    p.drawPie(QRectF(6.5, 7.0, 9, 9), 0, 180 * 16);
    p.drawEllipse(QPointF(11.0, 4.5), 2.5, 2.5);
    p.setPen(outline(QColor(60, 20, 90)));
    p.setBrush(QColor(100, 40, 150));
    p.drawPie(QRectF(0.5, 9.0, 10, 10), 0, 180 * 16);
    p.drawEllipse(QPointF(5.5, 6.5), 2.8, 2.8);
}

void drawConversation(QPainter &p)
{
    // Two speech bubbles, a message and its answer.
    p.setPen(outline(QColor(30, 80, 140)));
    p.setBrush(QColor(150, 200, 245));
    p.drawRoundedRect(QRectF(0.5, 1.5, 10, 7), 2, 2);
    p.drawPolygon(QPolygonF({QPointF(2.5, 8.5), QPointF(2.5, 11.0), QPointF(5.0, 8.5)}));
    p.setPen(outline(QColor(20, 100, 40)));
    p.setBrush(QColor(160, 225, 150));
    p.drawRoundedRect(QRectF(5.5, 7.5, 10, 7), 2, 2);
    p.drawPolygon(QPolygonF({QPointF(13.5, 14.5), QPointF(13.5, 15.5), QPointF(11.0, 14.5)}));
}

void drawLock(QPainter &p)
{
    p.setPen(QPen(QColor(95, 95, 95), 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(3.0, 1.0, 6, 6), 0, 180 * 16);
    p.drawLine(QPointF(3.0, 4.0), QPointF(3.0, 7.0));
    p.drawLine(QPointF(9.0, 4.0), QPointF(9.0, 7.0));
    p.setPen(outline(QColor(140, 100, 0)));
    p.setBrush(QColor(235, 185, 35));
    p.drawRoundedRect(QRectF(0.5, 6.5, 11, 7), 1, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 45, 0));
    p.drawEllipse(QPointF(6.0, 9.3), 1.2, 1.2);
    p.drawRect(QRectF(5.5, 9.5, 1, 2.5));
}

void drawApp(QPainter &p)
{
    // A message store under a magnifying glass.
    const QColor edge(20, 45, 100);
    const QColor body(45, 95, 180);
    p.setPen(outline(edge, 1.2));
    p.setBrush(body);
    QPainterPath cylinder;
    cylinder.moveTo(3.5, 7.0);
    cylinder.lineTo(3.5, 24.0);
    cylinder.arcTo(QRectF(3.5, 20.5, 20, 7), 180, 180);
    cylinder.lineTo(23.5, 7.0);
    cylinder.closeSubpath();
    p.drawPath(cylinder);
    p.setBrush(QColor(110, 160, 230));
    p.drawEllipse(QRectF(3.5, 3.5, 20, 7));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(3.5, 9.5, 20, 7), 180 * 16, 180 * 16);
    p.drawArc(QRectF(3.5, 15.0, 20, 7), 180 * 16, 180 * 16);
    p.setPen(QPen(QColor(40, 40, 40), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(25.5, 25.5), QPointF(30.0, 30.0));
    p.setPen(outline(QColor(40, 40, 40), 2.2));
    p.setBrush(QColor(235, 245, 255, 220));
    p.drawEllipse(QPointF(21.5, 21.5), 5.5, 5.5);
}

}

namespace Icons {

QPixmap trash()
{
    static const QPixmap picture = render(kHolderSize, 1, drawTrash);
    return picture;
}

QPixmap save()
{
    static const QPixmap picture = render(kHolderSize, 1, drawSave);
    return picture;
}

QPixmap tick()
{
    static const QPixmap picture = render(kHolderSize, 1, drawTick);
    return picture;
}

QIcon trashIcon()
{
    static const QIcon icon(trash());
    return icon;
}

QIcon saveIcon()
{
    static const QIcon icon(save());
    return icon;
}

QIcon up()
{
    static const QIcon icon = buttonIcon(drawUp);
    return icon;
}

QIcon down()
{
    static const QIcon icon = buttonIcon(drawDown);
    return icon;
}

QIcon back()
{
    static const QIcon icon = buttonIcon(drawBack);
    return icon;
}

QIcon forward()
{
    static const QIcon icon = buttonIcon(drawForward);
    return icon;
}

QIcon stop()
{
    static const QIcon icon = buttonIcon(drawStop);
    return icon;
}

QIcon refresh()
{
    static const QIcon icon = buttonIcon(drawRefresh);
    return icon;
}

QIcon home()
{
    static const QIcon icon = buttonIcon(drawHome);
    return icon;
}

QIcon manuals()
{
    static const QIcon icon = buttonIcon(drawManuals);
    return icon;
}

QIcon registry()
{
    static const QIcon icon = buttonIcon(drawRegistry);
    return icon;
}

QIcon group()
{
    static const QIcon icon = buttonIcon(drawGroup);
    return icon;
}

QIcon conversation()
{
    static const QIcon icon = buttonIcon(drawConversation);
    return icon;
}

QPixmap lock()
{
    static const QPixmap picture = render(kLockSize, 1, drawLock);
    return picture;
}

QIcon appIcon()
{
    static const QIcon icon = [] {
        QIcon result;
        result.addPixmap(render(kAppSize, 1, drawApp));
        result.addPixmap(render(kAppSize, 0.5, drawApp));
        return result;
    }();
    return icon;
}

}
