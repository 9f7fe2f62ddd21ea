#include "build_info.h"
#include "fake_dialogs.h"
#include "fake_file_access.h"
#include "settings/settings_record.h"
#include "settings_dialog/form2.h"
#include "settings_dialog/space_run_label.h"
#include "widgets/show_and_raise.h"
#include "widgets/widget_dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;
using Text = SettingsRecord::Text;
using Swatch = SettingsRecord::Swatch;

namespace {

const QString iniPath = u"/opt/lectern/Lectern.ini"_s;

/// The settings dialog with fakes around it, as start-up wires it. `told` logs what the dialog signalled to
/// the main window, in order: "confirmed:<row mode>", "restart".
struct Rig {
    SettingsRecord record;
    FakeFileAccess files;
    FakeDialogs dialogs;
    Form2 form{record, files, dialogs, iniPath};
    QStringList told;

    Rig()
    {
        // Laid out as when it is first shown.
        form.ensurePolished();
        form.takeCancelCopy();
        QObject::connect(&form, &Form2::confirmed, &form,
                         [this](SettingsRecord::RowMode mode) { told << u"confirmed:%1"_s.arg(int(mode)); });
        QObject::connect(&form, &Form2::restartRequested, &form, [this] { told << u"restart"_s; });
    }
    template <class T = QWidget> T* find(const QString& name) const
    {
        T* w = form.findChild<T*>(name);
        if (!w)
            qWarning("no control %s", qPrintable(name));
        return w;
    }
    QLineEdit* field(const QString& name) const { return find<QLineEdit>(name); }
    bool showActive()
    {
        showAndRaise(form);
        return QTest::qWaitForWindowActive(&form);
    }
};

/// Types `text` key by key, as a keyboard or an input method that commits character by character would.
void typeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

QColor swatchPixel(QWidget* swatch)
{
    return swatch->grab().toImage().pixelColor(swatch->width() / 2, swatch->height() / 2);
}

/// Runs `answer` on the first modal window that opens from now on when it is a D, which must close it; any
/// other modal window is closed unanswered.
template <class D> void whenModalOpens(std::function<void(D*)> answer)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer = std::move(answer)] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            if (auto* dialog = qobject_cast<D*>(modal))
                answer(dialog);
            else
                modal->close();
        }
    });
    timer->start();
}

} // namespace

class TestForm2 : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void window();
    void controls_data();
    void controls();
    void fieldsLieOverSpaces_data();
    void fieldsLieOverSpaces();
    void label6Font();

    void inputLimits_data();
    void inputLimits();
    void programTextIsNotLimited();
    void fieldsBoundToRecord_data();
    void fieldsBoundToRecord();
    void optionsBoundToRowMode_data();
    void optionsBoundToRowMode();

    void tabOrder();
    void enterAndEscapePressNothing_data();
    void enterAndEscapePressNothing();
    void frameCloseIsCancel();
    void buttons_data();
    void buttons();

    void swatches_data();
    void swatches();
    void filePicker();
    void pictureShowsIcon();

    void realInvalidTimesBox();
    void realColourDialog();
    void realFileDialog();
};

