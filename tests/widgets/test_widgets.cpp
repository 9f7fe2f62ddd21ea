#include "widgets/qt_colour.h"
#include "widgets/show_and_raise.h"

#include <QTest>
#include <QWidget>

class TestWidgets : public QObject {
    Q_OBJECT
private slots:
    void colours_data();
    void colours();
    void showAndRaiseRestores();
};

void TestWidgets::colours_data()
{
    QTest::addColumn<ColourValue>("value");
    QTest::addColumn<QColor>("colour");

    // Red is the low byte.
    QTest::newRow("black") << ColourValue(0x00000000) << QColor(0, 0, 0);
    QTest::newRow("red") << ColourValue(0x000000FF) << QColor(255, 0, 0);
    QTest::newRow("cyan") << ColourValue(0x00FFFF00) << QColor(0, 255, 255);
    QTest::newRow("dark red") << ColourValue(0x000000D0) << QColor(208, 0, 0);
    QTest::newRow("mixed") << ColourValue(0x00ABCDEF) << QColor(0xEF, 0xCD, 0xAB);
}

void TestWidgets::colours()
{
    QFETCH(ColourValue, value);
    QFETCH(QColor, colour);
    QCOMPARE(toQColor(value), colour);
    QCOMPARE(colourValueOf(colour), value);
    // A translucent colour keeps its red, green and blue.
    QColor translucent = colour;
    translucent.setAlpha(10);
    QCOMPARE(colourValueOf(translucent), value);
}

void TestWidgets::showAndRaiseRestores()
{
    QWidget window;
    showAndRaise(window);
    QVERIFY(window.isVisible());
    window.setWindowState(Qt::WindowMinimized | Qt::WindowMaximized);
    showAndRaise(window);
    QVERIFY(!window.windowState().testFlag(Qt::WindowMinimized));
    QVERIFY(window.windowState().testFlag(Qt::WindowMaximized));
}

QTEST_MAIN(TestWidgets)
#include "test_widgets.moc"
