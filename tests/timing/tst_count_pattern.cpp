#include "count_pattern.h"

#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

class TestCountPattern : public QObject {
    Q_OBJECT
private slots:
    void oneLine_data();
    void oneLine();
    void twoLine_data();
    void twoLine();
    void freePattern_data();
    void freePattern();
    void roundHalfEven_data();
    void roundHalfEven();
};

namespace {

QString spaces(int n)
{
    return QString(n, u' ');
}

const QString lecture = u"講演の開始から"_s;     // 7 full-width characters
const QString remaining = u"発表時間終了まで"_s; // 8

} // namespace

void TestCountPattern::oneLine_data()
{
    QTest::addColumn<QString>("heading");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QString>("shown");

    // The fill makes every heading of full-width characters as wide as eight of them.
    QTest::newRow("empty heading") << QString() << qint64(0) << spaces(17) + u"00分00秒"_s;
    QTest::newRow("4 characters") << u"発表時間"_s << qint64(125) << u"発表時間"_s + spaces(9) + u"02分05秒"_s;
    QTest::newRow("7 characters") << lecture << qint64(480) << lecture + spaces(3) + u"08分00秒"_s;
    QTest::newRow("8 characters") << remaining << qint64(120) << remaining + u" 02分00秒"_s;
    QTest::newRow("9 code units: no fill, no cut") << u"ABCDEFGHI"_s << qint64(59) << u"ABCDEFGHI 00分59秒"_s;
    QTest::newRow("21 code units") << u"講演時間の超過は講演時間の超過は講演時間の"_s << qint64(61)
                                   << u"講演時間の超過は講演時間の超過は講演時間の 01分01秒"_s;
    QTest::newRow("surrogate pair counts as two units") << u"𠮷"_s << qint64(1) << u"𠮷"_s + spaces(13) + u"00分01秒"_s;

    // Hours are not shown: only the minute within the hour and the second.
    QTest::newRow("3725 s") << lecture << qint64(3725) << lecture + spaces(3) + u"02分05秒"_s;
    QTest::newRow("59 min 59 s") << lecture << qint64(3599) << lecture + spaces(3) + u"59分59秒"_s;
    QTest::newRow("60 min") << remaining << qint64(3600) << remaining + u" 00分00秒"_s;
    QTest::newRow("61 min") << remaining << qint64(3660) << remaining + u" 01分00秒"_s;
    QTest::newRow("past the 16-bit range") << remaining << qint64(32768) << remaining + u" 06分08秒"_s;
    QTest::newRow("three days") << remaining << qint64(86400 * 3 + 59) << remaining + u" 00分59秒"_s;
    QTest::newRow("10^12 s") << remaining << qint64(1'000'000'000'000) << remaining + u" 46分40秒"_s;
    QTest::newRow("largest count") << remaining << std::numeric_limits<qint64>::max() << remaining + u" 30分07秒"_s;

    // A late tick at the turn into overtime can give -1; it shows as zero, never as garbage.
    QTest::newRow("-1 s") << remaining << qint64(-1) << remaining + u" 00分00秒"_s;
    QTest::newRow("-61 s") << remaining << qint64(-61) << remaining + u" 00分00秒"_s;
    QTest::newRow("smallest count") << remaining << std::numeric_limits<qint64>::min() << remaining + u" 00分00秒"_s;

    // The heading is part of the pattern: its "nn" and "ss" are filled in too, nothing else is.
    QTest::newRow("heading nnss") << u"nnss"_s << qint64(65) << u"0105"_s + spaces(9) + u"01分05秒"_s;
    QTest::newRow("odd letters left over") << u"nnnsss"_s << qint64(65) << u"01n05s"_s + spaces(5) + u"01分05秒"_s;
    QTest::newRow("other letters keep") << u"hh:mm dd/yy n s NN SS"_s << qint64(65)
                                        << u"hh:mm dd/yy n s NN SS 01分05秒"_s;
    QTest::newRow("heading field, negative count") << u"ss"_s << qint64(-5) << u"00"_s + spaces(13) + u"00分00秒"_s;
}

void TestCountPattern::oneLine()
{
    QFETCH(QString, heading);
    QFETCH(qint64, count);
    QFETCH(QString, shown);
    QCOMPARE(CountPattern::oneLine(heading).render(count), shown);
}

