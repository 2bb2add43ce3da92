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

// The text as a browser shows it: tags and comments dropped, "<br>" a line break, runs of
// blanks and line breaks of the source one blank, blanks at the ends of lines dropped,
// references decoded (a no-break space as a plain blank). Ends with one line break unless
// empty.
QByteArray toPlainText(QByteArrayView html);

}
