// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile messages through the mbox writer: whatever a stored author, subject, date or body
// holds (markup cut short, references, NUL, CR, "From " and boundary lines, long lines, bytes
// that are no UTF-8), the entry
//  - has headers of printable ASCII only, each a "Name: value" line or its continuation;
//  - has no line but its first that a reader takes for the start of the next entry;
//  - has its two parts and the closing boundary, and no line longer than mail allows;
// and the text made from the body ends in one line break, has no blank at a line's end and
// no two blank lines in a row.
//
// Built as a deterministic test of many thousand messages run by CTest, and with clang also
// as a libFuzzer target (fuzz_mboxentry_libfuzzer) that runs the same checks on its inputs.
#include "convert/htmltext.h"
#include "convert/mboxmessage.h"

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QString>

#include <cstdio>
#include <cstdlib>

#ifndef VELTRA_LIBFUZZER
#include <QtTest>
#endif

namespace {

constexpr int kLongestLine = 998;

// What is wrong with the entry for these fields; empty when nothing is.
QByteArray fault(const MboxMessage::Fields &fields)
{
    const QByteArray entry = MboxMessage::format(fields);
    if (!entry.startsWith("From veltra-kb ") || !entry.endsWith("--=_veltra--\n\n"))
        return "entry not framed";
    const QList<QByteArray> lines = entry.chopped(1).split('\n');
    qsizetype i = 1;
    for (; i < lines.size() && !lines[i].isEmpty(); ++i) {
        const QByteArray &line = lines[i];
        for (const char c : line) {
            if (c < 0x20 || c > 0x7e)
                return "header byte " + QByteArray::number(quint8(c)) + " in: " + line;
        }
        if (!line.startsWith(' ') && line.indexOf(": ") <= 0)
            return "header line neither a header nor its continuation: " + line;
    }
    int boundaries = 0;
    int closings = 0;
    for (qsizetype k = 1; k < lines.size(); ++k) {
        const QByteArray &line = lines[k];
        if (line.startsWith("From "))
            return "unquoted From line " + QByteArray::number(k);
        if (line.size() > kLongestLine)
            return "line of " + QByteArray::number(line.size()) + " bytes: " + line.left(60);
        boundaries += line == "--=_veltra";
        closings += line == "--=_veltra--";
    }
    if (boundaries != 2 || closings != 1)
        return "boundary lines: " + QByteArray::number(boundaries) + " and " + QByteArray::number(closings);

    const QByteArray text = HtmlText::toPlainText(fields.message);
    if (!text.isEmpty() && (!text.endsWith('\n') || text.endsWith("\n\n")))
        return "text does not end in one line break";
    if (text.contains(" \n") || text.contains("\t\n") || text.contains("\n\n\n") || text.startsWith('\n'))
        return "blank at a line's end or two blank lines in: " + text.left(200).toPercentEncoding(" <>&/=!-");
    return {};
}

const char *const kPieces[] = {
    "<", ">", "</", "<p>", "</p>", "<br>", "<div>", "<li>", "<ul>", "</ul>", "<ol>", "<blockquote>",
    "</blockquote>", "<pre>", "</pre>", "<table><tr><td>", "</td><td>", "<hr>", "<script>", "</script>",
    "<style>", "<!--", "-->", "<!DOCTYPE html>", "<a href='x>y'>", "&", "&amp;", "&#", "&#x", "&#0;", "&#150;",
    "&#1114112;", "&nbsp;", "&bogus;", "&eacute", " ", "  ", "\t", "\n", "\r\n", "\r", "\f", "From ",
    "\nFrom x", "\n>From y", "--=_veltra", "\n--=_veltra\n", "=?UTF-8?B?", "?=", "\x00", "\x01", "\x1b[1m",
    "\x7f", "\xc3\xa9", "\xe2\x80\xa8", "\xff", "\xc3", "word", "Gr\xc3\xb6\xc3\x9f" "e", "a@b", "<x@y>", "\"",
};

QByteArray hostile(QRandomGenerator &random, int pieces)
{
    QByteArray out;
    for (int i = 0; i < pieces; ++i) {
        if (random.bounded(50) == 0) {
            out += QByteArray(random.bounded(1, 2500), "ab "[random.bounded(3)]);
            continue;
        }
        const char *piece = kPieces[random.bounded(int(std::size(kPieces)))];
        out += piece[0] ? QByteArray(piece) : QByteArray(1, '\0');
    }
    return out;
}

// The four texts and the body of one message, cut out of fuzzer input at NUL-free points.
MboxMessage::Fields fieldsOf(const QByteArray &body, const QByteArray &author, const QByteArray &title,
                             const QByteArray &date, QByteArray *keep)
{
    *keep = body;
    MboxMessage::Fields fields;
    fields.messnum = 1 + body.size();
    fields.messauthor = QString::fromUtf8(author);
    fields.messtitle = QString::fromUtf8(title);
    fields.messdate = QString::fromUtf8(date);
    fields.message = *keep;
    return fields;
}

}

#ifdef VELTRA_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QByteArray> parts = input.split('\x1e');
    QByteArray body;
    const MboxMessage::Fields fields =
        fieldsOf(parts.value(0), parts.value(1), parts.value(2), parts.value(3), &body);
    if (const QByteArray why = fault(fields); !why.isEmpty()) {
        std::fprintf(stderr, "%s\n", why.constData());
        std::abort();
    }
    return 0;
}
#else
class FuzzMboxEntry : public QObject
{
    Q_OBJECT

private slots:
    void hostileMessagesMakeSoundEntries()
    {
        QRandomGenerator random(20261210);
        for (int n = 0; n < 20000; ++n) {
            QByteArray body;
            const MboxMessage::Fields fields =
                fieldsOf(hostile(random, random.bounded(1, 60)), hostile(random, random.bounded(0, 6)),
                         hostile(random, random.bounded(0, 6)), hostile(random, random.bounded(0, 3)), &body);
            const QByteArray why = fault(fields);
            QVERIFY2(why.isEmpty(), (why + "\nbody: " + body.left(300).toPercentEncoding(" <>&/=!-")).constData());
        }
    }
};

QTEST_GUILESS_MAIN(FuzzMboxEntry)
#include "fuzz_mboxentry.moc"
#endif
