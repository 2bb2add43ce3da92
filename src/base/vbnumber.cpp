// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/vbnumber.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Val also passes over line feeds, as the function it copies does.
bool isValBlank(QChar c)
{
    return isBlank(c) || c == u'\n';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

struct Scanned
{
    std::string ascii;  // sign, digits, '.', 'e', exponent: what from_chars reads
    qsizetype end = 0;  // index just past the last character taken
    bool hasDigits = false;
    // Decimal magnitude of the first significant digit plus the exponent; from_chars
    // reports overflow and underflow alike, this tells them apart.
    qint64 magnitude = 0;
};

// Reads the longest number starting at `pos`. With `blanksInside`, blanks between the
// characters of the number are passed over (Val); otherwise the number is contiguous.
Scanned scanNumber(QStringView text, qsizetype pos, bool blanksInside)
{
    Scanned s;
    const qsizetype n = text.size();
    auto skip = [&](qsizetype i) {
        while (blanksInside && i < n && isValBlank(text[i]))
            ++i;
        return i;
    };

    qsizetype i = skip(pos);
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            s.ascii += '-';
        i = skip(i + 1);
    }
    bool significant = false;
    qint64 intDigits = 0;
    qint64 leadingFractionZeros = 0;
    while (i < n && isDigit(text[i])) {
        s.ascii += char(text[i].unicode());
        s.hasDigits = true;
        if (text[i] != u'0')
            significant = true;
        if (significant)
            ++intDigits;
        s.end = i + 1;
        i = skip(i + 1);
    }
    if (i < n && text[i] == u'.') {
        s.ascii += '.';
        if (s.hasDigits)
            s.end = i + 1;
        i = skip(i + 1);
        while (i < n && isDigit(text[i])) {
            s.ascii += char(text[i].unicode());
            s.hasDigits = true;
            if (text[i] != u'0')
                significant = true;
            else if (!significant)
                ++leadingFractionZeros;
            s.end = i + 1;
            i = skip(i + 1);
        }
    }
    if (!s.hasDigits) {
        s.ascii.clear();
        return s;
    }
    s.magnitude = intDigits > 0 ? intDigits : -leadingFractionZeros;

    // An exponent counts only when at least one digit follows the letter and sign.
    if (i < n && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        qsizetype j = skip(i + 1);
        bool negative = false;
        if (j < n && (text[j] == u'+' || text[j] == u'-')) {
            negative = text[j] == u'-';
            j = skip(j + 1);
        }
        if (j < n && isDigit(text[j])) {
            std::string exponent = negative ? "e-" : "e";
            qint64 value = 0;
            while (j < n && isDigit(text[j])) {
                exponent += char(text[j].unicode());
                value = std::min<qint64>(value * 10 + (text[j].unicode() - u'0'), 1'000'000'000);
                s.end = j + 1;
                j = skip(j + 1);
            }
            s.ascii += exponent;
            s.magnitude += negative ? -value : value;
        }
    }
    return s;
}

// The value of a scanned number; out-of-range results become an infinity or a zero of
// the right sign.
double toDouble(const Scanned &s)
{
    double value = 0;
    const char *const first = s.ascii.data();
    const auto [ptr, ec] = std::from_chars(first, first + s.ascii.size(), value);
    Q_UNUSED(ptr);
    const bool negative = !s.ascii.empty() && s.ascii.front() == '-';
    if (ec == std::errc::result_out_of_range) {
        value = s.magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        return negative ? -value : value;
    }
    return ec == std::errc() ? value : 0.0;
}

QStringView trimBlanks(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.sliced(first, last - first);
}

// A whole text that is one number, blanks around it allowed.
std::optional<double> wholeNumber(QStringView text)
{
    const QStringView core = trimBlanks(text);
    const Scanned s = scanNumber(core, 0, false);
    if (!s.hasDigits || s.end != core.size())
        return std::nullopt;
    return toDouble(s);
}

template<typename Int> std::optional<Int> roundToInt(double value)
{
    const double r = VbNumber::roundHalfEven(value);
    if (!(r >= double(std::numeric_limits<Int>::min()) && r <= double(std::numeric_limits<Int>::max())))
        return std::nullopt;
    return Int(r);
}

}

namespace VbNumber {

std::optional<float> toSingle(QStringView text)
{
    const auto value = wholeNumber(text);
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    const float single = float(*value);
    if (!std::isfinite(single))
        return std::nullopt;
    return single;
}

std::optional<qint16> toInteger(QStringView text)
{
    const auto value = wholeNumber(text);
    if (!value)
        return std::nullopt;
    return roundToInt16(*value);
}

std::optional<bool> toBoolean(QStringView text)
{
    const QStringView trimmed = trimBlanks(text);
    if (trimmed.compare(u"True", Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(u"False", Qt::CaseInsensitive) == 0)
        return false;
    const auto value = wholeNumber(text);
    if (!value)
        return std::nullopt;
    return *value != 0;
}

double leadingNumber(QStringView text)
{
    const Scanned s = scanNumber(text, 0, true);
    return s.hasDigits ? toDouble(s) : 0.0;
}

std::optional<double> leadingNumberIfAny(QStringView text)
{
    const Scanned s = scanNumber(text, 0, true);
    if (!s.hasDigits)
        return std::nullopt;
    return toDouble(s);
}

double roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return value;
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction < 0.5)
        return below;
    if (fraction > 0.5)
        return below + 1;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

std::optional<qint16> roundToInt16(double value)
{
    return roundToInt<qint16>(value);
}

std::optional<qint32> roundToInt32(double value)
{
    return roundToInt<qint32>(value);
}

QString toText(float value)
{
    // A zero of either sign, and values no reader accepts, are written as 0.
    if (value == 0 || !std::isfinite(value))
        return QStringLiteral(" 0");
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    Q_UNUSED(ec);
    const QString digits = QString::fromLatin1(buffer, end - buffer);
    return value < 0 ? digits : QLatin1Char(' ') + digits;
}

QString toText(qint32 value)
{
    const QString digits = QString::number(value);
    return value < 0 ? digits : QLatin1Char(' ') + digits;
}

}
