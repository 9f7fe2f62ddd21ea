#include "platform/boot_clock.h"
#include "platform/boot_ticker.h"

#include <QSignalSpy>
#include <QTest>

class TestBootTicker : public QObject {
    Q_OBJECT
private slots:
    void ticksOnceAtTheInstant_data();
    void ticksOnceAtTheInstant();
    void disabledOrNeverStaysQuiet();
};

void TestBootTicker::ticksOnceAtTheInstant_data()
{
    QTest::addColumn<double>("fromNow");
    QTest::newRow("soon") << 0.05;
    QTest::newRow("already past") << -5.0;
    QTest::newRow("further than one timer's wait") << 1.3;
}

void TestBootTicker::ticksOnceAtTheInstant()
{
    QFETCH(double, fromNow);
    const BootClock clock;
    BootTicker ticker;
    double tickedAt = -1;
    connect(&ticker, &Ticker::ticked, this, [&] { tickedAt = clock.now(); });
    QSignalSpy ticks(&ticker, &Ticker::ticked);
    const double start = clock.now();
    const double instant = start + fromNow;
    ticker.setEnabled(true);
    ticker.wakeAt(instant);
    QTRY_COMPARE_WITH_TIMEOUT(ticks.size(), 1, 5000);
    QVERIFY2(tickedAt >= instant, qPrintable(QString::number(tickedAt - instant)));
    QVERIFY2(tickedAt < std::max(instant, start) + 0.5, qPrintable(QString::number(tickedAt - instant)));
    // No second tick for the same instant.
    QTest::qWait(300);
    QCOMPARE(ticks.size(), 1);
}

void TestBootTicker::disabledOrNeverStaysQuiet()
{
    const BootClock clock;
    BootTicker ticker;
    QSignalSpy ticks(&ticker, &Ticker::ticked);
    ticker.wakeAt(clock.now() + 0.05);
    QTest::qWait(300);
    QCOMPARE(ticks.size(), 0);
    // Enabled again, the instant asked for last comes at once, being past.
    ticker.setEnabled(true);
    QTRY_COMPARE(ticks.size(), 1);
    ticker.wakeAt(clock.now() + 0.05);
    ticker.wakeAt(Ticker::never);
    QTest::qWait(300);
    QCOMPARE(ticks.size(), 1);
}

QTEST_GUILESS_MAIN(TestBootTicker)
#include "test_boot_ticker.moc"
