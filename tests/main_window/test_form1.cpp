#include "fake_chime_device.h"
#include "fake_clock.h"
#include "fake_dialogs.h"
#include "fake_ticker.h"
#include "fake_wall_clock.h"
#include "main_window/form1.h"
#include "main_window/row_font.h"
#include "main_window/row_label.h"
#include "main_window/speaker_face.h"
#include "main_window/speaker_window.h"
#include "settings/settings_record.h"
#include "timing/shown_rows.h"
#include "widgets/qt_colour.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr ColourValue cyan = 0x00FFFF00;
constexpr ColourValue black = 0x00000000;

QRgb rgbOf(ColourValue c)
{
    return qRgb(redOf(c), greenOf(c), blueOf(c));
}

/// The main window and the count that writes it, with fakes around them, wired as start-up wires them; made
/// hidden, at its size at creation.
struct Rig {
    SettingsRecord settings;
    FakeClock clock;
    FakeWallClock wall;
    FakeTicker ticker;
    FakeChimeDevice device;
    FakeDialogs dialogs;
    Form1 form{settings, dialogs};
    ShownRows shown{form};
    Count count{settings, clock, wall, ticker, shown, device};

    Rig()
    {
        QObject::connect(&form, &Form1::commandRequested, &count, &Count::apply);
        QObject::connect(&form, &Form1::fmtIndexChanged, &count, &Count::refresh);
        QObject::connect(&form, &Form1::windowStateChanged, &count, &Count::refresh);
        QObject::connect(&count, &Count::stateChanged, &form, &Form1::showState);
    }

    QWidget* row(const QString& name) const { return form.findChild<QWidget*>(name); }
    RowLabel* label(const QString& name) const { return form.findChild<RowLabel*>(name); }
    bool showForm()
    {
        form.show();
        return QTest::qWaitForWindowExposed(&form);
    }
};

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void atCreation();
    void layoutOnWidgets_data();
    void layoutOnWidgets();
    void rowsMeetAtEverySize();
    void modeChangeThenLayout_data();
    void modeChangeThenLayout();
    void formChangeReachesRowsAtNextTick();

    void fontPassesTheWidthCheck();
    void widthCheck_data();
    void widthCheck();
    void candidatesSkipFacesThatFail();
    void timesLineUpInOneLineForm();

    void lines_data();
    void lines();
    void lineBreakDrawsNoGlyph();
    void tooWideLineIsCutNotWrapped();
    void changedTextDrawsAsIfWhole_data();
    void changedTextDrawsAsIfWhole();
    void lineStart_data();
    void lineStart();

    void mouseRouting_data();
    void mouseRouting();
    void promptAnswer_data();
    void promptAnswer();
    void captionWhileMinimised();
    void closingEmitsClosed();
    void keys_data();
    void keys();
    void fullScreenKeys();
    void pauseLook();
    void speakerWindow_data();
    void speakerWindow();
};

void TestForm1::initTestCase()
{
    // The pixel figures below are for the offscreen screen's 96 dots per inch: 3 points make 4 pixels.
    QWidget probe;
    QCOMPARE(probe.logicalDpiX(), 96);
    QCOMPARE(probe.logicalDpiY(), 96);
}