void TestForm2::initTestCase()
{
    // The widget dialogs, not the desktop's, so the test can answer them.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void TestForm2::window()
{
    Rig rig;
    QCOMPARE(rig.form.windowTitle(), u"設定"_s);
    QCOMPARE(rig.form.logicalDpiX(), 96);
    QCOMPARE(rig.form.size(), QSize(452, 314));
    QCOMPARE(rig.form.minimumSize(), rig.form.maximumSize());
    const Qt::WindowFlags flags = rig.form.windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    // Owned by no window, and not a transient dialog that would be kept above the main window.
    QCOMPARE(rig.form.parentWidget(), nullptr);
    QCOMPARE(rig.form.windowType(), Qt::Window);
    QVERIFY(!rig.form.isVisible());
}

void TestForm2::controls_data()
{
    // Pixels at 96 DPI, relative to the parent. Labels that size themselves to their text keep only their top
    // left corner from the design, given here with a size of -1.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels");
    QTest::addColumn<QString>("caption");
    auto at = [](int x, int y) {
        return QRect(x, y, -1, -1);
    };

    QTest::newRow("Picture1") << u"Picture1"_s << QRect(8, 8, 33, 41) << QString();
    QTest::newRow("Label8") << u"Label8"_s << QRect(48, 8, 201, 17)
                            << u"Lectern "_s + QString::fromUtf16(programVersion);
    QTest::newRow("Label11") << u"Label11"_s << QRect(48, 24, 193, 17) << u"右クリックで設定、左クリックでリセット"_s;
    QTest::newRow("Frame1") << u"Frame1"_s << QRect(0, 56, 241, 41) << u"表示形式"_s;
    QTest::newRow("Option1 in Frame1") << u"Option1"_s << QRect(8, 16, 81, 17) << u"上下段とも"_s;
    QTest::newRow("Option2 in Frame1") << u"Option2"_s << QRect(88, 16, 73, 17) << u"上段のみ"_s;
    QTest::newRow("Option3 in Frame1") << u"Option3"_s << QRect(160, 16, 73, 17) << u"下段のみ"_s;
    QTest::newRow("Label7") << u"Label7"_s << at(248, 56) << u"予鈴WAVEファイル"_s;
    QTest::newRow("wavefile") << u"wavefile"_s << QRect(248, 72, 161, 18) << QString();
    QTest::newRow("Command1") << u"Command1"_s << QRect(424, 72, 17, 17) << u"..."_s;
    QTest::newRow("playBtn") << u"playBtn"_s << QRect(384, 52, 57, 19) << u"試聴"_s;
    QTest::newRow("Label9") << u"Label9"_s << QRect(176, 112, 257, 17)
                            << u"表示メッセージ（全角8字以内）　　文字色　背景色"_s;
    QTest::newRow("Label10") << u"Label10"_s << at(8, 128) << u"上段（カウントアップ）"_s;
    QTest::newRow("Text1") << u"Text1"_s << QRect(208, 128, 105, 18) << QString();
    QTest::newRow("t1f") << u"t1f"_s << QRect(344, 128, 41, 49) << QString();
    QTest::newRow("t1b") << u"t1b"_s << QRect(392, 128, 41, 49) << QString();
    QTest::newRow("Label12") << u"Label12"_s << at(8, 160) << u"下段（カウントダウン）"_s;
    QTest::newRow("Label13") << u"Label13"_s << at(120, 160) << u"A　　　　　　分間"_s;
    QTest::newRow("presenPeriod") << u"presenPeriod"_s << QRect(136, 160, 33, 18) << QString();
    QTest::newRow("Label6") << u"Label6"_s << at(88, 184) << u"期間A終了　　　　分前に予鈴　その後、色を"_s;
    QTest::newRow("warnBefore") << u"warnBefore"_s << QRect(152, 184, 33, 18) << QString();
    QTest::newRow("t2b") << u"t2b"_s << QRect(392, 184, 41, 17) << QString();
    QTest::newRow("Label14") << u"Label14"_s << at(120, 208) << u"B　　　　　　分間"_s;
    QTest::newRow("discussPeriod") << u"discussPeriod"_s << QRect(136, 208, 33, 18) << QString();
    QTest::newRow("Label1") << u"Label1"_s << at(120, 232) << u"C"_s;
    QTest::newRow("Text4") << u"Text4"_s << QRect(208, 232, 105, 18) << QString();
    QTest::newRow("t4b") << u"t4b"_s << QRect(392, 232, 41, 17) << QString();
    QTest::newRow("Command2") << u"Command2"_s << QRect(24, 272, 153, 33) << u"設定変更して再スタート"_s;
    QTest::newRow("okBtn") << u"okBtn"_s << QRect(224, 272, 81, 33) << u"設定変更のみ"_s;
    QTest::newRow("clBtn") << u"clBtn"_s << QRect(352, 272, 65, 33) << u"Cancel"_s;
}

void TestForm2::controls()
{
    QFETCH(QString, name);
    QFETCH(QRect, pixels);
    QFETCH(QString, caption);
    Rig rig;
    QWidget* w = rig.find(name);
    QVERIFY(w);
    if (pixels.isValid())
        QCOMPARE(w->geometry(), pixels);
    else
        QCOMPARE(w->pos(), pixels.topLeft());

    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        QCOMPARE(button->text(), caption);
    } else if (auto* frame = qobject_cast<QGroupBox*>(w)) {
        QCOMPARE(frame->title(), caption);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        QCOMPARE(label->text(), caption);
        // The whole caption is in view.
        auto* spaced = qobject_cast<SpaceRunLabel*>(label);
        const qreal needed = spaced ? spaced->textWidth() : QFontMetricsF(label->font()).horizontalAdvance(caption);
        QVERIFY2(needed <= label->width(),
                 qPrintable(u"%1 needs %2 px, has %3"_s.arg(name).arg(needed).arg(label->width())));
        QVERIFY(label->height() >= QFontMetrics(label->font()).height());
    } else {
        QVERIFY2(caption.isNull(), "not a captioned control");
    }
}

