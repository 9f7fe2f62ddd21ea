#include "settings/number_rule.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

quint64 bitsOf(double value)
{
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double doubleOf(quint64 bits)
{
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

class TestNumberRule : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void parseWhole_data();
    void parseWhole();
    void render_data();
    void render();
    void renderReadsBackToTheSameValue();
};

void TestNumberRule::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("minutes");

    QTest::newRow("whole") << u"10"_s << 10.0;
    QTest::newRow("fraction") << u"2.5"_s << 2.5;
    QTest::newRow("trailing zero of a fraction") << u"12.50"_s << 12.5;
    QTest::newRow("leading zeros") << u"007"_s << 7.0;
    QTest::newRow("unit after a blank") << u" 10分"_s << 10.0;
    QTest::newRow("unit") << u"10分"_s << 10.0;
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("letters") << u"abc"_s << 0.0;
    QTest::newRow("number after letters") << u"abc10"_s << 0.0;
    QTest::newRow("no leading digit") << u".5"_s << 0.5;
    QTest::newRow("no digit after the point") << u"5."_s << 5.0;
    QTest::newRow("point alone") << u"."_s << 0.0;
    QTest::newRow("negative") << u"-3"_s << -3.0;
    QTest::newRow("plus sign") << u"+4"_s << 4.0;
    QTest::newRow("sign alone") << u"-"_s << 0.0;
    QTest::newRow("blank after the sign") << u"- 5"_s << -5.0;
    QTest::newRow("exponent") << u"1e2"_s << 100.0;
    QTest::newRow("capital exponent") << u"1E2"_s << 100.0;
    QTest::newRow("negative exponent") << u"25e-1"_s << 2.5;
    QTest::newRow("exponent after a bare point") << u"1.e1"_s << 10.0;
    QTest::newRow("exponent without digits") << u"1e"_s << 1.0;
    QTest::newRow("exponent sign without digits") << u"3e+"_s << 3.0;
    QTest::newRow("exponent alone") << u"e5"_s << 0.0;
    QTest::newRow("overflow") << u"1e999"_s << 0.0;
    QTest::newRow("negative overflow") << u"-1e999"_s << 0.0;
    QTest::newRow("underflow") << u"1e-999"_s << 0.0;
    QTest::newRow("second point stops") << u"1.2.3"_s << 1.2;
    QTest::newRow("comma is not a point") << u"1,5"_s << 1.0;
    QTest::newRow("tabs and line feeds before") << u"\t\n 7"_s << 7.0;
    QTest::newRow("blank inside the digits") << u"1 0"_s << 10.0;
    QTest::newRow("tab inside the digits") << u"1\t2"_s << 12.0;
    QTest::newRow("line feed inside the digits") << u"1\n5"_s << 15.0;
    QTest::newRow("blanks around the exponent") << u"1 e 2"_s << 100.0;
    QTest::newRow("carriage return is not passed over") << u"\r10"_s << 0.0;
    QTest::newRow("carriage return stops") << u"10\r5"_s << 10.0;
    QTest::newRow("full-width digits") << u"１０"_s << 0.0;
    QTest::newRow("full-width point stops") << u"2．5"_s << 2.0;
    QTest::newRow("hexadecimal") << u"0x10"_s << 0.0;
    QTest::newRow("infinity") << u"inf"_s << 0.0;
    QTest::newRow("not a number") << u"nan"_s << 0.0;
    QTest::newRow("long fraction") << u"0.1000000000000000055511151231257827"_s << 0.1;
}

void TestNumberRule::parse()
{
    QFETCH(QString, text);
    QFETCH(double, minutes);
    const double value = parseNumber(text);
    // Exact: the rule must land on the same double as the literal, not merely near it.
    QCOMPARE(bitsOf(value), bitsOf(minutes));
}

