#include "settings/settings_record.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Text = SettingsRecord::Text;
using Swatch = SettingsRecord::Swatch;
using RowMode = SettingsRecord::RowMode;

Q_DECLARE_METATYPE(SettingsRecord::Text)
Q_DECLARE_METATYPE(SettingsRecord::Swatch)
Q_DECLARE_METATYPE(SettingsRecord::RowMode)

class TestSettingsRecord : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void pairsAndHeadings_data();
    void pairsAndHeadings();
    void optionGroup_data();
    void optionGroup();
    void textSignalsOnlyOnChange();
    void colourKeepsTheLow24Bits_data();
    void colourKeepsTheLow24Bits();
};

void TestSettingsRecord::defaults()
{
    // In the order of the enumerations: presenPeriod, discussPeriod, warnBefore, wavefile, Text1 to Text4, and
    // t1f, t1b to t4f, t4b (cyan, yellow, green and yellow on black; yellow on dark red).
    const QStringList texts{u"10"_s,
                            u"5"_s,
                            u"2"_s,
                            QString(),
                            u"講演の開始から"_s,
                            u"発表時間終了まで"_s,
                            u"質疑応答終了まで"_s,
                            u"講演時間の超過は"_s};
    const QList<ColourValue> colours{16776960, 0, 65535, 0, 65280, 0, 65535, 208};
    const SettingsRecord record;
    for (int i = 0; i < SettingsRecord::textCount; ++i)
        QCOMPARE(record.text(Text(i)), texts.at(i));
    for (int i = 0; i < SettingsRecord::swatchCount; ++i)
        QCOMPARE(record.colour(Swatch(i)), colours.at(i));
    QCOMPARE(record.rowMode(), RowMode::Option1);
}

void TestSettingsRecord::pairsAndHeadings_data()
{
    QTest::addColumn<int>("k");
    QTest::addColumn<Text>("heading");
    QTest::addColumn<Swatch>("foreground");
    QTest::addColumn<Swatch>("background");
    QTest::newRow("pair 1") << 1 << Text::Text1 << Swatch::t1f << Swatch::t1b;
    QTest::newRow("pair 2") << 2 << Text::Text2 << Swatch::t2f << Swatch::t2b;
    QTest::newRow("pair 3") << 3 << Text::Text3 << Swatch::t3f << Swatch::t3b;
    QTest::newRow("pair 4") << 4 << Text::Text4 << Swatch::t4f << Swatch::t4b;
}

void TestSettingsRecord::pairsAndHeadings()
{
    QFETCH(int, k);
    QFETCH(Text, heading);
    QFETCH(Swatch, foreground);
    QFETCH(Swatch, background);
    SettingsRecord record;
    // Distinct values everywhere, so a pair or heading taken from the wrong slot shows.
    for (int i = 0; i < SettingsRecord::swatchCount; ++i)
        record.setColour(Swatch(i), ColourValue(0x010101u * ColourValue(i + 1)));
    record.setText(heading, u"heading %1"_s.arg(k));
    QCOMPARE(SettingsRecord::foregroundSwatch(k), foreground);
    QCOMPARE(SettingsRecord::backgroundSwatch(k), background);
    QCOMPARE(record.heading(k), u"heading %1"_s.arg(k));
    QCOMPARE(record.foreground(k), record.colour(foreground));
    QCOMPARE(record.background(k), record.colour(background));
    QVERIFY(record.foreground(k) != record.background(k));
}

