// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringView>

#include <optional>

// One archive message as an mbox entry that mail programs (Thunderbird, mutt, notmuch, mu,
// Python's mailbox) read: a "From " line, headers, a text/plain part made from the HTML
// and the HTML itself as the alternative (each as it is where mail allows, quoted-printable
// otherwise), lines ending in LF (as every line end of a text part does), "From " lines
// quoted the mboxrd way, and an empty line after it.
namespace MboxMessage {

// The message's fields as the database holds them; the body as its UTF-8 bytes.
struct Fields
{
    qint64 messnum = 0;
    QString messauthor;
    QString messdate;
    QString messtitle;
    QByteArrayView message;
};

QByteArray format(const Fields &fields);
// The same, appended to `out`: an export writes many into one buffer.
void append(QByteArray &out, const Fields &fields);

// The moment a date text of the archive names, without the deletion flag in front:
// "Mon Mar 5, 2003 1:05 am" (the weekday and the comma may be missing, the hour may run
// to 23 without am/pm) or "2003-03-05 13:05[:07]". The archive does not say in which
// zone; nullopt when the text is none of these or no real date.
std::optional<QDateTime> parseDate(QStringView text);

}