void TestNumberRule::parseWhole_data()
{
    // The settings file's numbers: the same scanner, but the number must fill the item, with no blank in it.
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<double>>("value");

    const std::optional<double> none;
    QTest::newRow("whole") << u"10"_s << std::optional<double>(10);
    QTest::newRow("fraction") << u"2.5"_s << std::optional<double>(2.5);
    QTest::newRow("no leading digit") << u".5"_s << std::optional<double>(0.5);
    QTest::newRow("no digit after the point") << u"5."_s << std::optional<double>(5);
    QTest::newRow("signs") << u"-0.125"_s << std::optional<double>(-0.125);
    QTest::newRow("plus sign") << u"+4"_s << std::optional<double>(4);
    QTest::newRow("exponent") << u"1e1"_s << std::optional<double>(10);
    QTest::newRow("signed exponent") << u"25E-1"_s << std::optional<double>(2.5);
    QTest::newRow("empty") << QString() << none;
    QTest::newRow("point alone") << u"."_s << none;
    QTest::newRow("unit") << u"10分"_s << none;
    QTest::newRow("blank before") << u" 10"_s << none;
    QTest::newRow("blank inside") << u"1 0"_s << none;
    QTest::newRow("exponent without digits") << u"1e"_s << none;
    QTest::newRow("two points") << u"1.2.3"_s << none;
    QTest::newRow("full-width digits") << u"１０"_s << none;
    QTest::newRow("too large") << u"1e400"_s << none;
    QTest::newRow("too small") << u"1e-400"_s << none;
}

void TestNumberRule::parseWhole()
{
    QFETCH(QString, text);
    QFETCH(std::optional<double>, value);
    QCOMPARE(parseWholeNumber(text), value);
}

void TestNumberRule::render_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("whole") << 10.0 << u"10"_s;
    QTest::newRow("whole with zeros") << 100.0 << u"100"_s;
    QTest::newRow("fraction") << 2.5 << u"2.5"_s;
    QTest::newRow("leading zero kept") << 0.5 << u"0.5"_s;
    QTest::newRow("one tenth") << 0.1 << u"0.1"_s;
    QTest::newRow("small, no exponent") << 1e-7 << u"0.0000001"_s;
    QTest::newRow("large, no exponent") << 1e21 << u"1000000000000000000000"_s;
    QTest::newRow("negative") << -0.125 << u"-0.125"_s;
    QTest::newRow("zero") << 0.0 << u"0"_s;
    QTest::newRow("negative zero") << -0.0 << u"0"_s;
    QTest::newRow("a third") << 1.0 / 3.0 << u"0.3333333333333333"_s;
    QTest::newRow("five-character field maximum") << 99999.0 << u"99999"_s;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << u"0"_s;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << u"0"_s;
    QTest::newRow("smallest subnormal") << std::numeric_limits<double>::denorm_min()
                                        << u"0."_s + QString(323, u'0') + u'5';
}

void TestNumberRule::render()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(renderNumber(value), text);
}

void TestNumberRule::renderReadsBackToTheSameValue()
{
    // Plain decimal: an optional "-", digits, and a fraction only when it has a last non-zero digit.
    static const QRegularExpression plain(u"^-?(0|[1-9][0-9]*)(\\.[0-9]*[1-9])?$"_s);
    QRandomGenerator random(20240611);
    int checked = 0;
    for (int i = 0; i < 20000; ++i) {
        double value = 0;
        switch (i % 3) {
        case 0: // any finite double, subnormals included
            value = doubleOf(random.generate64());
            break;
        case 1: // what a user types into a five-character field
            value = double(random.bounded(100000)) / double(1 + random.bounded(1000));
            break;
        default: // spread over the whole range of magnitudes
            value = std::ldexp(random.generateDouble(), int(random.bounded(2100)) - 1075);
            break;
        }
        if (!std::isfinite(value))
            continue;
        const QString text = renderNumber(value);
        QVERIFY2(plain.match(text).hasMatch(), qPrintable(text));
        const double back = parseNumber(text);
        const double expected = value == 0.0 ? 0.0 : value; // -0 is written as 0
        QVERIFY2(bitsOf(back) == bitsOf(expected), qPrintable(u"%1 read back as %2"_s.arg(text).arg(back, 0, 'g', 17)));
        ++checked;
    }
    QVERIFY(checked > 19000);
}

QTEST_GUILESS_MAIN(TestNumberRule)
#include "test_number_rule.moc"
