#include "core/numbertext.h"

#include <QTest>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

// The conversions between field texts and numbers.
class tst_NumberText : public QObject
{
    Q_OBJECT

private slots:
    void toNumber_data();
    void toNumber();
    void fromNumber_data();
    void fromNumber();
    void fromWhole_data();
    void fromWhole();
    void toImax_data();
    void toImax();
    void grouped_data();
    void grouped();
    void groupedRoundTrip_data();
    void groupedRoundTrip();
    void fromGrouped_data();
    void fromGrouped();
    void fromGrouped32_data();
    void fromGrouped32();
    void numberTextReadsBack_data();
    void numberTextReadsBack();
};

Q_DECLARE_METATYPE(std::optional<double>)

namespace {

const QChar Comma(u',');
const QChar FullStop(u'.');
const QString Nbsp(QChar(0x00A0));
const double Largest = std::numeric_limits<double>::max();
const double SmallestSubnormal = std::numeric_limits<double>::denorm_min();

// Bit-for-bit, so that "the nearest double" and the sign of zero count.
bool sameDouble(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

QString describe(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g (%a)", value, value);
    return QString::fromLatin1(buffer);
}

} // namespace

void tst_NumberText::toNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<std::optional<double>>("expected");
    const std::optional<double> none;

    QTest::newRow("start X0") << "-1,4025" << Comma << std::optional(-1.4025);
    QTest::newRow("start Y0 with trailing zeros") << "0,0000" << Comma << std::optional(0.0);
    QTest::newRow("whole") << "-2" << Comma << std::optional(-2.0);
    QTest::newRow("plus sign") << "+0,5" << Comma << std::optional(0.5);
    QTest::newRow("minus zero") << "-0" << Comma << std::optional(-0.0);
    QTest::newRow("exponent form") << "1,25E-06" << Comma << std::optional(1.25e-6);
    QTest::newRow("small e, no sign") << "2e3" << Comma << std::optional(2000.0);
    QTest::newRow("exponent plus") << "7E+02" << Comma << std::optional(700.0);
    QTest::newRow("leading zeros") << "007,50" << Comma << std::optional(7.5);
    QTest::newRow("blanks around") << "  1,5  " << Comma << std::optional(1.5);
    QTest::newRow("tab and nbsp around") << "\t-2" + Nbsp << Comma << std::optional(-2.0);

    // Either separator reads under either setting, so the program's own
    // comma texts still read under full-stop settings.
    QTest::newRow("comma under comma") << "-1,4020" << Comma << std::optional(-1.402);
    QTest::newRow("full stop under comma") << "-1.4020" << Comma << std::optional(-1.402);
    QTest::newRow("comma under full stop") << "-1,4020" << FullStop << std::optional(-1.402);
    QTest::newRow("full stop under full stop") << "-1.4020" << FullStop << std::optional(-1.402);
    QTest::newRow("exponent form under full stop") << "1,25E-06" << FullStop << std::optional(1.25e-6);
    QTest::newRow("locale's own separator")
        << QStringLiteral("1\u066B5") << QChar(0x066B) << std::optional(1.5);

    // Nearest double, not an accumulation of digits.
    QTest::newRow("2^53+1 ties to even")
        << "9007199254740993" << Comma << std::optional(9007199254740992.0);
    QTest::newRow("long 0,1") << "0,1000000000000000055511151231257827" << Comma
                              << std::optional(0.1);
    QTest::newRow("largest double") << "1,7976931348623157E308" << Comma << std::optional(Largest);
    QTest::newRow("smallest subnormal") << "4,9E-324" << Comma << std::optional(SmallestSubnormal);
    QTest::newRow("tiny exponent rounds to zero") << "1E-999" << Comma << std::optional(0.0);
    QTest::newRow("tiny negative is minus zero") << "-2E-324" << Comma << std::optional(-0.0);