void TestForm2::fieldsLieOverSpaces_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QString>("labelName");
    QTest::addColumn<QString>("rightNeighbour");

    QTest::newRow("presentation") << u"presenPeriod"_s << u"Label13"_s << u"Text2"_s;
    QTest::newRow("warning") << u"warnBefore"_s << u"Label6"_s << u"t2f"_s;
    QTest::newRow("discussion") << u"discussPeriod"_s << u"Label14"_s << u"Text3"_s;
}

void TestForm2::fieldsLieOverSpaces()
{
    QFETCH(QString, fieldName);
    QFETCH(QString, labelName);
    QFETCH(QString, rightNeighbour);
    Rig rig;
    QWidget* field = rig.find(fieldName);
    auto* label = rig.find<SpaceRunLabel>(labelName);
    QVERIFY(field && label);

    // The field covers only the caption's spaces: the words on both sides stay in view.
    const auto [runLeft, runRight] = label->spaceRun();
    QVERIFY(runRight > runLeft);
    const qreal left = label->x() + runLeft;
    const qreal right = label->x() + runRight;
    QVERIFY2(
        field->x() >= left && field->geometry().right() + 1 <= right,
        qPrintable(
            u"field %1..%2, spaces %3..%4"_s.arg(field->x()).arg(field->geometry().right() + 1).arg(left).arg(right)));
    // The field is drawn over the caption, and the caption ends before the next control.
    QCOMPARE(rig.form.childAt(field->geometry().center()), field);
    QVERIFY(label->geometry().right() < rig.find(rightNeighbour)->x());
}

void TestForm2::label6Font()
{
    Rig rig;
    QWidget* label6 = rig.find(u"Label6"_s);
    const QFontInfo info(label6->font());
    QCOMPARE(label6->font().pointSizeF(), 9.75);
    QVERIFY(!info.bold());
    QVERIFY2(!info.fixedPitch(), qPrintable(info.family()));
    QVERIFY2(QFontDatabase::writingSystems(info.family()).contains(QFontDatabase::Japanese), qPrintable(info.family()));
    // The rest of the dialog keeps its own, smaller face.
    QVERIFY(rig.find(u"Label13"_s)->font().pointSizeF() < 9.75);
}

void TestForm2::inputLimits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");

    QTest::newRow("presentation takes five") << u"presenPeriod"_s << u"123456"_s << u"12345"_s;
    QTest::newRow("discussion takes five") << u"discussPeriod"_s << u"1.2345"_s << u"1.234"_s;
    QTest::newRow("warning takes five") << u"warnBefore"_s << u"999999"_s << u"99999"_s;
    QTest::newRow("unit counts double") << u"presenPeriod"_s << u"120分間"_s << u"120分"_s;
    QTest::newRow("Text1 eight full-width") << u"Text1"_s << u"あいうえおかきくけこ"_s << u"あいうえおかきく"_s;
    QTest::newRow("Text1 sixteen half-width") << u"Text1"_s << u"abcdefghijklmnopqr"_s << u"abcdefghijklmnop"_s;
    QTest::newRow("Text2 unlimited") << u"Text2"_s << u"ながいながいながいながい見出し"_s
                                     << u"ながいながいながいながい見出し"_s;
    QTest::newRow("Text4 unlimited") << u"Text4"_s << u"0123456789012345678901234"_s << u"0123456789012345678901234"_s;
    QTest::newRow("wavefile unlimited") << u"wavefile"_s << u"/a/very/long/path/to/the/bell/sound.wav"_s
                                        << u"/a/very/long/path/to/the/bell/sound.wav"_s;
}