void TestForm1::atCreation()
{
    Rig rig;
    QCOMPARE(rig.form.windowTitle(), u"Lectern"_s);
    QVERIFY(!rig.form.isVisible());
    // 528.75 x 84.75 points.
    QCOMPARE(rig.form.size(), QSize(705, 113));
    QCOMPARE(rig.form.innerWidthPoints(), 528.75);
    QCOMPARE(rig.form.innerHeightPoints(), 84.75);

    RowLabel* upper = rig.label(u"Label1"_s);
    RowLabel* lower = rig.label(u"Label2"_s);
    QVERIFY(upper && lower);
    QCOMPARE(upper->text(), u"講演の開始から\u3000 nn分ss秒"_s);
    QCOMPARE(lower->text(), u"発表時間終了まで nn分ss秒"_s);
    for (RowLabel* row : {upper, lower}) {
        QCOMPARE(row->foreground(), cyan);
        QCOMPARE(row->background(), black);
        QCOMPARE(row->palette().color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(row->palette().color(QPalette::WindowText), QColor(Qt::cyan));
        QVERIFY(row->autoFillBackground());
        QCOMPARE(row->frameShadow(), QFrame::Sunken);
        QCOMPARE(row->pos(), QPoint(0, 0));
        QCOMPARE(row->font().pointSizeF(), 42.0);
        QCOMPARE(row->font().weight(), QFont::Normal);
        QVERIFY(!row->font().italic() && !row->font().underline() && !row->font().strikeOut());
    }
    // Each row has a font object of its own.
    QVERIFY(&upper->font() != &lower->font());
}

void TestForm1::layoutOnWidgets_data()
{
    QTest::addColumn<QSize>("inner");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QRect>("upper");
    QTest::addColumn<QRect>("lower");
    QTest::addColumn<bool>("upperShown");
    QTest::addColumn<bool>("lowerShown");
    QTest::addColumn<double>("size");
    QTest::addColumn<int>("form");

    // 528.75 x 84.75 points: half of 113 pixels is 56.5; the rows meet at 57 and the lower one ends at 113.
    QTest::newRow("size at creation, both rows")
        << QSize(705, 113) << 1 << QRect(0, 0, 705, 57) << QRect(0, 57, 705, 56) << true << true << 41.3 << 0;
    QTest::newRow("size at creation, upper row only")
        << QSize(705, 113) << 2 << QRect(0, 0, 705, 113) << QRect(0, 0, 705, 113) << true << false << 41.3 << 0;
    QTest::newRow("size at creation, lower row only")
        << QSize(705, 113) << 3 << QRect(0, 0, 705, 113) << QRect(0, 0, 705, 113) << false << true << 41.3 << 0;
    // 300 x 201 points: F1 = min(99.5, 23) = 23, F2 = min(45.23, 32.33) = 32.33.
    QTest::newRow("narrow and tall, both rows")
        << QSize(400, 268) << 1 << QRect(0, 0, 400, 134) << QRect(0, 134, 400, 134) << true << true << 32.333 << 1;
    // 1002 x 99 points: F1 = min(48.5, 79.16) = 48.5, F2 = min(21.59, 110.33) = 21.59.
    QTest::newRow("wide and low, both rows")
        << QSize(1336, 132) << 1 << QRect(0, 0, 1336, 66) << QRect(0, 66, 1336, 66) << true << true << 48.5 << 0;
    // 300.75 x 75.75 points: half of 101 pixels is 50.5; F1 = min(36.88, 23.06) = 23.06.
    QTest::newRow("odd height, both rows")
        << QSize(401, 101) << 1 << QRect(0, 0, 401, 51) << QRect(0, 51, 401, 50) << true << true << 23.06 << 0;
    // 201 x 300 points: F1 = min(299, 15.08) = 15.08, F2 = min(135.9, 21.33) = 21.33.
    QTest::newRow("tall, lower row only")
        << QSize(268, 400) << 3 << QRect(0, 0, 268, 400) << QRect(0, 0, 268, 400) << false << true << 21.333 << 1;
}

void TestForm1::layoutOnWidgets()
{
    QFETCH(QSize, inner);
    QFETCH(int, mode);
    QFETCH(QRect, upper);
    QFETCH(QRect, lower);
    QFETCH(bool, upperShown);
    QFETCH(bool, lowerShown);
    QFETCH(double, size);
    QFETCH(int, form);
    Rig rig;

    rig.settings.setOption(mode, true);
    rig.form.showRows(rig.settings.rowMode());
    QVERIFY(rig.showForm());
    // The window system's notice of the new size alone must lay the rows out.
    rig.form.resize(inner);
    QTRY_COMPARE(rig.form.size(), inner);
    QTRY_COMPARE(rig.row(u"Label1"_s)->geometry(), upper);
    QCOMPARE(rig.row(u"Label2"_s)->geometry(), lower);
    QCOMPARE(rig.row(u"Label1"_s)->isVisible(), upperShown);
    QCOMPARE(rig.row(u"Label2"_s)->isVisible(), lowerShown);
    QVERIFY2(qAbs(rig.row(u"Label1"_s)->font().pointSizeF() - size) < 0.001,
             qPrintable(QString::number(rig.row(u"Label1"_s)->font().pointSizeF())));
    QCOMPARE(rig.row(u"Label2"_s)->font().pointSizeF(), rig.row(u"Label1"_s)->font().pointSizeF());
    QCOMPARE(rig.form.fmtIndex(), form);
}

void TestForm1::rowsMeetAtEverySize()
{
    Rig rig;
    for (int height = 1; height <= 240; ++height) {
        rig.form.resize(300, height);
        rig.form.Form_Resize();
        const QRect upper = rig.row(u"Label1"_s)->geometry();
        const QRect lower = rig.row(u"Label2"_s)->geometry();
        const QByteArray at = QByteArray::number(height);
        QVERIFY2(upper.top() == 0 && lower.top() == upper.bottom() + 1, at.data());
        QVERIFY2(lower.bottom() + 1 == height, at.data());
        QVERIFY2(qAbs(upper.height() - lower.height()) <= 1, at.data());
    }
}

void TestForm1::modeChangeThenLayout_data()
{
    QTest::addColumn<QSize>("inner");
    QTest::addColumn<QRect>("lowerBoth");
    QTest::addColumn<double>("sizeBoth");
    QTest::addColumn<int>("formBoth");
    QTest::addColumn<double>("sizeUpper");
    QTest::addColumn<int>("formUpper");

    // 528.75 x 84.75 points: the width bounds the one-line form in either mode, so only the heights change.
    QTest::newRow("size at creation") << QSize(705, 113) << QRect(0, 57, 705, 56) << 41.3 << 0 << 41.3 << 0;
    // 1002 x 300 points. Both rows: F1 = min(149, 79.16) = 79.16 beats F2 = min(67.73, 110.33).
    // One row: F2 = min(135.91, 110.33) = 110.33 beats F1 = min(299, 79.16), so size and form change too.
    QTest::newRow("wide and tall") << QSize(1336, 400) << QRect(0, 200, 1336, 200) << 79.16 << 0 << 110.333 << 1;
}

void TestForm1::modeChangeThenLayout()
{
    QFETCH(QSize, inner);
    QFETCH(QRect, lowerBoth);
    QFETCH(double, sizeBoth);
    QFETCH(int, formBoth);
    QFETCH(double, sizeUpper);
    QFETCH(int, formUpper);
    Rig rig;
    const auto closeTo = [](double actual, double expected) {
        return qAbs(actual - expected) < 0.01;
    };

    QVERIFY(rig.showForm());
    rig.form.resize(inner);
    QTRY_COMPARE(rig.row(u"Label2"_s)->geometry(), lowerBoth);
    // The rows meet where the lower one starts.
    QCOMPARE(rig.row(u"Label1"_s)->geometry(), QRect(0, 0, inner.width(), lowerBoth.top()));
    QVERIFY2(closeTo(rig.row(u"Label1"_s)->font().pointSizeF(), sizeBoth),
             qPrintable(QString::number(rig.row(u"Label1"_s)->font().pointSizeF())));
    QCOMPARE(rig.form.fmtIndex(), formBoth);

    // Confirming "upper row only": the rule, then one layout pass, changes heights, top edge, type size and
    // display form at once.
    rig.settings.setOption(2, true);
    rig.form.showRows(rig.settings.rowMode());
    rig.form.Form_Resize();
    const QRect whole(QPoint(0, 0), inner);
    QCOMPARE(rig.row(u"Label1"_s)->geometry(), whole);
    QCOMPARE(rig.row(u"Label2"_s)->geometry(), whole);
    QVERIFY(rig.row(u"Label1"_s)->isVisible());
    QVERIFY(!rig.row(u"Label2"_s)->isVisible());
    QVERIFY2(closeTo(rig.row(u"Label1"_s)->font().pointSizeF(), sizeUpper),
             qPrintable(QString::number(rig.row(u"Label1"_s)->font().pointSizeF())));
    QCOMPARE(rig.row(u"Label2"_s)->font().pointSizeF(), rig.row(u"Label1"_s)->font().pointSizeF());
    QCOMPARE(rig.form.fmtIndex(), formUpper);

    // A row mode of none leaves the rows as they are.
    rig.settings.setRowMode(SettingsRecord::RowMode::None);
    rig.form.showRows(rig.settings.rowMode());
    rig.form.Form_Resize();
    QVERIFY(rig.row(u"Label1"_s)->isVisible());
    QVERIFY(!rig.row(u"Label2"_s)->isVisible());
    QCOMPARE(rig.row(u"Label1"_s)->geometry(), whole);
}

void TestForm1::formChangeReachesRowsAtNextTick()
{
    Rig rig;
    QVERIFY(rig.showForm());
    rig.count.restart();
    QVERIFY(!rig.label(u"Label1"_s)->text().contains(u'\n'));
    rig.form.resize(400, 268);
    QTRY_COMPARE(rig.form.fmtIndex(), 1);
    rig.ticker.fire();
    QCOMPARE(rig.label(u"Label1"_s)->lines(), QStringList({u"講演の開始から"_s, u"00 分 00 秒"_s}));
    QCOMPARE(rig.label(u"Label2"_s)->lines(), QStringList({u"発表時間終了まで"_s, u"10 分 00 秒"_s}));
}

void TestForm1::fontPassesTheWidthCheck()
{
    Rig rig;
    // Chosen as the window shows, unasked; really the one drawn, not a substitute the font system picked for a
    // missing name.
    QVERIFY(rig.showForm());
    const QString family = chooseRowFamily();
    QCOMPARE(QFontInfo(rig.row(u"Label1"_s)->font()).family(), QFontInfo(rowFont(family, 20.0)).family());
    QCOMPARE(rig.form.rowFamily(), family);
    QVERIFY2(hasDoubleWidthCharacters(rowFont(family, 20.0)), qPrintable(family));
    // Where none of the faces tried before it is installed, the IPA face is the one chosen.
    const QStringList candidates = rowFamilyCandidates();
    const qsizetype ipa = candidates.indexOf(u"IPAGothic"_s);
    QVERIFY(ipa > 0);
    const bool earlierInstalled = std::any_of(candidates.cbegin(), candidates.cbegin() + ipa,
                                              [](const QString& f) { return QFontDatabase::hasFamily(f); });
    if (!earlierInstalled && QFontDatabase::hasFamily(u"IPAGothic"_s))
        QCOMPARE(family, u"IPAGothic"_s);
}

void TestForm1::widthCheck_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<bool>("passes");

    QTest::newRow("fixed-pitch Japanese") << u"IPAGothic"_s << true;
    QTest::newRow("proportional Japanese") << u"IPAPGothic"_s << false;
    QTest::newRow("fixed-pitch without Japanese") << u"DejaVu Sans Mono"_s << false;
    QTest::newRow("proportional Latin") << u"DejaVu Sans"_s << false;
    QTest::newRow("fixed-pitch Japanese of fonts-noto-cjk") << u"Noto Sans Mono CJK JP"_s << true;
    QTest::newRow("the intended face, which Windows brings") << u"MS Gothic"_s << true;
}