    QTest::newRow("empty") << "" << Comma << none;
    QTest::newRow("blanks only") << "   " << Comma << none;
    QTest::newRow("letters") << "abc" << Comma << none;
    QTest::newRow("group separators") << "1,2,3" << Comma << none;
    QTest::newRow("group separators under full stop") << "1,2,3" << FullStop << none;
    QTest::newRow("two separators mixed") << "1,2.3" << Comma << none;
    QTest::newRow("thousands grouped") << "1.000,5" << Comma << none;
    QTest::newRow("blank inside") << "1 000" << Comma << none;
    QTest::newRow("blank after sign") << "- 1" << Comma << none;
    QTest::newRow("beyond double range") << "1E999" << Comma << none;
    QTest::newRow("beyond double range, negative") << "-1E999" << Comma << none;
    QTest::newRow("rounds up past largest") << "1,7976931348623159E308" << Comma << none;
    QTest::newRow("400 digits") << QString(400, u'9') << Comma << none;
    QTest::newRow("nan") << "nan" << Comma << none;
    QTest::newRow("NaN") << "NaN" << Comma << none;
    QTest::newRow("inf") << "inf" << Comma << none;
    QTest::newRow("-inf") << "-inf" << Comma << none;
    QTest::newRow("Infinity") << "Infinity" << Comma << none;
    QTest::newRow("no digit before separator") << ",5" << Comma << none;
    QTest::newRow("no digit after separator") << "5," << Comma << none;
    QTest::newRow("no digit after full stop") << "5." << FullStop << none;
    QTest::newRow("sign only") << "-" << Comma << none;
    QTest::newRow("two signs") << "+-1" << Comma << none;
    QTest::newRow("exponent without digits") << "1E" << Comma << none;
    QTest::newRow("exponent sign without digits") << "1E+" << Comma << none;
    QTest::newRow("exponent without mantissa") << "E5" << Comma << none;
    QTest::newRow("fraction in exponent") << "1E2,5" << Comma << none;
    QTest::newRow("D exponent") << "1D5" << Comma << none;
    QTest::newRow("hexadecimal") << "0x1A" << Comma << none;
    QTest::newRow("hex float") << "0x1p3" << Comma << none;
    QTest::newRow("arabic-indic digit") << QStringLiteral("\u0661") << Comma << none;
    QTest::newRow("fullwidth digit") << QStringLiteral("\uFF11") << Comma << none;
}

void tst_NumberText::toNumber()
{
    QFETCH(QString, text);
    QFETCH(QChar, separator);
    QFETCH(std::optional<double>, expected);

    const std::optional<double> value = NumberText::toNumber(text, separator);
    QCOMPARE(value.has_value(), expected.has_value());
    if (value)
        QVERIFY2(sameDouble(*value, *expected), qPrintable(describe(*value)));
}

void tst_NumberText::fromNumber_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one too many digits") << -1.4023750000000001 << Comma << "-1,402375";
    QTest::newRow("full stop") << -1.402375 << FullStop << "-1.402375";
    QTest::newRow("leading zero") << 0.00025 << Comma << "0,00025";
    QTest::newRow("whole") << 400.0 << Comma << "400";
    QTest::newRow("no trailing zero") << -1.402 << Comma << "-1,402";
    QTest::newRow("half") << -0.5 << Comma << "-0,5";
    QTest::newRow("zero") << 0.0 << Comma << "0";
    QTest::newRow("minus zero") << -0.0 << Comma << "0";
    QTest::newRow("one third") << 1.0 / 3 << Comma << "0,333333333333333";
    QTest::newRow("two thirds rounds up") << 2.0 / 3 << Comma << "0,666666666666667";
    QTest::newRow("0,1 + 0,2") << 0.1 + 0.2 << Comma << "0,3";
    QTest::newRow("smallest plain") << 0.0001 << Comma << "0,0001";
    QTest::newRow("largest plain") << 123456789012345.6 << Comma << "123456789012346";
    QTest::newRow("10^14 plain") << 1e14 << Comma << "100000000000000";
    QTest::newRow("below 10^-4 in exponent form") << 1.25e-6 << Comma << "1,25E-06";
    QTest::newRow("exponent form, full stop") << 1.25e-6 << FullStop << "1.25E-06";
    QTest::newRow("10^-5") << 1e-5 << Comma << "1E-05";
    QTest::newRow("rounds up to 10^-4") << 0.000099999999999999995 << Comma << "0,0001";
    QTest::newRow("10^15") << 1e15 << Comma << "1E+15";
    QTest::newRow("rounds up to 10^15") << 999999999999999.5 << Comma << "1E+15";
    QTest::newRow("three exponent digits") << 1e100 << Comma << "1E+100";
    QTest::newRow("negative tiny") << -2.5e-300 << Comma << "-2,5E-300";
    QTest::newRow("smallest subnormal") << SmallestSubnormal << Comma << "4,94065645841247E-324";
    // Rounding the largest double to 15 digits would give 1,79769313486232E+308,
    // beyond the double range; it is rounded down instead so that it reads back.
    QTest::newRow("largest double rounds down") << Largest << Comma << "1,79769313486231E+308";
    QTest::newRow("lowest double rounds down") << -Largest << Comma << "-1,79769313486231E+308";
}

