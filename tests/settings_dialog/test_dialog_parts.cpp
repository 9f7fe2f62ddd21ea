#include "settings_dialog/input_limit.h"
#include "settings_dialog/space_run_label.h"
#include "settings_dialog/twips.h"

#include <QFontMetricsF>
#include <QTest>

using namespace Qt::StringLiterals;

class TestDialogParts : public QObject {
    Q_OBJECT
private slots:
    void codePageWidth_data();
    void codePageWidth();
    void twipsRect_data();
    void twipsRect();
    void spacesNarrowedToFit_data();
    void spacesNarrowedToFit();
};

void TestDialogParts::codePageWidth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");

    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("digits") << u"12.5"_s << 4;
    QTest::newRow("number and unit") << u"10分"_s << 4;
    QTest::newRow("default heading") << u"講演の開始から"_s << 14;
    QTest::newRow("eight full-width") << u"発表時間終了まで"_s << 16;
    QTest::newRow("half-width katakana") << u"ｶｳﾝﾄ"_s << 4;
    QTest::newRow("full-width digits") << u"１０"_s << 4;
    QTest::newRow("ideographic space") << u"　"_s << 2;
    QTest::newRow("character beyond the BMP") << u"a😀"_s << 3;
}

void TestDialogParts::codePageWidth()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QCOMPARE(::codePageWidth(text), width);
}

void TestDialogParts::twipsRect_data()
{
    QTest::addColumn<qreal>("dpi");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QRect>("pixels");

    QTest::newRow("dialog at 96") << 96.0 << QRect(0, 0, 6780, 4710) << QRect(0, 0, 452, 314);
    QTest::newRow("minute field at 96") << 96.0 << QRect(2040, 2400, 495, 270) << QRect(136, 160, 33, 18);
    QTest::newRow("dialog at 144") << 144.0 << QRect(0, 0, 6780, 4710) << QRect(0, 0, 678, 471);
    // At 120 DPI a twip is an eighth of a pixel and 495 twips are 41.25 pixels: the right edge is rounded,
    // not the width, so the field still ends where the design has it end.
    QTest::newRow("minute field at 120") << 120.0 << QRect(2040, 2400, 495, 270) << QRect(170, 200, 41, 23);
    QTest::newRow("edges, not sizes, at 120") << 120.0 << QRect(1410, 0, 90, 90) << QRect(118, 0, 7, 8);
}

void TestDialogParts::twipsRect()
{
    QFETCH(qreal, dpi);
    QFETCH(QRect, twips);
    QFETCH(QRect, pixels);
    QCOMPARE(::twipsRect(twips.x(), twips.y(), twips.width(), twips.height(), dpi), pixels);
}

void TestDialogParts::spacesNarrowedToFit_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("fit");

    QTest::newRow("minute caption") << u"A　　　　　　分間"_s << 80;
    QTest::newRow("warning caption") << u"期間A終了　　　　分前に予鈴　その後、色を"_s << 239;
    QTest::newRow("no room asked") << u"A　　　　　　分間"_s << 0;
    QTest::newRow("wider than the text") << u"A　　分間"_s << 400;
}

void TestDialogParts::spacesNarrowedToFit()
{
    QFETCH(QString, caption);
    QFETCH(int, fit);

    SpaceRunLabel label(caption, nullptr);
    const QFontMetricsF metrics(label.font());
    const qreal fullSpace = metrics.horizontalAdvance(QChar(0x3000));
    label.fitToWidth(fit);

    QCOMPARE(label.text(), caption);
    // A space shrinks to at most a third and never grows.
    QVERIFY(label.spaceWidth() <= fullSpace);
    QVERIFY(label.spaceWidth() >= fullSpace / 3);
    if (fit > 0 && label.spaceWidth() > fullSpace / 3 && label.spaceWidth() < fullSpace)
        QVERIFY2(qAbs(label.textWidth() - fit) < 0.01, qPrintable(QString::number(label.textWidth())));
    if (fit <= 0)
        QCOMPARE(label.spaceWidth(), fullSpace);
    if (fit > metrics.horizontalAdvance(caption))
        QCOMPARE(label.spaceWidth(), fullSpace);

    // The run of spaces starts after the text before it and is as long as its spaces.
    const auto [left, right] = label.spaceRun();
    const qsizetype first = caption.indexOf(QChar(0x3000));
    qsizetype count = 0;
    while (first + count < caption.size() && caption.at(first + count) == QChar(0x3000))
        ++count;
    QCOMPARE(left, metrics.horizontalAdvance(caption.left(first)));
    QVERIFY(qAbs(right - left - count * label.spaceWidth()) < 0.01);
    QCOMPARE(label.sizeHint().width(), int(std::ceil(label.textWidth())));
}

QTEST_MAIN(TestDialogParts)
#include "test_dialog_parts.moc"