void TestCountPattern::twoLine_data()
{
    QTest::addColumn<QString>("heading");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QString>("shown");

    QTest::newRow("default heading") << lecture << qint64(0) << lecture + u"\r\n00 分 00 秒"_s;
    QTest::newRow("empty first line") << QString() << qint64(3725) << u"\r\n02 分 05 秒"_s;
    QTest::newRow("long heading is not padded") << u"ABCDEFGHIJ"_s << qint64(59) << u"ABCDEFGHIJ\r\n00 分 59 秒"_s;
    QTest::newRow("negative count") << remaining << qint64(-1) << remaining + u"\r\n00 分 00 秒"_s;
    QTest::newRow("heading with fields") << u"n nn s ss"_s << qint64(754) << u"n 12 s 34\r\n12 分 34 秒"_s;
}

void TestCountPattern::twoLine()
{
    QFETCH(QString, heading);
    QFETCH(qint64, count);
    QFETCH(QString, shown);
    QCOMPARE(CountPattern::twoLine(heading).render(count), shown);
}

void TestCountPattern::freePattern_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QString>("shown");

    QTest::newRow("minimised caption") << u"nn:ss/Lectern"_s << qint64(330) << u"05:30/Lectern"_s;
    QTest::newRow("caption past the hour") << u"nn:ss/Lectern"_s << qint64(3725) << u"02:05/Lectern"_s;
    QTest::newRow("repeated fields") << u"ssnnssnn"_s << qint64(61) << u"01010101"_s;
    QTest::newRow("no fields") << u"Lectern"_s << qint64(42) << u"Lectern"_s;
    QTest::newRow("empty pattern") << QString() << qint64(42) << QString();
    QTest::newRow("lone letters at the end") << u"ns"_s << qint64(42) << u"ns"_s;
    QTest::newRow("pattern ending in a field") << u"xss"_s << qint64(42) << u"x42"_s;
}

void TestCountPattern::freePattern()
{
    QFETCH(QString, pattern);
    QFETCH(qint64, count);
    QFETCH(QString, shown);
    const CountPattern compiled(pattern);
    QCOMPARE(compiled.render(count), shown);
    // Rendering leaves the pattern as it was: a second count renders from the same fields.
    QCOMPARE(compiled.render(0), CountPattern(pattern).render(-1));
    QCOMPARE(compiled.render(count), shown);
}

void TestCountPattern::roundHalfEven_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<qint64>("count");

    constexpr qint64 max = std::numeric_limits<qint64>::max();
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    constexpr double inf = std::numeric_limits<double>::infinity();

    QTest::newRow("0.5 to even 0") << 0.5 << qint64(0);
    QTest::newRow("1.5 to even 2") << 1.5 << qint64(2);
    QTest::newRow("2.5 to even 2") << 2.5 << qint64(2);
    QTest::newRow("3.5 to even 4") << 3.5 << qint64(4);
    QTest::newRow("-0.5 to 0") << -0.5 << qint64(0);
    QTest::newRow("-1.5 to -2") << -1.5 << qint64(-2);
    QTest::newRow("-2.5 to -2") << -2.5 << qint64(-2);
    QTest::newRow("-0.45") << -0.45 << qint64(0);
    QTest::newRow("-0.55") << -0.55 << qint64(-1);
    QTest::newRow("120.45") << 120.45 << qint64(120);
    QTest::newRow("479.55") << 479.55 << qint64(480);
    // Adding a half and taking the floor would give 1 here.
    QTest::newRow("largest double below 0.5") << 0.49999999999999994 << qint64(0);
    QTest::newRow("just above 0.5") << 0.5000000000000001 << qint64(1);
    QTest::newRow("2^52 - 0.5, odd below") << 4503599627370495.5 << qint64(4503599627370496);
    QTest::newRow("2^52 + 1 is whole") << 4503599627370497.0 << qint64(4503599627370497);
    QTest::newRow("largest double below 2^63") << 9223372036854774784.0 << qint64(9223372036854774784);
    QTest::newRow("2^63 saturates") << 9223372036854775808.0 << max;
    QTest::newRow("-2^63 is in range") << -9223372036854775808.0 << min;
    QTest::newRow("1e300 saturates") << 1e300 << max;
    QTest::newRow("-1e300 saturates") << -1e300 << min;
    QTest::newRow("+inf") << inf << max;
    QTest::newRow("-inf") << -inf << min;
    QTest::newRow("NaN reads as 0") << std::numeric_limits<double>::quiet_NaN() << qint64(0);
    QTest::newRow("-0.0") << -0.0 << qint64(0);
}

void TestCountPattern::roundHalfEven()
{
    QFETCH(double, seconds);
    QFETCH(qint64, count);
    QCOMPARE(::roundHalfEven(seconds), count);
}

QTEST_GUILESS_MAIN(TestCountPattern)
#include "tst_count_pattern.moc"
