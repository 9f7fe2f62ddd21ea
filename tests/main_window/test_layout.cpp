#include "main_window/layout.h"

#include <QTest>

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void typeSize_data();
    void typeSize();
    void geometry_data();
    void geometry();
    void emptyThenRestored();
};

void TestLayout::typeSize_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<bool>("bothRows");
    QTest::addColumn<double>("oneLine");
    QTest::addColumn<double>("twoLine");
    QTest::addColumn<double>("size");
    QTest::addColumn<int>("form");

    // The worked values, F1 and F2 to two decimals.
    QTest::newRow("size at creation, both rows") << 528.75 << 84.75 << true << 41.3 << 18.81 << 41.3 << 0;
    QTest::newRow("size at creation, one row") << 528.75 << 84.75 << false << 41.3 << 38.07 << 41.3 << 0;
    QTest::newRow("wide and low") << 1000.0 << 100.0 << true << 49.0 << 22.27 << 49.0 << 0;
    QTest::newRow("narrow and tall") << 300.0 << 200.0 << true << 23.0 << 32.33 << 32.33 << 1;
    QTest::newRow("tall, one row") << 200.0 << 300.0 << false << 15.0 << 21.22 << 21.22 << 1;
    QTest::newRow("empty, both rows") << 0.0 << 0.0 << true << -1.0 << -1.0 << 1.0 << 0;
    QTest::newRow("empty, one row") << 0.0 << 0.0 << false << -1.0 << -1.0 << 1.0 << 0;

    // Equal candidates keep the one-line form: both bound by the height (0 and 0 at a height of 1 point),
    // or the one-line one by the width and the two-line one by the height (21 and 21 at 275 x 47.2).
    QTest::newRow("tie at zero keeps one line") << 500.0 << 1.0 << false << 0.0 << 0.0 << 1.0 << 0;
    QTest::newRow("tie by width and height keeps one line") << 275.0 << 47.2 << false << 21.0 << 21.0 << 21.0 << 0;
    QTest::newRow("just past the tie goes two-line") << 275.0 << 47.3 << false << 21.0 << 21.05 << 21.05 << 1;

    // The cap acts after the choice of form: a tall huge window stays two-line at 2048 points.
    QTest::newRow("huge wide window capped") << 100000.0 << 10000.0 << true << 4999.0 << 2272.27 << 2048.0 << 0;
    QTest::newRow("huge tall window capped, two-line")
        << 40000.0 << 40000.0 << false << 3199.0 << 4443.44 << 2048.0 << 1;
    // The floor acts after the choice too: a sliver keeps the form its candidates chose.
    QTest::newRow("sliver floored, two-line") << 12.0 << 8.0 << false << -0.04 << 0.33 << 1.0 << 1;
}

void TestLayout::typeSize()
{
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(bool, bothRows);
    QFETCH(double, oneLine);
    QFETCH(double, twoLine);
    QFETCH(double, size);
    QFETCH(int, form);

    const RowLayout layout = layoutRows(width, height, bothRows);
    QVERIFY2(qAbs(layout.oneLineSize - oneLine) < 0.005, qPrintable(QString::number(layout.oneLineSize)));
    QVERIFY2(qAbs(layout.twoLineSize - twoLine) < 0.005, qPrintable(QString::number(layout.twoLineSize)));
    QVERIFY2(qAbs(layout.typeSize - size) < 0.005, qPrintable(QString::number(layout.typeSize)));
    QCOMPARE(layout.fmtIndex, form);
}

void TestLayout::geometry_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<bool>("bothRows");
    QTest::addColumn<double>("lowerTop");
    QTest::addColumn<double>("rowHeight");

    QTest::newRow("both rows split the height") << 528.75 << 84.75 << true << 42.375 << 42.375;
    QTest::newRow("one row fills the area") << 528.75 << 84.75 << false << 0.0 << 84.75;
    QTest::newRow("empty") << 0.0 << 0.0 << true << 0.0 << 0.0;
}

void TestLayout::geometry()
{
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(bool, bothRows);
    QFETCH(double, lowerTop);
    QFETCH(double, rowHeight);

    const RowLayout layout = layoutRows(width, height, bothRows);
    QCOMPARE(layout.lowerTop, lowerTop);
    QCOMPARE(layout.height, rowHeight);
    QCOMPARE(layout.width, width);
}

void TestLayout::emptyThenRestored()
{
    // Minimising to nothing and restoring must give back exactly the layout before.
    const RowLayout before = layoutRows(300.0, 200.0, true);
    const RowLayout empty = layoutRows(0.0, 0.0, true);
    const RowLayout after = layoutRows(300.0, 200.0, true);
    QCOMPARE(empty.typeSize, 1.0);
    QCOMPARE(empty.fmtIndex, 0);
    QCOMPARE(after.typeSize, before.typeSize);
    QCOMPARE(after.fmtIndex, before.fmtIndex);
    QCOMPARE(after.fmtIndex, 1);
}

QTEST_GUILESS_MAIN(TestLayout)
#include "test_layout.moc"