void tst_NumberText::fromNumber()
{
    QFETCH(double, value);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);

    QCOMPARE(NumberText::fromNumber(value, separator), expected);
}

void tst_NumberText::fromWhole_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("screen position") << qint64(305) << "305";
    QTest::newRow("negative") << qint64(-12) << "-12";
    QTest::newRow("zero") << qint64(0) << "0";
    QTest::newRow("no grouping") << qint64(2147483648) << "2147483648";
    QTest::newRow("lowest") << std::numeric_limits<qint64>::min() << "-9223372036854775808";
}

void tst_NumberText::fromWhole()
{
    QFETCH(qint64, value);
    QFETCH(QString, expected);

    QCOMPARE(NumberText::fromWhole(value), expected);
}

void tst_NumberText::toImax_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("expected");

    QTest::newRow("start value") << "300" << true << 300;
    QTest::newRow("blanks") << " 300 " << true << 300;
    QTest::newRow("exponent") << "3E2" << true << 300;
    QTest::newRow("zero") << "0" << true << 0;
    QTest::newRow("negative") << "-1" << true << -1;
    QTest::newRow("2,5 to even 2") << "2,5" << true << 2;
    QTest::newRow("3,5 to even 4") << "3,5" << true << 4;
    QTest::newRow("1,5 to even 2") << "1,5" << true << 2;
    QTest::newRow("0,5 to even 0") << "0,5" << true << 0;
    QTest::newRow("-2,5 to even -2") << "-2,5" << true << -2;
    QTest::newRow("2,51 up") << "2,51" << true << 3;
    QTest::newRow("full stop") << "3.5" << true << 4;
    QTest::newRow("highest") << "32767" << true << 32767;
    QTest::newRow("lowest") << "-32768" << true << -32768;
    QTest::newRow("rounds down to highest") << "32767,49" << true << 32767;
    QTest::newRow("rounds to even lowest") << "-32768,5" << true << -32768;
    QTest::newRow("one above") << "32768" << false << 0;
    QTest::newRow("one below") << "-32769" << false << 0;
    QTest::newRow("rounds up past highest") << "32767,5" << false << 0;
    QTest::newRow("rounds down past lowest") << "-32768,51" << false << 0;
    QTest::newRow("40000") << "40000" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("beyond double range") << "1E999" << false << 0;
}

void tst_NumberText::toImax()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, expected);

    const std::optional<std::int16_t> imax = NumberText::toImax(text, Comma);
    QCOMPARE(imax.has_value(), valid);
    if (imax)
        QCOMPARE(int(*imax), expected);
}

void tst_NumberText::grouped_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << qint64(0) << "." << "0";
    QTest::newRow("three digits") << qint64(999) << "." << "999";
    QTest::newRow("four digits") << qint64(1000) << "." << "1.000";
    QTest::newRow("points of a run, German") << qint64(213444) << "." << "213.444";
    QTest::newRow("points of a run, English") << qint64(213444) << "," << "213,444";
    QTest::newRow("points of a run, nbsp") << qint64(213444) << Nbsp << "213" + Nbsp + "444";
    QTest::newRow("negative") << qint64(-1000) << "." << "-1.000";
    QTest::newRow("highest 32-bit") << qint64(2147483647) << "." << "2.147.483.647";
    QTest::newRow("lowest 32-bit") << qint64(-2147483648LL) << "." << "-2.147.483.648";
    QTest::newRow("2^32") << qint64(4294967296LL) << "." << "4.294.967.296";
    QTest::newRow("highest 64-bit") << std::numeric_limits<qint64>::max() << "."
                                    << "9.223.372.036.854.775.807";
    QTest::newRow("lowest 64-bit") << std::numeric_limits<qint64>::min() << ","
                                   << "-9,223,372,036,854,775,808";
}

void tst_NumberText::grouped()
{
    QFETCH(qint64, value);
    QFETCH(QString, separator);
    QFETCH(QString, expected);

    QCOMPARE(NumberText::grouped(value, separator), expected);
}