void TestForm2::inputLimits()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    Rig rig;
    QLineEdit* edit = rig.field(name);
    edit->clear();
    typeText(edit, typed);
    QCOMPARE(edit->text(), shown);
}

void TestForm2::programTextIsNotLimited()
{
    Rig rig;
    // A settings file may hold more than the fields let the user type; it is shown whole.
    rig.record.setText(Text::Text1, u"とてもながい上段の見出しです"_s);
    rig.record.setText(Text::presenPeriod, u"1234567"_s);
    QCOMPARE(rig.field(u"Text1"_s)->text(), u"とてもながい上段の見出しです"_s);
    QCOMPARE(rig.field(u"presenPeriod"_s)->text(), u"1234567"_s);

    // Such a text can be shortened key by key, though it stays beyond the limit, but not lengthened.
    QLineEdit* text1 = rig.field(u"Text1"_s);
    text1->end(false);
    QTest::keyClick(text1, Qt::Key_Backspace);
    QCOMPARE(text1->text(), u"とてもながい上段の見出しで"_s);
    typeText(text1, u"す"_s);
    QCOMPARE(text1->text(), u"とてもながい上段の見出しで"_s);
    QLineEdit* minutes = rig.field(u"presenPeriod"_s);
    minutes->end(false);
    QTest::keyClick(minutes, Qt::Key_Backspace);
    QTest::keyClick(minutes, Qt::Key_Backspace);
    QCOMPARE(minutes->text(), u"12345"_s);
    typeText(minutes, u"6"_s);
    QCOMPARE(minutes->text(), u"12345"_s);
    QCOMPARE(rig.record.text(Text::presenPeriod), u"12345"_s);
}

void TestForm2::fieldsBoundToRecord_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");

    QTest::newRow("presenPeriod") << u"presenPeriod"_s << int(Text::presenPeriod) << u"2.5"_s;
    QTest::newRow("discussPeriod") << u"discussPeriod"_s << int(Text::discussPeriod) << u"3"_s;
    QTest::newRow("warnBefore") << u"warnBefore"_s << int(Text::warnBefore) << u"1分"_s;
    QTest::newRow("wavefile") << u"wavefile"_s << int(Text::wavefile) << u"/snd/ベル.wav"_s;
    QTest::newRow("Text1") << u"Text1"_s << int(Text::Text1) << u"経過"_s;
    QTest::newRow("Text2") << u"Text2"_s << int(Text::Text2) << u"残り"_s;
    QTest::newRow("Text3") << u"Text3"_s << int(Text::Text3) << u"質疑"_s;
    QTest::newRow("Text4") << u"Text4"_s << int(Text::Text4) << u"超過"_s;
}

void TestForm2::fieldsBoundToRecord()
{
    QFETCH(QString, name);
    QFETCH(int, field);
    QFETCH(QString, typed);
    Rig rig;
    QLineEdit* edit = rig.field(name);
    QCOMPARE(edit->text(), SettingsRecord().text(Text(field)));

    edit->selectAll();
    typeText(edit, typed);
    // Unconfirmed: the record, which every reader reads, has the edit already.
    QCOMPARE(rig.record.text(Text(field)), typed);
    QCOMPARE(rig.files.writes(), 0);

    // A change from elsewhere (a settings file, Cancel) shows at once.
    rig.record.setText(Text(field), u"7.5"_s);
    QCOMPARE(edit->text(), u"7.5"_s);
}

void TestForm2::optionsBoundToRowMode_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("mode");
    QTest::newRow("Option1") << u"Option1"_s << int(SettingsRecord::RowMode::Option1);
    QTest::newRow("Option2") << u"Option2"_s << int(SettingsRecord::RowMode::Option2);
    QTest::newRow("Option3") << u"Option3"_s << int(SettingsRecord::RowMode::Option3);
}