void TestForm1::widthCheck()
{
    QFETCH(QString, family);
    QFETCH(bool, passes);
    if (!QFontDatabase::hasFamily(family))
        QSKIP("face not installed");
    QCOMPARE(hasDoubleWidthCharacters(rowFont(family, 12.0)), passes);
}

void TestForm1::candidatesSkipFacesThatFail()
{
    if (!QFontDatabase::hasFamily(u"IPAGothic"_s) || !QFontDatabase::hasFamily(u"IPAPGothic"_s))
        QSKIP("IPA faces not installed");
    const QStringList candidates{u"No Such Face Anywhere"_s, u"IPAPGothic"_s, u"DejaVu Sans Mono"_s, u"IPAGothic"_s};
    QCOMPARE(chooseRowFamily(candidates), u"IPAGothic"_s);
    // The intended face comes first, under its own name.
    QCOMPARE(rowFamilyCandidates().constFirst(), u"ＭＳ ゴシック"_s);
}

void TestForm1::timesLineUpInOneLineForm()
{
    Rig rig;
    QVERIFY(rig.showForm());
    rig.count.restart();
    QCOMPARE(rig.form.fmtIndex(), 0);
    const QFont font = rig.row(u"Label1"_s)->font();
    const QFontMetricsF metrics(font);
    const QString upper = rig.label(u"Label1"_s)->text();
    const QString lower = rig.label(u"Label2"_s)->text();
    QCOMPARE(upper, u"講演の開始から   00分00秒"_s);
    QCOMPARE(lower, u"発表時間終了まで 10分00秒"_s);
    // Centred lines of equal width put the two times under one another, to a hundredth of a pixel.
    QVERIFY2(
        qAbs(metrics.horizontalAdvance(upper) - metrics.horizontalAdvance(lower)) < 0.01,
        qPrintable(
            QStringLiteral("%1 vs %2").arg(metrics.horizontalAdvance(upper)).arg(metrics.horizontalAdvance(lower))));
    // The line fits the row at the chosen size.
    QVERIFY(metrics.horizontalAdvance(upper) <= rig.row(u"Label1"_s)->contentsRect().width());
}