void tst_NumberText::groupedRoundTrip_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("separator");

    const qint64 values[] = {
        0, 7, 12, 999, 1000, 99999, 213444, 1000000, -5, -1234567,
        2147483647, 2147483648LL, 4294967296LL, 98765432109876LL,
        std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::min(),
    };
    const QString separators[] = {QStringLiteral("."), QStringLiteral(","), Nbsp};
    for (const QString &separator : separators) {
        for (const qint64 value : values) {
            const QString tag = QStringLiteral("%1 sep U+%2").arg(value).arg(separator[0].unicode(), 4, 16, QChar(u'0'));
            QTest::newRow(qPrintable(tag)) << value << separator;
        }
    }
}

void tst_NumberText::groupedRoundTrip()
{
    QFETCH(qint64, value);
    QFETCH(QString, separator);

    const QString caption = NumberText::grouped(value, separator);
    const std::optional<std::int64_t> back = NumberText::fromGrouped(caption, separator);
    QVERIFY2(back.has_value(), qPrintable(caption));
    QCOMPARE(qint64(*back), value);
}

void tst_NumberText::fromGrouped_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("grouped") << "213.444" << "." << true << qint64(213444);
    QTest::newRow("plain digits") << "213444" << "." << true << qint64(213444);
    QTest::newRow("lblI plain") << "1" << "." << true << qint64(1);
    QTest::newRow("blanks") << " 1.000 " << "." << true << qint64(1000);
    QTest::newRow("nbsp groups") << "1" + Nbsp + "000" + Nbsp + "000" << Nbsp << true
                                 << qint64(1000000);
    QTest::newRow("negative") << "-1.000" << "." << true << qint64(-1000);
    QTest::newRow("lowest 64-bit") << "-9.223.372.036.854.775.808" << "." << true
                                   << std::numeric_limits<qint64>::min();
    QTest::newRow("beyond 64-bit") << "9.223.372.036.854.775.808" << "." << false << qint64(0);
    // Separators where grouped() never puts them are not the program's text.
    QTest::newRow("two separators in a row") << "1..2" << "." << false << qint64(0);
    QTest::newRow("groups of one") << "1.2.3" << "." << false << qint64(0);
    QTest::newRow("short last group") << "12.34" << "." << false << qint64(0);
    QTest::newRow("long first group") << "1234.567" << "." << false << qint64(0);
    QTest::newRow("trailing separator") << "1." << "." << false << qint64(0);
    QTest::newRow("leading separator") << ".123" << "." << false << qint64(0);
    QTest::newRow("separator only") << "." << "." << false << qint64(0);
    QTest::newRow("other locale's separator") << "1,234" << "." << false << qint64(0);
    QTest::newRow("decimals") << "1.234,5" << "." << false << qint64(0);
    QTest::newRow("empty") << "" << "." << false << qint64(0);
    QTest::newRow("letters") << "abc" << "." << false << qint64(0);
}

void tst_NumberText::fromGrouped()
{
    QFETCH(QString, caption);
    QFETCH(QString, separator);
    QFETCH(bool, valid);
    QFETCH(qint64, expected);

    const std::optional<std::int64_t> value = NumberText::fromGrouped(caption, separator);
    QCOMPARE(value.has_value(), valid);
    if (value)
        QCOMPARE(qint64(*value), expected);
}

void tst_NumberText::fromGrouped32_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("expected");

    QTest::newRow("highest") << "2.147.483.647" << true << 2147483647;
    QTest::newRow("lowest") << "-2.147.483.648" << true << int(-2147483648LL);
    QTest::newRow("one above") << "2.147.483.648" << false << 0;
    QTest::newRow("one below") << "-2.147.483.649" << false << 0;
    QTest::newRow("2^32 would wrap to 0") << "4.294.967.296" << false << 0;
    QTest::newRow("plain") << "5994" << true << 5994;
    QTest::newRow("misgrouped") << "59.94" << false << 0;
}

void tst_NumberText::fromGrouped32()
{
    QFETCH(QString, caption);
    QFETCH(bool, valid);
    QFETCH(int, expected);

    const std::optional<std::int32_t> value = NumberText::fromGrouped32(caption, u".");
    QCOMPARE(value.has_value(), valid);
    if (value)
        QCOMPARE(int(*value), expected);
}

