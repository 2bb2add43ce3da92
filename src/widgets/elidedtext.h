// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class QFontMetrics;
class QLabel;
class QLineEdit;
class QRect;
class QWidget;

// A one-line status text cut short with "..." where its control is too narrow for it, the
// whole text in the tool tip. The control keeps the whole text (its text() reads it); only
// what is painted is cut short. A read-only text box shows its whole text again while it
// has the focus, where it can be scrolled and selected.
class ElidedText final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ElidedText)

public:
    // The control owns what these make.
    static void attach(QLabel *label);
    static void attach(QLineEdit *box);

    // What the control shows: its text, or as much of it as fits followed by "...".
    static QString shownText(const QWidget *control);
    // Its tool tip: its own, and below it the whole text when the text is cut short.
    static QString toolTip(const QWidget *control);
    // The longest start of `text` that fits into `width` with "..." after it; the text
    // itself when it fits whole.
    static QString elided(const QString &text, const QFontMetrics &metrics, int width);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit ElidedText(QWidget *control);
    // Where the text is drawn; empty when the control paints it as it always does.
    static QRect textRect(const QWidget *control);
    static QString wholeText(const QWidget *control);
    void paint(QWidget *control, const QString &shown) const;
};