void TestForm2::optionsBoundToRowMode()
{
    QFETCH(QString, name);
    QFETCH(int, mode);
    Rig rig;
    const QStringList options{u"Option1"_s, u"Option2"_s, u"Option3"_s};
    auto checked = [&] {
        QStringList on;
        for (const QString& option : options) {
            if (rig.find<QRadioButton>(option)->isChecked())
                on << option;
        }
        return on;
    };
    QCOMPARE(checked(), QStringList{u"Option1"_s});
    // A settings file may select no row mode at all; then no option shows selected.
    rig.record.setRowMode(SettingsRecord::RowMode::None);
    QCOMPARE(checked(), QStringList());

    QTest::mouseClick(rig.find(name), Qt::LeftButton);
    QCOMPARE(rig.record.rowMode(), SettingsRecord::RowMode(mode));
    QCOMPARE(checked(), QStringList{name});
    QVERIFY(rig.told.isEmpty()); // applied to the rows only by confirmation

    const int next = mode % 3 + 1;
    rig.record.setRowMode(SettingsRecord::RowMode(next));
    QCOMPARE(checked(), QStringList{options.at(next - 1)});
}

void TestForm2::tabOrder()
{
    Rig rig;
    QVERIFY(rig.showActive());
    const QStringList expected{u"presenPeriod"_s, u"discussPeriod"_s, u"warnBefore"_s, u"okBtn"_s,   u"clBtn"_s,
                               u"wavefile"_s,     u"Command1"_s,      u"playBtn"_s,    u"Text1"_s,   u"Text2"_s,
                               u"Text3"_s,        u"Text4"_s,         u"Command2"_s,   u"Option1"_s, u"presenPeriod"_s};
    // The first entry is where the focus starts.
    QStringList visited;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus);
        visited << focus->objectName();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    QCOMPARE(visited, expected);
}

void TestForm2::enterAndEscapePressNothing_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    for (const char* name : {"presenPeriod", "okBtn", "Command2", "clBtn", "Text4"}) {
        QTest::addRow("%s Return", name) << QString::fromLatin1(name) << int(Qt::Key_Return);
        QTest::addRow("%s Enter", name) << QString::fromLatin1(name) << int(Qt::Key_Enter);
        QTest::addRow("%s Escape", name) << QString::fromLatin1(name) << int(Qt::Key_Escape);
    }
}

void TestForm2::enterAndEscapePressNothing()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    Rig rig;
    QVERIFY(rig.showActive());
    rig.field(u"presenPeriod"_s)->setText(u"20"_s);
    QWidget* target = rig.find(focus);
    target->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), target);

    QTest::keyClick(target, Qt::Key(key));

    // Any of the three buttons would have hidden the dialog, saved, restarted or put the 10 back.
    QVERIFY(rig.form.isVisible());
    QCOMPARE(rig.field(u"presenPeriod"_s)->text(), u"20"_s);
    QCOMPARE(rig.files.writes(), 0);
    QVERIFY(rig.told.isEmpty());
    QVERIFY(rig.dialogs.shown().isEmpty());
}

void TestForm2::frameCloseIsCancel()
{
    Rig rig;
    QVERIFY(rig.showActive());
    rig.field(u"presenPeriod"_s)->setText(u"30"_s);
    rig.field(u"wavefile"_s)->setText(u"/snd/edited.wav"_s);
    rig.field(u"Text2"_s)->setText(u"のこり"_s);
    rig.record.setColour(Swatch::t2b, 0x00111111u);
    // Asked for again while shown, the dialog keeps its edits.
    showAndRaise(rig.form);
    QCOMPARE(rig.field(u"presenPeriod"_s)->text(), u"30"_s);

    QVERIFY(rig.form.close());

    QVERIFY(!rig.form.isVisible());
    QCOMPARE(rig.record.text(Text::presenPeriod), u"10"_s);
    QCOMPARE(rig.record.text(Text::wavefile), QString());
    // Like Cancel, and unlike a discarded dialog, the other edits stay in force.
    QCOMPARE(rig.record.text(Text::Text2), u"のこり"_s);
    QCOMPARE(rig.record.colour(Swatch::t2b), 0x00111111u);
    QCOMPARE(rig.files.writes(), 0);

    showAndRaise(rig.form);
    QCOMPARE(rig.field(u"Text2"_s)->text(), u"のこり"_s);
}

