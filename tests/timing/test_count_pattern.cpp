#include "timing/count_pattern.h"

#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

class TestCountPattern : public QObject {
    Q_OBJECT
private slots:
    void render_data();
    void render();
    void roundHalfEven_data();
    void roundHalfEven();
};

namespace {

enum class Form { OneLine, TwoLine, Free };

QString spaces(int n)
{
    return QString(n, u' ');
}

const QString lecture = u"講演の開始から"_s;     // 7 full-width characters
const QString remaining = u"発表時間終了まで"_s; // 8

} // namespace

void TestCountPattern::render_data()
{
    QTest::addColumn<Form>("form");
    QTest::addColumn<QString>("text"); // the heading, or the whole pattern for Form::Free
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QString>("shown");
    constexpr auto one = Form::OneLine;

    // The fill makes every heading of full-width characters as wide as eight of them.
    QTest::newRow("empty heading") << one << QString() << qint64(0) << spaces(17) + u"00分00秒"_s;
    QTest::newRow("7 characters") << one << lecture << qint64(480) << lecture + spaces(3) + u"08分00秒"_s;
    QTest::newRow("8 characters") << one << remaining << qint64(120) << remaining + u" 02分00秒"_s;
    QTest::newRow("9 code units: no fill, no cut") << one << u"ABCDEFGHI"_s << qint64(59) << u"ABCDEFGHI 00分59秒"_s;
    QTest::newRow("surrogate pair counts as two units")
        << one << u"𠮷"_s << qint64(1) << u"𠮷"_s + spaces(13) + u"00分01秒"_s;

    // Hours are not shown: only the minute within the hour and the second.
    QTest::newRow("3725 s") << one << lecture << qint64(3725) << lecture + spaces(3) + u"02分05秒"_s;
    QTest::newRow("59 min 59 s") << one << lecture << qint64(3599) << lecture + spaces(3) + u"59分59秒"_s;
    QTest::newRow("60 min") << one << remaining << qint64(3600) << remaining + u" 00分00秒"_s;
    QTest::newRow("largest count") << one << remaining << std::numeric_limits<qint64>::max()
                                   << remaining + u" 30分07秒"_s;

    // A late tick at the turn into overtime can give -1; it shows as zero, never as garbage.
    QTest::newRow("-1 s") << one << remaining << qint64(-1) << remaining + u" 00分00秒"_s;
    QTest::newRow("smallest count") << one << remaining << std::numeric_limits<qint64>::min()
                                    << remaining + u" 00分00秒"_s;

    // The heading is part of the pattern: its "nn" and "ss" are filled in too, nothing else is.
    QTest::newRow("heading nnss") << one << u"nnss"_s << qint64(65) << u"0105"_s + spaces(9) + u"01分05秒"_s;
    QTest::newRow("odd letters left over")
        << one << u"nnnsss"_s << qint64(65) << u"01n05s"_s + spaces(5) + u"01分05秒"_s;
    QTest::newRow("other letters keep") << one << u"hh:mm dd/yy n s NN SS"_s << qint64(65)
                                        << u"hh:mm dd/yy n s NN SS 01分05秒"_s;

    QTest::newRow("two lines") << Form::TwoLine << lecture << qint64(0) << lecture + u"\r\n00 分 00 秒"_s;
    QTest::newRow("two lines, empty first line") << Form::TwoLine << QString() << qint64(3725) << u"\r\n02 分 05 秒"_s;

    QTest::newRow("no fields") << Form::Free << u"Lectern"_s << qint64(42) << u"Lectern"_s;
    QTest::newRow("empty pattern") << Form::Free << QString() << qint64(42) << QString();
    QTest::newRow("lone letters at the end") << Form::Free << u"ns"_s << qint64(42) << u"ns"_s;
    QTest::newRow("pattern ending in a field") << Form::Free << u"xss"_s << qint64(42) << u"x42"_s;
}

void TestCountPattern::render()
{
    QFETCH(Form, form);
    QFETCH(QString, text);
    QFETCH(qint64, count);
    QFETCH(QString, shown);
    const CountPattern pattern = form == Form::OneLine   ? CountPattern::oneLine(text)
                                 : form == Form::TwoLine ? CountPattern::twoLine(text)
                                                         : CountPattern(text);
    QCOMPARE(pattern.render(count), shown);
    // Rendering leaves the pattern as it was: the next tick renders from the same fields.
    const QString zero = pattern.render(0);
    QCOMPARE(pattern.render(count), shown);
    QCOMPARE(pattern.render(-1), zero);
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
    QTest::newRow("-0.5 to 0") << -0.5 << qint64(0);
    QTest::newRow("-1.5 to -2") << -1.5 << qint64(-2);
    QTest::newRow("-0.55") << -0.55 << qint64(-1);
    QTest::newRow("479.55") << 479.55 << qint64(480);
    // Adding a half and taking the floor would give 1 here.
    QTest::newRow("largest double below 0.5") << 0.49999999999999994 << qint64(0);
    QTest::newRow("just above 0.5") << 0.5000000000000001 << qint64(1);
    QTest::newRow("2^52 - 0.5, odd below") << 4503599627370495.5 << qint64(4503599627370496);
    QTest::newRow("2^52 + 1 is whole") << 4503599627370497.0 << qint64(4503599627370497);
    QTest::newRow("largest double below 2^63") << 9223372036854774784.0 << qint64(9223372036854774784);
    QTest::newRow("2^63 saturates") << 9223372036854775808.0 << max;
    QTest::newRow("-2^63 is in range") << -9223372036854775808.0 << min;
    QTest::newRow("+inf") << inf << max;
    QTest::newRow("-inf") << -inf << min;
    QTest::newRow("NaN reads as 0") << std::numeric_limits<double>::quiet_NaN() << qint64(0);
}

void TestCountPattern::roundHalfEven()
{
    QFETCH(double, seconds);
    QFETCH(qint64, count);
    QCOMPARE(::roundHalfEven(seconds), count);
}

QTEST_GUILESS_MAIN(TestCountPattern)
#include "test_count_pattern.moc"