void TestSettingsRecord::optionGroup_data()
{
    // Steps are "n+" (flag n set true) or "n-" (flag n set false), applied from the starting mode.
    QTest::addColumn<RowMode>("start");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<RowMode>("mode");
    QTest::addColumn<int>("changes");

    QTest::newRow("true clears the others") << RowMode::Option1 << QStringList{u"2+"_s} << RowMode::Option2 << 1;
    QTest::newRow("true again changes nothing") << RowMode::Option1 << QStringList{u"1+"_s} << RowMode::Option1 << 0;
    QTest::newRow("false of the selected flag selects none")
        << RowMode::Option1 << QStringList{u"1-"_s} << RowMode::None << 1;
    QTest::newRow("false of another flag changes nothing")
        << RowMode::Option3 << QStringList{u"1-"_s, u"2-"_s} << RowMode::Option3 << 0;
    QTest::newRow("last true wins") << RowMode::Option1 << QStringList{u"1-"_s, u"2+"_s, u"3+"_s} << RowMode::Option3
                                    << 3;
    QTest::newRow("first true then false after it")
        << RowMode::Option3 << QStringList{u"1+"_s, u"2-"_s, u"3-"_s} << RowMode::Option1 << 1;
    QTest::newRow("all false") << RowMode::Option2 << QStringList{u"1-"_s, u"2-"_s, u"3-"_s} << RowMode::None << 1;
    QTest::newRow("true from none") << RowMode::None << QStringList{u"3+"_s} << RowMode::Option3 << 1;
}

void TestSettingsRecord::optionGroup()
{
    QFETCH(RowMode, start);
    QFETCH(QStringList, steps);
    QFETCH(RowMode, mode);
    QFETCH(int, changes);
    SettingsRecord record;
    record.setRowMode(start);
    QSignalSpy spy(&record, &SettingsRecord::rowModeChanged);
    for (const QString& step : steps)
        record.setOption(step.left(1).toInt(), step.endsWith(u'+'));
    QCOMPARE(record.rowMode(), mode);
    QCOMPARE(spy.count(), changes);
    // The three flags always agree with the mode: at most one is true.
    for (int n = 1; n <= 3; ++n)
        QCOMPARE(record.option(n), mode == SettingsRecord::optionMode(n));
}

void TestSettingsRecord::textSignalsOnlyOnChange()
{
    SettingsRecord record;
    QSignalSpy texts(&record, &SettingsRecord::textChanged);
    QSignalSpy colours(&record, &SettingsRecord::colourChanged);
    record.setText(Text::Text2, u"発表時間終了まで"_s); // the value it already has
    record.setColour(Swatch::t4b, 208);
    QCOMPARE(texts.count(), 0);
    QCOMPARE(colours.count(), 0);

    record.setText(Text::warnBefore, u"3"_s);
    record.setColour(Swatch::t3f, 0x123456);
    QCOMPARE(texts.count(), 1);
    QCOMPARE(texts.at(0).at(0).value<Text>(), Text::warnBefore);
    QCOMPARE(colours.count(), 1);
    QCOMPARE(colours.at(0).at(0).value<Swatch>(), Swatch::t3f);
}

void TestSettingsRecord::colourKeepsTheLow24Bits_data()
{
    QTest::addColumn<ColourValue>("given");
    QTest::addColumn<ColourValue>("kept");
    QTest::addColumn<int>("changes");
    // t1f starts at 0x00FFFF00.
    QTest::newRow("top byte dropped, same colour") << ColourValue(0xFFFFFF00u) << ColourValue(0x00FFFF00u) << 0;
    QTest::newRow("top byte dropped, new colour") << ColourValue(0x80000005u) << ColourValue(0x00000005u) << 1;
    QTest::newRow("largest colour") << ColourValue(0x00FFFFFFu) << ColourValue(0x00FFFFFFu) << 1;
}

void TestSettingsRecord::colourKeepsTheLow24Bits()
{
    QFETCH(ColourValue, given);
    QFETCH(ColourValue, kept);
    QFETCH(int, changes);
    SettingsRecord record;
    QSignalSpy spy(&record, &SettingsRecord::colourChanged);
    record.setColour(Swatch::t1f, given);
    QCOMPARE(record.colour(Swatch::t1f), kept);
    QCOMPARE(spy.count(), changes);
}

QTEST_GUILESS_MAIN(TestSettingsRecord)
#include "test_settings_record.moc"
