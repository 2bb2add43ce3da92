// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// The words people wrote in real mail, for the vocabulary of the real-text archive. Only
// the text/plain parts of the messages count, decoded from quoted-printable and their
// charset; headers, base64 parts (attachments), HTML parts, quoted lines, patches and
// signatures are passed over, since none of them is what members type.
namespace MailText {

// The text/plain parts of the messages in an mbox file (messages after "From " lines) or
// in one RFC 822 message, each decoded to text.
QStringList plainTexts(const QByteArray &file);

// Adds the words of a text to `counts`, lowercased: runs of letters, with an apostrophe or
// hyphen allowed between letters. A token holding anything else (digits, "_", "@", "/",
// "=") is code, an address or a path and is left out whole.
void countWords(QStringView text, QHash<QString, qint64> &counts);

}