namespace {

constexpr int PropertySamples = 100000;
constexpr std::uint64_t PropertySeed = 0x5155'4952'4C42'4155; // fixed: failures reproduce

double fromBits(std::uint64_t bits)
{
    return std::bit_cast<double>(bits);
}

template <typename... Args>
double fromText(const char *format, Args... args)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return std::strtod(buffer, nullptr);
}

// A spread of doubles where number-to-text conversions go wrong: every
// finite bit pattern, each power of ten and its neighbours, values just
// beside a 15-digit rounding boundary, exact ties, subnormals and the
// largest doubles, all with both signs.
std::vector<double> propertySamples()
{
    std::mt19937_64 random(PropertySeed);
    std::vector<double> samples;
    samples.reserve(PropertySamples);
    auto add = [&samples, &random](double value) {
        samples.push_back((random() & 1) ? -value : value);
    };
    constexpr std::uint64_t Mantissa = (std::uint64_t(1) << 52) - 1;
    constexpr std::uint64_t LargestExponent = std::uint64_t(0x7FE) << 52;
    std::uniform_int_distribution<int> decimalExponent(-320, 307);
    std::uniform_int_distribution<long long> fifteenDigits(100000000000000LL, 999999999999999LL);

    while (samples.size() < PropertySamples) {
        switch (samples.size() % 8) {
        case 0: {
            const double value = fromBits(random() & ~(std::uint64_t(1) << 63));
            if (std::isfinite(value))
                add(value);
            break;
        }
        case 1: {
            const double power = fromText("1e%d", decimalExponent(random));
            const int steps = int(random() % 5) - 2;
            double value = power;
            for (int i = 0; i < std::abs(steps); ++i)
                value = std::nextafter(value, steps < 0 ? 0.0 : Largest);
            add(value);
            break;
        }
        case 2:
        case 3: {
            // d,dddddddddddddd5 × 10^e: halfway between two 15-digit texts,
            // then nudged by up to one ulp either way.
            const long long digits = fifteenDigits(random);
            double value = fromText("%lld5e%d", digits, decimalExponent(random) - 15);
            if (random() & 1)
                value = std::nextafter(value, (random() & 1) ? 0.0 : Largest);
            if (std::isfinite(value))
                add(value);
            break;
        }
        case 4:
            // Exact ties: a 15-digit whole number and a half.
            add(double(fifteenDigits(random)) + 0.5);
            break;
        case 5:
            add(fromBits(random() & Mantissa));
            break;
        case 6:
            add(fromBits(LargestExponent | (random() & Mantissa)));
            break;
        case 7:
            // The top 64 doubles, one ulp (2^971) apart; about 35 of them
            // round beyond the double range at 15 digits.
            add(Largest - double(random() % 64) * std::ldexp(1.0, 971));
            break;
        }
    }
    return samples;
}

// The value a 15-significant-digit text of `value` denotes. For the very
// largest doubles that rounding lies beyond the double range; there the
// text is rounded down to 1,79769313486231E+308 instead, and that is what
// must read back.
double roundedTo15Digits(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", value);
    const double rounded = std::strtod(buffer, nullptr);
    if (std::isinf(rounded))
        return std::copysign(1.79769313486231e308, value);
    return rounded;
}

} // namespace

void tst_NumberText::numberTextReadsBack_data()
{
    QTest::addColumn<QChar>("separator");

    QTest::newRow("comma") << Comma;
    QTest::newRow("full stop") << FullStop;
}

void tst_NumberText::numberTextReadsBack()
{
    QFETCH(QChar, separator);
    const QChar otherSeparator = separator == Comma ? FullStop : Comma;

    static const std::vector<double> samples = propertySamples();
    QCOMPARE(int(samples.size()), PropertySamples);
    for (const double value : samples) {
        const QString text = NumberText::fromNumber(value, separator);
        const std::optional<double> back = NumberText::toNumber(text, separator);
        const QString context = describe(value) + " -> " + text;
        QVERIFY2(back.has_value(), qPrintable(context));
        QVERIFY2(*back == roundedTo15Digits(value), qPrintable(context + " -> " + describe(*back)));
        QVERIFY2(!text.contains(otherSeparator), qPrintable(context));
    }
}

QTEST_APPLESS_MAIN(tst_NumberText)

#include "tst_numbertext.moc"