void TestForm1::lines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("one line") << u"発表時間終了まで 10分00秒"_s << QStringList{u"発表時間終了まで 10分00秒"_s};
    QTest::newRow("CR LF") << u"発表時間終了まで\r\n10 分 00 秒"_s
                           << QStringList{u"発表時間終了まで"_s, u"10 分 00 秒"_s};
    QTest::newRow("empty heading") << u"\r\n10 分 00 秒"_s << QStringList{QString(), u"10 分 00 秒"_s};
    QTest::newRow("lone LF") << u"a\nb"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("lone CR") << u"a\rb"_s << QStringList{u"a"_s, u"b"_s};
}

void TestForm1::lines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    Rig rig;
    RowLabel* upper = rig.label(u"Label1"_s);
    rig.form.setUpperText(text);
    QCOMPARE(upper->text(), text);
    QCOMPARE(upper->lines(), lines);
}

void TestForm1::lineBreakDrawsNoGlyph()
{
    Rig rig;
    QVERIFY(rig.showForm());
    rig.form.resize(400, 268);
    QTRY_COMPARE(rig.row(u"Label1"_s)->size(), QSize(400, 134));
    RowLabel* upper = rig.label(u"Label1"_s);
    rig.form.setUpperText(u"講演の開始から\r\n00 分 00 秒"_s);
    const QImage withCr = upper->grab().toImage();
    rig.form.setUpperText(u"講演の開始から\n00 分 00 秒"_s);
    const QImage withoutCr = upper->grab().toImage();
    rig.form.setUpperText(u"講演の開始から"_s);
    const QImage headingOnly = upper->grab().toImage();
    QCOMPARE(withCr, withoutCr);
    // And the second line is drawn at all.
    QVERIFY(withCr != headingOnly);
}