void TestForm2::buttons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("presentation");
    QTest::addColumn<bool>("visibleAfter");
    QTest::addColumn<int>("writes");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("shownAfter");

    const QStringList confirmed{u"confirmed:%1"_s.arg(int(SettingsRecord::RowMode::Option2))};
    QTest::newRow("okBtn") << u"okBtn"_s << u"15"_s << false << 1 << confirmed << u"15"_s;
    QTest::newRow("okBtn rejected") << u"okBtn"_s << u"1"_s << true << 0 << QStringList() << u"1"_s;
    QTest::newRow("Command2") << u"Command2"_s << u"15"_s << false << 1 << (confirmed + QStringList{u"restart"_s})
                              << u"15"_s;
    QTest::newRow("Command2 rejected") << u"Command2"_s << u"1"_s << true << 0 << QStringList{u"restart"_s} << u"1"_s;
    QTest::newRow("clBtn") << u"clBtn"_s << u"15"_s << false << 0 << QStringList() << u"10"_s;
}

void TestForm2::buttons()
{
    QFETCH(QString, button);
    QFETCH(QString, presentation);
    QFETCH(bool, visibleAfter);
    QFETCH(int, writes);
    QFETCH(QStringList, calls);
    QFETCH(QString, shownAfter);
    Rig rig;
    showAndRaise(rig.form);
    rig.field(u"presenPeriod"_s)->setText(presentation);
    rig.field(u"warnBefore"_s)->setText(u"2"_s);
    QTest::mouseClick(rig.find(u"Option2"_s), Qt::LeftButton);

    QTest::mouseClick(rig.find(button), Qt::LeftButton);

    QCOMPARE(rig.form.isVisible(), visibleAfter);
    QCOMPARE(rig.files.writes(), writes);
    if (writes)
        QVERIFY(rig.files.get(iniPath).value_or(QByteArray()).startsWith(presentation.toLatin1() + ",5,2,\"\"\r\n"));
    QCOMPARE(rig.told, calls);
    QCOMPARE(rig.field(u"presenPeriod"_s)->text(), shownAfter);
    if (visibleAfter)
        QCOMPARE(rig.dialogs.shown().constFirst().caption, u"時間指定エラー"_s);
}

void TestForm2::swatches_data()
{
    // Every swatch, shown in its default colour; the picker confirms a colour or is cancelled. A cancelled row
    // has a colour no other swatch has, so a handler that opened the picker for another swatch shows.
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("swatch");
    QTest::addColumn<QColor>("shown");
    QTest::addColumn<std::optional<ColourValue>>("answer");
    QTest::addColumn<QColor>("shownAfter");

    const QColor black(0, 0, 0);
    const QColor yellow(255, 255, 0);
    const std::optional<ColourValue> cancelled;
    QTest::newRow("t1f cancelled") << u"t1f"_s << int(Swatch::t1f) << QColor(0, 255, 255) << cancelled
                                   << QColor(0, 255, 255);
    QTest::newRow("t1b") << u"t1b"_s << int(Swatch::t1b) << black << std::optional<ColourValue>(0x00FF8000u)
                         << QColor(0x00, 0x80, 0xFF);
    QTest::newRow("t2f") << u"t2f"_s << int(Swatch::t2f) << yellow << std::optional<ColourValue>(0x00102030u)
                         << QColor(0x30, 0x20, 0x10);
    QTest::newRow("t2b") << u"t2b"_s << int(Swatch::t2b) << black << std::optional<ColourValue>(0x00000001u)
                         << QColor(1, 0, 0);
    QTest::newRow("t3f unchanged choice") << u"t3f"_s << int(Swatch::t3f) << QColor(0, 255, 0)
                                          << std::optional<ColourValue>(0x0000FF00u) << QColor(0, 255, 0);
    QTest::newRow("t3b") << u"t3b"_s << int(Swatch::t3b) << black << std::optional<ColourValue>(0x00ABCDEFu)
                         << QColor(0xEF, 0xCD, 0xAB);
    QTest::newRow("t4f") << u"t4f"_s << int(Swatch::t4f) << yellow << std::optional<ColourValue>(0x00FFFFFFu)
                         << QColor(255, 255, 255);
    QTest::newRow("t4b cancelled") << u"t4b"_s << int(Swatch::t4b) << QColor(208, 0, 0) << cancelled
                                   << QColor(208, 0, 0);
}

