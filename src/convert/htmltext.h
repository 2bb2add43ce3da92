// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Messages are HTML (UTF-8 as the database keeps them); mail programs want text too.
namespace HtmlText {

// Character references decoded: numeric ones (decimal and hexadecimal; 128 to 159 read as
// Windows-1252, as browsers do; a code point that cannot be one becomes U+FFFD) and the
// named ones of HTML 4 (with ";"). Anything else stays as it is.
QByteArray decodeEntities(QByteArrayView html);

// A subject or author as it is shown (list, mail headers): the group's pages store them
// with references ("Nuts &amp; bolts"). Only references written whole are decoded, with
// their ';' and naming a character; anything else ("&amp", "&#0;", "&bogus;") is shown as
// written, so no text is lost or made up.
QString shownField(QByteArrayView stored);
QString shownField(const QString &stored);

// The text as a browser lays the page out, for a mail program's text part. Tags and
// comments dropped, as are the contents of script, style and title. "<br>" breaks the line;
// blocks (div, p, li, tr, headings, blockquote, pre, hr, table, ...) start on a line of their
// own, and paragraphs (p, headings, blockquote, pre, lists not inside a list) have a blank
// line around them. List items start with "- " (in ol with their number), nested lists are
// indented by two blanks a level; quoted lines start with "> " a level ("> > " inside two
// quotes, a blank line inside a quote with ">"); table cells are parted by a tab; hr is a
// line of dashes. Runs of blanks and line breaks of the source are one blank except in pre,
// which keeps them. References are decoded (a no-break space as a plain blank). Blanks at
// the ends of lines are dropped, no two blank lines follow each other, and the text ends with
// one line break unless empty.
QByteArray toPlainText(QByteArrayView html);
// The same, appended to `out`: an export writes many into one buffer.
void appendPlainText(QByteArray &out, QByteArrayView html);

}