void TestForm1::changedTextDrawsAsIfWhole_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("a second") << u"講演の開始から\r\n00 分 14 秒"_s << u"講演の開始から\r\n00 分 15 秒"_s;
    QTest::newRow("ten seconds") << u"講演の開始から\r\n00 分 19 秒"_s << u"講演の開始から\r\n00 分 20 秒"_s;
    QTest::newRow("a minute") << u"講演の開始から\r\n09 分 59 秒"_s << u"講演の開始から\r\n10 分 00 秒"_s;
    QTest::newRow("heading") << u"発表時間終了まで\r\n00 分 00 秒"_s << u"質疑応答終了まで\r\n05 分 00 秒"_s;
    QTest::newRow("one-line form") << u"講演の開始から\u3000 00分59秒"_s << u"講演の開始から\u3000 01分00秒"_s;
    QTest::newRow("other length") << u"発表時間終了まで 00分01秒"_s << u"超過 00分01秒"_s;
    QTest::newRow("other width") << u"開始 00分01秒"_s << u"開始 00分0１秒"_s;
}

void TestForm1::changedTextDrawsAsIfWhole()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    Rig rig;
    QVERIFY(rig.showForm());
    rig.form.resize(600, 268);
    QTRY_COMPARE(rig.row(u"Label1"_s)->size(), QSize(600, 134));
    RowLabel* upper = rig.label(u"Label1"_s);
    const auto shown = [&] {
        QCoreApplication::processEvents();
        const QPoint at = upper->mapTo(&rig.form, QPoint(0, 0));
        // What the window holds: only what was drawn again changed in it.
        return rig.form.screen()->grabWindow(rig.form.winId()).toImage().copy(QRect(at, upper->size()));
    };
    rig.form.setUpperText(before);
    shown();
    rig.form.setUpperText(after);
    const QImage afterChange = shown().convertToFormat(QImage::Format_RGB32);
    const QImage whole = upper->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(afterChange.size(), whole.size());
    QVERIFY(afterChange == whole);
}

void TestForm1::tooWideLineIsCutNotWrapped()
{
    Rig rig;
    QVERIFY(rig.showForm());
    rig.form.resize(400, 268);
    QTRY_COMPARE(rig.row(u"Label1"_s)->size(), QSize(400, 134));
    RowLabel* upper = rig.label(u"Label1"_s);
    const QFontMetricsF metrics(upper->font());
    // Far wider than the row, with spaces where a wrapping label would break it.
    const QString text = u"講演の開始から 講演の開始から 講演の開始から 12分34秒"_s;
    QVERIFY(metrics.horizontalAdvance(text) > 2 * upper->width());
    rig.form.setUpperText(text);
    const QImage image = upper->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect area = upper->contentsRect();
    const int secondLineTop = area.top() + int(std::ceil(metrics.lineSpacing())) + 1;
    QVERIFY(secondLineTop < area.bottom());
    for (int y = secondLineTop; y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) != rgbOf(black))
                QFAIL(qPrintable(QStringLiteral("text below the first line at %1,%2").arg(x).arg(y)));
        }
    }
    // The first line is drawn right up to both edges.
    bool nearLeft = false;
    bool nearRight = false;
    for (int y = area.top(); y < secondLineTop; ++y) {
        for (int dx = 0; dx < 6; ++dx) {
            nearLeft = nearLeft || image.pixel(area.left() + dx, y) != rgbOf(black);
            nearRight = nearRight || image.pixel(area.right() - dx, y) != rgbOf(black);
        }
    }
    QVERIFY(nearLeft && nearRight);
}

void TestForm1::lineStart_data()
{
    QTest::addColumn<double>("line");
    QTest::addColumn<double>("row");
    QTest::addColumn<double>("start");

    QTest::newRow("narrow line centred") << 50.0 << 100.0 << 25.0;
    QTest::newRow("exact fit") << 100.0 << 100.0 << 0.0;
    QTest::newRow("too wide keeps its end") << 130.0 << 100.0 << -30.0;
}

void TestForm1::lineStart()
{
    QFETCH(double, line);
    QFETCH(double, row);
    QFETCH(double, start);
    QCOMPARE(RowLabel::lineStart(line, row), start);
}

