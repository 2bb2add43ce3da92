// SPDX-License-Identifier: GPL-3.0-or-later
// Windows-1252 by hand, through the 32 bytes (0x80-0x9F) where it differs from Latin-1:
// the files are the earlier program's and must come back byte for byte, and a table of
// 32 entries is faster and surer than a converter with fallbacks bolted on.
#include "base/cp1252.h"

#include <array>

namespace {

// The characters of 0x80-0x9F; the five bytes the code page leaves undefined keep their
// own code points, so that encoding gives them back unchanged.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};

// The byte of a character, or -1 when the code page has none.
int byteOf(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c < 0x100))
        return c;
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c)
            return int(0x80 + i);
    }
    return -1;
}

enum class Fallback { QuestionMark, HtmlReference };

void appendFallback(QByteArray &out, char32_t codePoint, Fallback fallback)
{
    if (fallback == Fallback::QuestionMark) {
        out += '?';
        return;
    }
    out += "&#";
    out += QByteArray::number(uint(codePoint));
    out += ';';
}

QByteArray encodeWith(QStringView text, Fallback fallback)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (const int byte = byteOf(unit); byte >= 0) {
            out += char(byte);
            continue;
        }
        char32_t codePoint = unit;
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(unit, text[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            codePoint = 0xFFFD;
        }
        appendFallback(out, codePoint, fallback);
    }
    return out;
}

}

namespace Cp1252 {

QString decode(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t *const units = reinterpret_cast<char16_t *>(out.data());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar byte = uchar(bytes[i]);
        units[i] = byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t(byte);
    }
    return out;
}

QByteArray encode(QStringView text)
{
    return encodeWith(text, Fallback::QuestionMark);
}

QByteArray encodeHtml(QStringView text)
{
    return encodeWith(text, Fallback::HtmlReference);
}

}
