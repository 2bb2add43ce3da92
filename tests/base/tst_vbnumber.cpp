// SPDX-License-Identifier: GPL-3.0-or-later
// Numeric conversions as the settings reader and the "#" search term use them.
#include "base/vbnumber.h"

#include <QtTest>

#include <cmath>
#include <limits>

using OptFloat = std::optional<float>;
using OptInt16 = std::optional<qint16>;
using OptBool = std::optional<bool>;
Q_DECLARE_METATYPE(OptFloat)
Q_DECLARE_METATYPE(OptInt16)
Q_DECLARE_METATYPE(OptBool)

namespace QTest {
template<typename T> char *optionalToString(const std::optional<T> &value)
{
    return value ? toString(*value) : qstrdup("nullopt");
}
template<> char *toString(const OptFloat &value) { return optionalToString(value); }
template<> char *toString(const OptInt16 &value) { return optionalToString(value); }
template<> char *toString(const OptBool &value) { return optionalToString(value); }
template<> char *toString(const std::optional<qint32> &value) { return optionalToString(value); }
}

class TestVbNumber : public QObject
{
    Q_OBJECT

private slots:
    void toSingle_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<OptFloat>("expected");
        QTest::newRow("integer") << "1500" << OptFloat(1500);
        QTest::newRow("sign place") << " 1500" << OptFloat(1500);
        QTest::newRow("blanks and tab around") << "\t 1500  " << OptFloat(1500);
        QTest::newRow("negative") << "-15" << OptFloat(-15);
        QTest::newRow("plus") << "+15" << OptFloat(15);
        QTest::newRow("fraction") << "1.5" << OptFloat(1.5f);
        QTest::newRow("leading point") << ".25" << OptFloat(0.25f);
        QTest::newRow("trailing point") << "7." << OptFloat(7);
        QTest::newRow("exponent") << "1E3" << OptFloat(1000);
        QTest::newRow("exponent lower, signed") << "25e-1" << OptFloat(2.5f);
        QTest::newRow("D exponent") << "2D2" << OptFloat(200);
        QTest::newRow("tiny underflows to zero") << "1e-400" << OptFloat(0);
        QTest::newRow("empty") << "" << OptFloat();
        QTest::newRow("blanks only") << "   " << OptFloat();
        QTest::newRow("letters") << "abc" << OptFloat();
        QTest::newRow("trailing letters") << "12abc" << OptFloat();
        QTest::newRow("inner blank") << "1 5" << OptFloat();
        QTest::newRow("point alone") << "." << OptFloat();
        QTest::newRow("sign alone") << "-" << OptFloat();
        QTest::newRow("two points") << "1.2.3" << OptFloat();
        QTest::newRow("exponent without digits") << "1e" << OptFloat();
        QTest::newRow("beyond single range") << "1e39" << OptFloat();
        QTest::newRow("beyond double range") << "1e400" << OptFloat();
        QTest::newRow("infinity word") << "inf" << OptFloat();
        QTest::newRow("nan word") << "nan" << OptFloat();
        QTest::newRow("hex prefix") << "&H10" << OptFloat();
        QTest::newRow("comma decimal") << "1,5" << OptFloat();
    }
    void toSingle()
    {
        QFETCH(QString, text);
        QFETCH(OptFloat, expected);
        QCOMPARE(VbNumber::toSingle(text), expected);
    }

    void toInteger_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<OptInt16>("expected");
        QTest::newRow("zero") << " 0" << OptInt16(0);
        QTest::newRow("two") << " 2" << OptInt16(2);
        QTest::newRow("negative") << "-7" << OptInt16(-7);
        QTest::newRow("half down to even") << "2.5" << OptInt16(2);
        QTest::newRow("half up to even") << "3.5" << OptInt16(4);
        QTest::newRow("negative half") << "-2.5" << OptInt16(-2);
        QTest::newRow("not half") << "2.51" << OptInt16(3);
        QTest::newRow("largest") << "32767" << OptInt16(32767);
        QTest::newRow("smallest") << "-32768" << OptInt16(-32768);
        QTest::newRow("rounds over the top") << "32767.5" << OptInt16();
        QTest::newRow("too large") << "32768" << OptInt16();
        QTest::newRow("too small") << "-32769" << OptInt16();
        QTest::newRow("text") << "Normal" << OptInt16();
        QTest::newRow("empty") << "" << OptInt16();
    }
    void toInteger()
    {
        QFETCH(QString, text);
        QFETCH(OptInt16, expected);
        QCOMPARE(VbNumber::toInteger(text), expected);
    }

    void toBoolean_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<OptBool>("expected");
        QTest::newRow("True") << "True" << OptBool(true);
        QTest::newRow("False") << "False" << OptBool(false);
        QTest::newRow("upper") << "TRUE" << OptBool(true);
        QTest::newRow("mixed") << "fAlSe" << OptBool(false);
        QTest::newRow("blanks around") << "  True " << OptBool(true);
        QTest::newRow("minus one") << "-1" << OptBool(true);
        QTest::newRow("zero") << " 0" << OptBool(false);
        QTest::newRow("fraction is non-zero") << "0.25" << OptBool(true);
        QTest::newRow("zero fraction") << "0.0" << OptBool(false);
        QTest::newRow("yes") << "Yes" << OptBool();
        QTest::newRow("prefix of True") << "Tru" << OptBool();
        QTest::newRow("number and text") << "1x" << OptBool();
        QTest::newRow("empty") << "" << OptBool();
    }
    void toBoolean()
    {
        QFETCH(QString, text);
        QFETCH(OptBool, expected);
        QCOMPARE(VbNumber::toBoolean(text), expected);
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("digits then letters") << "42abc" << 42.0;
        QTest::newRow("blanks inside") << " 4 2" << 42.0;
        QTest::newRow("blank after sign") << "- 3" << -3.0;
        QTest::newRow("tab and line feed") << "1\t2\n3" << 123.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("negative") << "-3" << -3.0;
        QTest::newRow("plus") << "+8" << 8.0;
        QTest::newRow("two signs") << "+-3" << 0.0;
        QTest::newRow("fraction") << "4.5" << 4.5;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("leading point") << ".5x" << 0.5;
        QTest::newRow("point alone") << "." << 0.0;
        QTest::newRow("exponent") << "1.5e2" << 150.0;
        QTest::newRow("exponent with blanks") << "1 e 2" << 100.0;
        QTest::newRow("dangling exponent") << "7e" << 7.0;
        QTest::newRow("dangling exponent sign") << "7e-x" << 7.0;
        QTest::newRow("hex prefix is not read") << "&H10" << 0.0;
        QTest::newRow("comma stops") << "1,5" << 1.0;
        QTest::newRow("underflow") << "1e-999" << 0.0;
        QTest::newRow("overflow") << "1e999" << std::numeric_limits<double>::infinity();
        QTest::newRow("negative overflow") << "-9e9999999999999999999" << -std::numeric_limits<double>::infinity();
        QTest::newRow("long fraction, huge exponent") << "0.0001e310" << 1e306;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(VbNumber::leadingNumber(text), expected);
    }

    void roundHalfEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");
        QTest::newRow("4.5") << 4.5 << 4.0;
        QTest::newRow("5.5") << 5.5 << 6.0;
        QTest::newRow("2.5") << 2.5 << 2.0;
        QTest::newRow("-2.5") << -2.5 << -2.0;
        QTest::newRow("-3.5") << -3.5 << -4.0;
        QTest::newRow("0.5") << 0.5 << 0.0;
        QTest::newRow("-0.5") << -0.5 << 0.0;
        QTest::newRow("below half") << 4.4999999 << 4.0;
        QTest::newRow("above half") << 4.5000001 << 5.0;
        QTest::newRow("negative above half") << -4.6 << -5.0;
        QTest::newRow("large whole") << 9007199254740993.0 << 9007199254740993.0;
    }
    void roundHalfEven()
    {
        QFETCH(double, value);
        QFETCH(double, expected);
        QCOMPARE(VbNumber::roundHalfEven(value), expected);
    }

    void roundToInt32()
    {
        QCOMPARE(VbNumber::roundToInt32(2147483647.0), std::optional<qint32>(2147483647));
        QCOMPARE(VbNumber::roundToInt32(-2147483648.5), std::optional<qint32>(-2147483648));
        QCOMPARE(VbNumber::roundToInt32(2147483647.5), std::nullopt);
        QCOMPARE(VbNumber::roundToInt32(-2147483649.0), std::nullopt);
        QCOMPARE(VbNumber::roundToInt32(std::numeric_limits<double>::infinity()), std::nullopt);
        QCOMPARE(VbNumber::roundToInt32(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
        // The "#" term path: text after '#' -> leading number -> whole message number.
        QCOMPARE(VbNumber::roundToInt32(VbNumber::leadingNumber(u"4.5")), std::optional<qint32>(4));
        QCOMPARE(VbNumber::roundToInt32(VbNumber::leadingNumber(u"5.5")), std::optional<qint32>(6));
        QCOMPARE(VbNumber::roundToInt32(VbNumber::leadingNumber(u"99999999999")), std::nullopt);
    }

    void toText_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("positive") << 1500.0f << " 1500";
        QTest::newRow("negative") << -15.0f << "-15";
        QTest::newRow("zero") << 0.0f << " 0";
        QTest::newRow("negative zero") << -0.0f << " 0";
        QTest::newRow("fraction") << 1.5f << " 1.5";
        QTest::newRow("shortest form") << 0.1f << " 0.1";
        QTest::newRow("not finite") << std::numeric_limits<float>::infinity() << " 0";
    }
    void toText()
    {
        QFETCH(float, value);
        QFETCH(QString, expected);
        QCOMPARE(VbNumber::toText(value), expected);
        if (std::isfinite(value))
            QCOMPARE(VbNumber::toSingle(VbNumber::toText(value)), OptFloat(value == 0 ? 0.0f : value));
    }

    void toTextRoundTripsEverySingle()
    {
        // A sample spread over the whole range, to catch a formatting that loses digits.
        for (float v : {3.4028235e38f, 1.17549435e-38f, 1e-45f, 123456.79f, -98765.4321f, 16777217.0f}) {
            const auto back = VbNumber::toSingle(VbNumber::toText(v));
            QVERIFY2(back && *back == v, qPrintable(VbNumber::toText(v)));
        }
        QCOMPARE(VbNumber::toText(qint32(0)), QStringLiteral(" 0"));
        QCOMPARE(VbNumber::toText(qint32(-2)), QStringLiteral("-2"));
    }
};

QTEST_APPLESS_MAIN(TestVbNumber)
#include "tst_vbnumber.moc"