void TestForm2::swatches()
{
    QFETCH(QString, name);
    QFETCH(int, swatch);
    QFETCH(QColor, shown);
    QFETCH(std::optional<ColourValue>, answer);
    QFETCH(QColor, shownAfter);
    Rig rig;
    showAndRaise(rig.form);
    QWidget* w = rig.find(name);
    QCOMPARE(swatchPixel(w), shown);
    QCOMPARE(w->focusPolicy(), Qt::NoFocus);
    const ColourValue before = rig.record.colour(Swatch(swatch));
    rig.dialogs.queueColour(answer);

    QTest::mouseClick(w, Qt::LeftButton);

    QCOMPARE(rig.dialogs.shown().size(), 1);
    QCOMPARE(rig.dialogs.shown().constFirst().kind, u"colour"_s);
    QCOMPARE(rig.dialogs.shown().constFirst().text, QString::number(before)); // opened on the swatch's colour
    QCOMPARE(rig.record.colour(Swatch(swatch)), answer.value_or(before));
    QCOMPARE(swatchPixel(w), shownAfter);
    // Only the clicked swatch changes.
    for (int other = 0; other < SettingsRecord::swatchCount; ++other) {
        if (other != swatch)
            QCOMPARE(rig.record.colour(Swatch(other)), SettingsRecord().colour(Swatch(other)));
    }
}

void TestForm2::filePicker()
{
    Rig rig;
    showAndRaise(rig.form);
    const QString fromFile = u"/snd/from the file.wav"_s;
    rig.record.setText(Text::wavefile, fromFile);
    QWidget* command1 = rig.find(u"Command1"_s);
    auto lastStart = [&] {
        return rig.dialogs.shown().constLast().text.section(u'|', 1);
    };

    // Cancelled before any confirmation: the field keeps its path, and the dialog did not start from it.
    rig.dialogs.queueFile(std::nullopt);
    QTest::mouseClick(command1, Qt::LeftButton);
    QCOMPARE(rig.dialogs.shown().constLast().kind, u"file"_s);
    QCOMPARE(rig.dialogs.shown().constLast().caption, u"予鈴WAVEファイルの選択"_s);
    QCOMPARE(rig.dialogs.shown().constLast().text.section(u'|', 0, 0), u"WaveForm File (*.wav)"_s);
    QCOMPARE(lastStart(), QString());
    QCOMPARE(rig.record.text(Text::wavefile), fromFile);

    // Confirmed: the whole path, spaces and Japanese included, becomes the field's text.
    const QString picked = u"/home/user/音 ファイル/ベル 1.wav"_s;
    rig.dialogs.queueFile(picked);
    QTest::mouseClick(command1, Qt::LeftButton);
    QCOMPARE(rig.field(u"wavefile"_s)->text(), picked);
    QCOMPARE(rig.record.text(Text::wavefile), picked);

    // Edited by hand, then the dialog opened and cancelled: it started from the confirmed path, and the hand
    // edit stays.
    rig.field(u"wavefile"_s)->setText(u"/typed.wav"_s);
    rig.dialogs.queueFile(std::nullopt);
    QTest::mouseClick(command1, Qt::LeftButton);
    QCOMPARE(lastStart(), picked);
    QCOMPARE(rig.record.text(Text::wavefile), u"/typed.wav"_s);
    QCOMPARE(rig.files.writes(), 0);
}

