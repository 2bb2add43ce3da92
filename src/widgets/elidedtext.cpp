// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/elidedtext.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolTip>

namespace {

const QString kDots = QStringLiteral("...");
// The room a text box leaves on each side of its text inside its contents (as Qt draws it).
constexpr int kBoxTextMargin = 2;

QStyleOptionFrame boxPanel(const QLineEdit *box)
{
    QStyleOptionFrame option;
    option.initFrom(box);
    option.rect = box->contentsRect();
    option.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    if (box->isReadOnly())
        option.state |= QStyle::State_ReadOnly;
    option.features = QStyleOptionFrame::None;
    return option;
}

}

ElidedText::ElidedText(QWidget *control)
    : QObject(control)
{
    control->installEventFilter(this);
}

void ElidedText::attach(QLabel *label)
{
    new ElidedText(label);
}

void ElidedText::attach(QLineEdit *box)
{
    new ElidedText(box);
}

QString ElidedText::elided(const QString &text, const QFontMetrics &metrics, int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    // The longest start that fits with the dots after it, found by halving.
    qsizetype fits = 0;
    qsizetype tooLong = text.size();
    while (tooLong - fits > 1) {
        const qsizetype middle = (fits + tooLong) / 2;
        if (metrics.horizontalAdvance(text.left(middle) + kDots) <= width)
            fits = middle;
        else
            tooLong = middle;
    }
    if (fits > 0 && text.at(fits - 1).isHighSurrogate())
        --fits;
    return text.left(fits) + kDots;
}

QString ElidedText::wholeText(const QWidget *control)
{
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (const auto *box = qobject_cast<const QLineEdit *>(control))
        return box->text();
    return QString();
}

QRect ElidedText::textRect(const QWidget *control)
{
    if (const auto *label = qobject_cast<const QLabel *>(control)) {
        // A frame is the label's own to draw, and a rich or wrapped text has its own layout.
        const bool rich = label->textFormat() == Qt::RichText
                          || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
        if (rich || label->wordWrap() || label->frameWidth() > 0 || label->text().contains(QLatin1Char('\n')))
            return QRect();
        QRect r = label->contentsRect();
        const int margin = label->margin();
        r.adjust(margin, margin, -margin, -margin);
        const int indent = std::max(0, label->indent());
        const int align = QStyle::visualAlignment(label->layoutDirection(), label->alignment());
        if (align & Qt::AlignLeft)
            r.setLeft(r.left() + indent);
        if (align & Qt::AlignRight)
            r.setRight(r.right() - indent);
        return r;
    }
    if (const auto *box = qobject_cast<const QLineEdit *>(control)) {
        // Typed into or worked with, a text box scrolls as it always does.
        if (!box->isReadOnly() || box->hasFocus())
            return QRect();
        const QStyleOptionFrame panel = boxPanel(box);
        const QRect r = box->style()->subElementRect(QStyle::SE_LineEditContents, &panel, box);
        return r.marginsRemoved(box->textMargins()).adjusted(kBoxTextMargin, 0, -kBoxTextMargin, 0);
    }
    return QRect();
}

QString ElidedText::shownText(const QWidget *control)
{
    const QString text = wholeText(control);
    const QRect r = textRect(control);
    if (r.isNull())
        return text;
    int room = r.width();
    if (qobject_cast<const QLineEdit *>(control)) {
        // A text box wants a pixel and the glyphs' overhangs besides before it scrolls.
        const QFontMetrics metrics = control->fontMetrics();
        room -= 1 + std::max(0, -metrics.minLeftBearing()) + std::max(0, -metrics.minRightBearing());
    }
    return elided(text, control->fontMetrics(), room);
}

QString ElidedText::toolTip(const QWidget *control)
{
    const QString text = wholeText(control);
    if (shownText(control) == text)
        return control->toolTip();
    return control->toolTip().isEmpty() ? text : control->toolTip() + QLatin1Char('\n') + text;
}

void ElidedText::paint(QWidget *control, const QString &shown) const
{
    QPainter painter(control);
    const QRect r = textRect(control);
    if (const auto *label = qobject_cast<const QLabel *>(control)) {
        const int align = QStyle::visualAlignment(label->layoutDirection(), label->alignment());
        label->style()->drawItemText(&painter, r, align, label->palette(), label->isEnabled(), shown,
                                     label->foregroundRole());
        return;
    }
    const auto *box = static_cast<const QLineEdit *>(control);
    const QStyleOptionFrame panel = boxPanel(box);
    box->style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, box);
    painter.setPen(box->palette().color(box->isEnabled() ? QPalette::Normal : QPalette::Disabled, QPalette::Text));
    const int align = QStyle::visualAlignment(box->layoutDirection(), box->alignment() & Qt::AlignHorizontal_Mask);
    painter.drawText(r, align | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

bool ElidedText::eventFilter(QObject *watched, QEvent *event)
{
    auto *control = static_cast<QWidget *>(watched);
    switch (event->type()) {
    case QEvent::Paint: {
        const QString shown = shownText(control);
        if (shown == wholeText(control))
            return false;
        paint(control, shown);
        return true;
    }
    case QEvent::ToolTip: {
        const QString tip = toolTip(control);
        if (tip == control->toolTip())
            return false;
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), tip, control);
        return true;
    }
    default:
        return false;
    }
}