void TestForm1::mouseRouting_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("press");
    QTest::addColumn<int>("prompts");
    QTest::addColumn<int>("settingsRequests");

    const QStringList sources{u"Form1"_s, u"Label1"_s, u"Label2"_s};
    for (const QString& source : sources) {
        const QByteArray s = source.toLatin1();
        QTest::addRow("%s left press", s.data()) << source << Qt::LeftButton << true << 0 << 0;
        QTest::addRow("%s left release", s.data()) << source << Qt::LeftButton << false << 1 << 0;
        QTest::addRow("%s right press", s.data()) << source << Qt::RightButton << true << 0 << 1;
        QTest::addRow("%s right release", s.data()) << source << Qt::RightButton << false << 0 << 0;
        QTest::addRow("%s middle press", s.data()) << source << Qt::MiddleButton << true << 0 << 0;
        QTest::addRow("%s middle release", s.data()) << source << Qt::MiddleButton << false << 0 << 0;
    }
}

void TestForm1::mouseRouting()
{
    QFETCH(QString, source);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, press);
    QFETCH(int, prompts);
    QFETCH(int, settingsRequests);
    Rig rig;

    QVERIFY(rig.showForm());
    QSignalSpy requests(&rig.form, &Form1::settingsRequested);
    QWidget* target = source == u"Form1"_s ? static_cast<QWidget*>(&rig.form) : rig.row(source);
    QVERIFY(target);
    const QPoint where(10, 10);
    if (press)
        QTest::mousePress(target, button, {}, where);
    else
        QTest::mouseRelease(target, button, {}, where);

    QCOMPARE(rig.dialogs.shown().size(), prompts);
    if (prompts > 0) {
        QCOMPARE(rig.dialogs.shown().constFirst().kind, u"ask"_s);
        QCOMPARE(rig.dialogs.shown().constFirst().caption, u"Lectern"_s);
        QCOMPARE(rig.dialogs.shown().constFirst().text, u"カウントをリセットしますか？"_s);
    }
    QCOMPARE(requests.size(), settingsRequests);
}

void TestForm1::promptAnswer_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("upper");
    QTest::addColumn<QString>("lower");

    QTest::newRow("OK restarts the count") << true << u"講演の開始から   00分00秒"_s << u"発表時間終了まで 10分00秒"_s;
    QTest::newRow("Cancel leaves it running")
        << false << u"講演の開始から   01分05秒"_s << u"発表時間終了まで 08分55秒"_s;
}

void TestForm1::promptAnswer()
{
    QFETCH(bool, ok);
    QFETCH(QString, upper);
    QFETCH(QString, lower);
    Rig rig;

    QVERIFY(rig.showForm());
    rig.count.restart();
    rig.clock.advance(65.0);
    rig.ticker.fire();
    QCOMPARE(rig.label(u"Label1"_s)->text(), u"講演の開始から   01分05秒"_s);

    rig.dialogs.queueAnswer(ok);
    QTest::mouseClick(rig.row(u"Label2"_s), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(rig.dialogs.shown().size(), 1);
    QCOMPARE(rig.label(u"Label1"_s)->text(), upper);
    QCOMPARE(rig.label(u"Label2"_s)->text(), lower);
    QVERIFY(rig.ticker.isEnabled());
}

void TestForm1::captionWhileMinimised()
{
    Rig rig;
    QVERIFY(rig.showForm());
    rig.count.restart();
    rig.form.setWindowState(Qt::WindowMinimized);
    QVERIFY(rig.form.isMinimised());
    // At once, not at the next turn of the second.
    QCOMPARE(rig.form.windowTitle(), u"00:00/Lectern"_s);
    rig.clock.advance(330.0);
    rig.ticker.fire();
    QCOMPARE(rig.form.windowTitle(), u"05:30/Lectern"_s);
    rig.form.setWindowState(Qt::WindowNoState);
    QVERIFY(!rig.form.isMinimised());
    rig.ticker.fire();
    QCOMPARE(rig.form.windowTitle(), u"Lectern"_s);
}

void TestForm1::closingEmitsClosed()
{
    Rig rig;
    QVERIFY(rig.showForm());
    QSignalSpy closed(&rig.form, &Form1::closed);
    QVERIFY(rig.form.close());
    QCOMPARE(closed.size(), 1);
    QVERIFY(!rig.form.isVisible());
    // Nothing was asked on the way out.
    QVERIFY(rig.dialogs.shown().isEmpty());
}

void TestForm1::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("asked");

    const int shift = Qt::ShiftModifier;
    const int ctrl = Qt::ControlModifier;
    QTest::newRow("Space") << int(Qt::Key_Space) << 0 << u"pause"_s;
    QTest::newRow("Shift+Space") << int(Qt::Key_Space) << shift << QString();
    QTest::newRow("Right") << int(Qt::Key_Right) << 0 << u"adjust 10"_s;
    QTest::newRow("Left") << int(Qt::Key_Left) << 0 << u"adjust -10"_s;
    QTest::newRow("Shift+Right") << int(Qt::Key_Right) << shift << u"adjust 60"_s;
    QTest::newRow("Shift+Left") << int(Qt::Key_Left) << shift << u"adjust -60"_s;
    QTest::newRow("keypad Right") << int(Qt::Key_Right) << int(Qt::KeypadModifier) << u"adjust 10"_s;
    QTest::newRow("Ctrl+Right") << int(Qt::Key_Right) << ctrl << QString();
    QTest::newRow("Alt+Left") << int(Qt::Key_Left) << int(Qt::AltModifier) << QString();
    QTest::newRow("Ctrl+Shift+Left") << int(Qt::Key_Left) << (ctrl | shift) << QString();
    QTest::newRow("N") << int(Qt::Key_N) << 0 << u"skip"_s;
    QTest::newRow("Shift+N") << int(Qt::Key_N) << shift << QString();
    QTest::newRow("B") << int(Qt::Key_B) << 0 << u"bell"_s;
    QTest::newRow("Ctrl+B") << int(Qt::Key_B) << ctrl << QString();
    QTest::newRow("D") << int(Qt::Key_D) << 0 << u"speaker"_s;
    QTest::newRow("Ctrl+D") << int(Qt::Key_D) << ctrl << QString();
    QTest::newRow("R, then OK") << int(Qt::Key_R) << 0 << u"restart"_s;
    QTest::newRow("Ctrl+R") << int(Qt::Key_R) << ctrl << QString();
    QTest::newRow("T, then OK") << int(Qt::Key_T) << 0 << u"rehearsal"_s;
    QTest::newRow("Shift+T") << int(Qt::Key_T) << shift << QString();
    QTest::newRow("S") << int(Qt::Key_S) << 0 << u"settings"_s;
    QTest::newRow("Ctrl+S") << int(Qt::Key_S) << ctrl << QString();
}