void TestForm2::pictureShowsIcon()
{
    QPixmap image(32, 32);
    image.fill(QColor(200, 10, 20));
    const QIcon before = QApplication::windowIcon();
    QApplication::setWindowIcon(QIcon(image));
    Rig rig;
    auto* picture = rig.find<QLabel>(u"Picture1"_s);
    QCOMPARE(picture->pixmap().toImage().pixelColor(16, 16), QColor(200, 10, 20));

    // The program may set its icon after the dialog exists.
    image.fill(QColor(10, 200, 20));
    QApplication::setWindowIcon(QIcon(image));
    QCOMPARE(picture->pixmap().toImage().pixelColor(16, 16), QColor(10, 200, 20));
    QApplication::setWindowIcon(before);
}

void TestForm2::realInvalidTimesBox()
{
    SettingsRecord record;
    FakeFileAccess files;
    WidgetDialogs dialogs;
    Form2 form(record, files, dialogs, iniPath);
    showAndRaise(form);
    // The real boxes and pickers are shown over the active window.
    QVERIFY(QTest::qWaitForWindowActive(&form));
    record.setText(Text::warnBefore, u"12"_s);

    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
    int labelLines = 0;
    whenModalOpens<QMessageBox>([&](QMessageBox* box) {
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        parent = box->parentWidget();
        if (auto* label = box->findChild<QLabel*>(u"qt_msgbox_label"_s))
            labelLines = qRound(qreal(label->heightForWidth(4000)) / label->fontMetrics().lineSpacing());
        box->button(QMessageBox::Ok)->click();
    });
    QTest::mouseClick(form.findChild<QWidget*>(u"okBtn"_s), Qt::LeftButton);

    QCOMPARE(caption, u"時間指定エラー"_s);
    QCOMPARE(text.split(u"\r\n"_s).size(), 3);
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(parent, &form);
    QCOMPARE(labelLines, 3); // where the box is wide enough, three lines: each CR LF one line break
    QVERIFY(form.isVisible());
    QCOMPARE(files.writes(), 0);
}

void TestForm2::realColourDialog()
{
    SettingsRecord record;
    FakeFileAccess files;
    WidgetDialogs dialogs;
    Form2 form(record, files, dialogs, iniPath);
    showAndRaise(form);
    // The real boxes and pickers are shown over the active window.
    QVERIFY(QTest::qWaitForWindowActive(&form));

    QColor initial;
    QWidget* parent = nullptr;
    whenModalOpens<QColorDialog>([&](QColorDialog* dialog) {
        initial = dialog->currentColor();
        parent = dialog->parentWidget();
        dialog->setCurrentColor(QColor(1, 2, 3));
        dialog->accept();
    });
    QTest::mouseClick(form.findChild<QWidget*>(u"t4b"_s), Qt::LeftButton);

    QCOMPARE(initial, QColor(208, 0, 0));
    QCOMPARE(parent, &form);
    QCOMPARE(record.colour(Swatch::t4b), colourFromRgb(1, 2, 3));
}

void TestForm2::realFileDialog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString wave = dir.filePath(u"ベル 1.wav"_s);
    {
        QFile file(wave);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    SettingsRecord record;
    FakeFileAccess files;
    WidgetDialogs dialogs;
    Form2 form(record, files, dialogs, iniPath);
    showAndRaise(form);
    // The real boxes and pickers are shown over the active window.
    QVERIFY(QTest::qWaitForWindowActive(&form));

    QString title;
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    whenModalOpens<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        mode = dialog->fileMode();
        dialog->selectFile(wave);
        static_cast<QDialog*>(dialog)->accept();
    });
    QTest::mouseClick(form.findChild<QWidget*>(u"Command1"_s), Qt::LeftButton);

    QCOMPARE(title, u"予鈴WAVEファイルの選択"_s);
    QCOMPARE(filters, QStringList{u"WaveForm File (*.wav)"_s});
    QCOMPARE(mode, QFileDialog::ExistingFile);
    QCOMPARE(record.text(Text::wavefile), wave);
    // The picker leaves no history of the user's folders in the configuration folder (pinned by the build).
    QVERIFY(!QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/QtProject.conf"_s));
}

QTEST_MAIN(TestForm2)
#include "test_form2.moc"
