// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/cp1252.h"

#include <QSysInfo>
#include <QtGlobal>

#include <algorithm>
#include <iconv.h>

namespace {

constexpr bool isUndefinedByte(uint c)
{
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

const char *utf16Name()
{
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
}

// One conversion descriptor per direction and thread: opening one loads a gconv module,
// and a descriptor carries state, so it is neither rebuilt per call nor shared.
class Iconv final
{
public:
    Iconv(const char *to, const char *from)
        : m_handle(iconv_open(to, from))
    {
        if (!valid())
            qWarning("iconv cannot convert from %s to %s; Windows-1252 is treated as Latin-1", from, to);
    }
    ~Iconv()
    {
        if (valid())
            iconv_close(m_handle);
    }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;

    bool valid() const { return m_handle != iconv_t(-1); }
    iconv_t get() const { return m_handle; }

private:
    iconv_t m_handle;
};

Iconv &decoder()
{
    thread_local Iconv instance(utf16Name(), "WINDOWS-1252");
    return instance;
}

Iconv &encoder()
{
    thread_local Iconv instance("WINDOWS-1252", utf16Name());
    return instance;
}

// glibc's iconv converts ahead into an internal buffer of several kilobytes and redoes
// that work when it meets a character it cannot convert, so one call per failure over
// the whole rest of the text makes texts full of such characters very slow (about 7 us a
// character). Input is therefore handed over in slices that start small after a failure
// and grow while conversion succeeds.
class SliceSize final
{
public:
    qsizetype next(qsizetype remaining) const { return std::min(remaining, m_size); }
    void succeeded() { m_size = std::min(m_size * 2, kMax); }
    void failed() { m_size = kMin; }

private:
    static constexpr qsizetype kMin = 32;
    static constexpr qsizetype kMax = 4096;
    qsizetype m_size = kMax;
};

enum class Fallback { QuestionMark, HtmlReference };

constexpr char16_t kHighestInPage = 0x2122;

// Longest fallback: "&#1114111;".
constexpr qsizetype kMaxFallbackBytes = 10;

qsizetype writeFallback(char *out, char32_t codePoint, Fallback fallback)
{
    if (fallback == Fallback::QuestionMark) {
        *out = '?';
        return 1;
    }
    char digits[8];
    int count = 0;
    do {
        digits[count++] = char('0' + codePoint % 10);
        codePoint /= 10;
    } while (codePoint != 0);
    qsizetype n = 0;
    out[n++] = '&';
    out[n++] = '#';
    while (count > 0)
        out[n++] = digits[--count];
    out[n++] = ';';
    return n;
}

QByteArray encodeWith(QStringView text, Fallback fallback)
{
    const qsizetype units = text.size();
    QByteArray out;
    qsizetype written = 0;
    // Every character the code page holds takes one byte; only fallbacks need more.
    auto makeRoom = [&](qsizetype bytes) {
        if (written + bytes > out.size())
            out.resize(std::max(written + bytes, out.size() * 2));
    };
    qsizetype index = 0;
    Iconv &conv = encoder();
    SliceSize slice;
    while (index < units) {
        makeRoom(units - index + kMaxFallbackBytes);
        if (conv.valid()) {
            const qsizetype count = slice.next(units - index);
            char *in = reinterpret_cast<char *>(const_cast<char16_t *>(text.utf16() + index));
            size_t inLeft = size_t(count) * 2;
            char *outPtr = out.data() + written;
            size_t outLeft = size_t(out.size() - written);
            const size_t result = iconv(conv.get(), &in, &inLeft, &outPtr, &outLeft);
            written = outPtr - out.constData();
            index += count - qsizetype(inLeft / 2);
            if (result != size_t(-1)) {
                slice.succeeded();
                continue;
            }
            // EILSEQ: not in the code page, or a lone surrogate; EINVAL: a high surrogate
            // ends the slice (its partner, if any, is looked up below). E2BIG cannot
            // happen, as every unit takes at most one byte.
            slice.failed();
        }

        // Whole runs of characters beyond the page's highest one (U+2122, the trade mark
        // sign) are written here without asking iconv again, which keeps texts in other
        // scripts fast.
        do {
            char32_t codePoint = text[index].unicode();
            qsizetype length = 1;
            if (QChar::isHighSurrogate(codePoint) && index + 1 < units && text[index + 1].isLowSurrogate()) {
                codePoint = QChar::surrogateToUcs4(text[index], text[index + 1]);
                length = 2;
            } else if (QChar::isSurrogate(codePoint)) {
                codePoint = 0xFFFD;
            }
            makeRoom(kMaxFallbackBytes);
            if (isUndefinedByte(codePoint) || (!conv.valid() && codePoint < 0x100))
                out[written++] = char(codePoint);
            else
                written += writeFallback(out.data() + written, codePoint, fallback);
            index += length;
        } while (index < units && text[index].unicode() > kHighestInPage);
    }
    out.resize(written);
    return out;
}

}

namespace Cp1252 {

QString decode(QByteArrayView bytes)
{
    const qsizetype size = bytes.size();
    // Every byte decodes to one UTF-16 unit, so iconv writes straight into the result.
    QString out(size, Qt::Uninitialized);
    char16_t *const base = reinterpret_cast<char16_t *>(out.data());
    qsizetype index = 0;
    Iconv &conv = decoder();
    SliceSize slice;
    while (index < size) {
        if (conv.valid()) {
            const qsizetype count = slice.next(size - index);
            char *in = const_cast<char *>(bytes.data() + index);
            size_t inLeft = size_t(count);
            char *outPtr = reinterpret_cast<char *>(base + index);
            size_t outLeft = size_t(count) * 2;
            const size_t result = iconv(conv.get(), &in, &inLeft, &outPtr, &outLeft);
            index += count - qsizetype(inLeft);
            if (result != size_t(-1)) {
                slice.succeeded();
                continue;
            }
            slice.failed();
        }
        // An undefined byte, or any byte when iconv is missing: its own code point.
        base[index] = char16_t(uchar(bytes[index]));
        ++index;
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