void TestForm1::keys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, asked);
    Rig rig;
    QVERIFY(rig.showForm());
    rig.dialogs.queueAnswer(true);
    QStringList requests;
    const auto note = [&requests](const QString& what) {
        return [&requests, what] {
            requests << what;
        };
    };
    connect(&rig.form, &Form1::speakerScreenRequested, this, note(u"speaker"_s));
    connect(&rig.form, &Form1::settingsRequested, this, note(u"settings"_s));
    connect(&rig.form, &Form1::commandRequested, this, [&requests](const CountCommand& c) {
        requests << QString::fromLatin1(countCommandText(c)).replace(u'=', u' ');
    });

    QTest::keyClick(&rig.form, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(requests.join(u", "_s), asked);
    // Held down, a key acts once.
    QKeyEvent repeat(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), QString(), true);
    QApplication::sendEvent(&rig.form, &repeat);
    QCOMPARE(requests.join(u", "_s), asked);
}

void TestForm1::fullScreenKeys()
{
    Rig rig;
    QVERIFY(rig.showForm());
    for (const Qt::Key leave : {Qt::Key_F11, Qt::Key_Escape}) {
        QTest::keyClick(&rig.form, Qt::Key_F11);
        QTRY_VERIFY(rig.form.isFullScreen());
        QTest::keyClick(&rig.form, leave);
        QTRY_VERIFY(!rig.form.isFullScreen());
    }
    QTest::keyClick(&rig.form, Qt::Key_F11, Qt::ControlModifier);
    QTest::keyClick(&rig.form, Qt::Key_Escape);
    QVERIFY(!rig.form.isFullScreen());
}

void TestForm1::pauseLook()
{
    Rig rig;
    QVERIFY(rig.showForm());
    rig.settings.setColour(SettingsRecord::Swatch::t1f, 0x00FFFFFFu);
    rig.settings.setColour(SettingsRecord::Swatch::t1b, 0x00000080u);
    rig.count.restart();
    RowLabel* upper = rig.label(u"Label1"_s);
    rig.count.togglePause();
    QCOMPARE(rig.form.windowTitle(), u"Lectern（一時停止）"_s);
    // Said in the window too, in place of the heading, the time where the heading left it.
    QCOMPARE(upper->text(), u"一時停止         00分00秒"_s);
    rig.count.adjust(70.0);
    QCOMPARE(upper->text(), u"一時停止         01分10秒"_s);
    const QSize oneLine = rig.form.size();
    rig.form.resize(400, 268);
    QTRY_COMPARE(upper->text(), u"一時停止\r\n01 分 10 秒"_s);
    rig.form.resize(oneLine);
    QTRY_COMPARE(rig.form.fmtIndex(), 0);
    // Dimmed at once to 40 % of the contrast, then blinking back to the whole colour every half second.
    QCOMPARE(upper->foreground(), ColourValue(0x006666B3u));
    QCOMPARE(rig.label(u"Label2"_s)->foreground(), ColourValue(0x006666B3u));
    QCOMPARE(upper->background(), ColourValue(0x00000080u));
    QTRY_COMPARE(upper->foreground(), ColourValue(0x00FFFFFFu));
    QTRY_COMPARE(upper->foreground(), ColourValue(0x006666B3u));
    rig.count.togglePause();
    QCOMPARE(rig.form.windowTitle(), u"Lectern"_s);
    QCOMPARE(upper->foreground(), ColourValue(0x00FFFFFFu));
    QVERIFY(upper->text().startsWith(defaultHeading(1)));
    rig.count.startRehearsal();
    rig.count.togglePause();
    QCOMPARE(rig.form.windowTitle(), u"Lectern（リハーサル）（一時停止）"_s);
}

