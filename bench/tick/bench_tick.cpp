#include "fake_chime_device.h"
#include "fake_clock.h"
#include "fake_rows.h"
#include "fake_ticker.h"
#include "fake_wall_clock.h"
#include "settings/settings_record.h"
#include "timing/count.h"

#include <QTest>

/// What one tick costs when the shown second has not changed (nine ticks in ten) and when it has and both
/// rows are rewritten (about one in ten).
class BenchTick : public QObject {
    Q_OBJECT
private slots:
    void quietTick_data();
    void quietTick();
    void rewritingTick_data();
    void rewritingTick();
};

namespace {

struct Rig {
    SettingsRecord settings;
    FakeClock clock;
    FakeTicker ticker;
    FakeRows rows;
    FakeChimeDevice device;
    FakeWallClock wall;
    Count talk{settings, clock, wall, ticker, rows, device};
};

void addForms()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<bool>("minimised");
    QTest::newRow("one-line") << 0 << false;
    QTest::newRow("two-line") << 1 << false;
    QTest::newRow("one-line, minimised") << 0 << true;
}

} // namespace

void BenchTick::quietTick_data()
{
    addForms();
}

void BenchTick::quietTick()
{
    QFETCH(int, form);
    QFETCH(bool, minimised);
    Rig rig;
    rig.rows.setFmtIndex(form);
    rig.rows.setMinimised(minimised);
    rig.talk.restart();
    rig.clock.advance(123.2);
    rig.talk.Timer1_Timer();
    const int writes = rig.rows.upperWrites();

    QBENCHMARK
    {
        rig.talk.Timer1_Timer();
    }
    QCOMPARE(rig.rows.upperWrites(), writes);
}

void BenchTick::rewritingTick_data()
{
    addForms();
}

void BenchTick::rewritingTick()
{
    QFETCH(int, form);
    QFETCH(bool, minimised);
    Rig rig;
    rig.rows.setFmtIndex(form);
    rig.rows.setMinimised(minimised);
    rig.talk.restart();
    const double start = rig.clock.now();
    const int writes = rig.rows.upperWrites();

    // The clock steps back and forth by a second, so every tick shows another second in both rows.
    int i = 0;
    QBENCHMARK
    {
        rig.clock.set(start + 123.2 + (++i & 1));
        rig.talk.Timer1_Timer();
    }
    QCOMPARE(rig.rows.upperWrites(), writes + i);
    QCOMPARE(rig.rows.lowerWrites(), writes + i);
}

QTEST_GUILESS_MAIN(BenchTick)
#include "bench_tick.moc"