void TestForm1::speakerWindow_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("rowMode");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("heading");
    // The digits' least height, in hundredths of the window's.
    QTest::addColumn<int>("digits");

    QTest::newRow("wide screen, presentation") << QSize(1920, 1080) << 1 << 1.0 << defaultHeading(2) << 50;
    QTest::newRow("5:4 screen, upper row only in the window")
        << QSize(1280, 1024) << 2 << 1.0 << defaultHeading(2) << 50;
    QTest::newRow("5:4 screen, overtime past an hour") << QSize(1280, 1024) << 1 << 5000.0 << defaultHeading(4) << 50;
    // Upright, the width is what limits them.
    QTest::newRow("portrait screen, discussion") << QSize(768, 1024) << 3 << 700.0 << defaultHeading(3) << 40;
}

void TestForm1::speakerWindow()
{
    QFETCH(QSize, size);
    QFETCH(int, rowMode);
    QFETCH(double, seconds);
    QFETCH(QString, heading);
    QFETCH(int, digits);

    Rig rig;
    QVERIFY(rig.showForm());
    rig.settings.setRowMode(SettingsRecord::optionMode(rowMode));
    rig.count.restart();
    // Opened while the main window's caption shows the count, it keeps its own.
    rig.form.setWindowState(Qt::WindowMinimized);
    SpeakerWindow speaker(rig.settings, rig.form, rig.shown, rig.count);
    QCOMPARE(speaker.windowTitle(), u"Lectern（講演者用）"_s);
    rig.form.setWindowState(Qt::WindowNoState);
    speaker.resize(size);
    speaker.show();
    QVERIFY(QTest::qWaitForWindowExposed(&speaker));
    // The lower row's period whatever rows the window shows, one pass of the event loop after the count wrote it.
    rig.clock.advance(seconds);
    rig.ticker.fire();
    QTRY_COMPARE(speaker.reading().heading, heading);
    const QColor ink = toQColor(speaker.reading().foreground);
    const QRect digitsBox = speakerFaceLayout(speaker.rect()).digits;
    // Lines of pixels in `area` that hold the digits' whole colour.
    const auto inkRows = [&](const QImage& image, const QRect& area) {
        int rows = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); x += 2)
                if (image.pixelColor(x, y) == ink && ++rows > 0)
                    break;
        return rows;
    };
    QImage shot = speaker.grab().toImage();
    // The phase's background fills it; the digits' ink is at least half the window's height.
    QCOMPARE(shot.pixelColor(1, 1), toQColor(speaker.reading().background));
    QVERIFY2(inkRows(shot, digitsBox) * 100 >= size.height() * digits,
             qPrintable(QString::number(inkRows(shot, digitsBox))));
    // Paused: the digits dimmed, the whole colour only in the word across them.
    rig.count.togglePause();
    QTRY_VERIFY(speaker.reading().paused);
    shot = speaker.grab().toImage();
    QRect band = digitsBox;
    band.setHeight(digitsBox.height() * 2 / 5);
    band.moveCenter(digitsBox.center());
    QCOMPARE(inkRows(shot, digitsBox.adjusted(0, 0, 0, band.top() - digitsBox.bottom() - 1)), 0);
    QVERIFY(inkRows(shot, band) > band.height() / 2);

    // A key does what it does on the main window; a click does nothing.
    QSignalSpy paused(&rig.form, &Form1::commandRequested);
    QSignalSpy settings(&rig.form, &Form1::settingsRequested);
    QTest::keyClick(&speaker, Qt::Key_Space);
    QCOMPARE(paused.size(), 1);
    QTest::mouseClick(&speaker, Qt::LeftButton);
    QTest::mouseClick(&speaker, Qt::RightButton);
    QVERIFY(rig.dialogs.shown().isEmpty());
    QCOMPARE(settings.size(), 0);
    // The pointer hides over it once still for two seconds, and comes back when moved.
    QTRY_COMPARE_WITH_TIMEOUT(speaker.cursor().shape(), Qt::BlankCursor, 4000);
    QMouseEvent move(QEvent::MouseMove, QPointF(20, 20), speaker.mapToGlobal(QPointF(20, 20)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&speaker, &move);
    QCOMPARE(speaker.cursor().shape(), Qt::ArrowCursor);
}

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
