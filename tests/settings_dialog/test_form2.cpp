#include "fake_dialogs.h"
#include "fake_file_access.h"
#include "fake_main_window.h"
#include "form2.h"
#include "settings_record.h"
#include "space_run_label.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using Text = SettingsRecord::Text;
using Swatch = SettingsRecord::Swatch;

namespace {

const QString iniPath = u"/opt/lectern/Lectern.ini"_s;

/// The settings dialog with fakes around it, as start-up wires it.
struct Rig {
    SettingsRecord record;
    FakeFileAccess files;
    FakeDialogs dialogs;
    FakeMainWindow main;
    Form2 form{record, files, dialogs};

    Rig()
    {
        form.fileN = iniPath;
        form.setMainWindow(&main);
        form.takeCancelCopy();
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
        form.showOrRaise();
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

/// Runs `handle` on the first modal window that opens from now on; it must close that window.
void whenModalOpens(std::function<void(QWidget*)> handle)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, handle = std::move(handle)] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            handle(modal);
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
    void geometry_data();
    void geometry();
    void captions_data();
    void captions();
    void defaultsShown();
    void captionsNotClipped_data();
    void captionsNotClipped();
    void fieldsLieOverSpaces_data();
    void fieldsLieOverSpaces();
    void label6Font();

    void inputLimits_data();
    void inputLimits();
    void programTextIsNotLimited();
    void editsReachRecord_data();
    void editsReachRecord();
    void recordReachesControls();
    void optionsSetRowMode_data();
    void optionsSetRowMode();

    void firstFocus();
    void tabOrder();
    void enterAndEscapePressNothing_data();
    void enterAndEscapePressNothing();
    void frameCloseIsCancel();
    void showOrRaiseKeepsEdits();
    void buttons_data();
    void buttons();

    void colourPicker_data();
    void colourPicker();
    void filePicker();
    void cancelUndoesPathNotColour();
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
    QVERIFY(rig.form.isWindow());
    QCOMPARE(rig.form.parentWidget(), nullptr);
    QCOMPARE(rig.form.windowType(), Qt::Window);
    QVERIFY(!rig.form.isVisible());
}

void TestForm2::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels"); // at 96 DPI, relative to the parent

    QTest::newRow("Picture1") << u"Picture1"_s << QRect(8, 8, 33, 41);
    QTest::newRow("Label8") << u"Label8"_s << QRect(48, 8, 201, 17);
    QTest::newRow("Frame1") << u"Frame1"_s << QRect(0, 56, 241, 41);
    QTest::newRow("Option1 in Frame1") << u"Option1"_s << QRect(8, 16, 81, 17);
    QTest::newRow("Option3 in Frame1") << u"Option3"_s << QRect(160, 16, 73, 17);
    QTest::newRow("wavefile") << u"wavefile"_s << QRect(248, 72, 161, 18);
    QTest::newRow("Command1") << u"Command1"_s << QRect(424, 72, 17, 17);
    QTest::newRow("Label9") << u"Label9"_s << QRect(176, 112, 257, 17);
    QTest::newRow("Text1") << u"Text1"_s << QRect(208, 128, 105, 18);
    QTest::newRow("t1f") << u"t1f"_s << QRect(344, 128, 41, 49);
    QTest::newRow("t1b") << u"t1b"_s << QRect(392, 128, 41, 49);
    QTest::newRow("presenPeriod") << u"presenPeriod"_s << QRect(136, 160, 33, 18);
    QTest::newRow("warnBefore") << u"warnBefore"_s << QRect(152, 184, 33, 18);
    QTest::newRow("t2b") << u"t2b"_s << QRect(392, 184, 41, 17);
    QTest::newRow("discussPeriod") << u"discussPeriod"_s << QRect(136, 208, 33, 18);
    QTest::newRow("Text4") << u"Text4"_s << QRect(208, 232, 105, 18);
    QTest::newRow("t4b") << u"t4b"_s << QRect(392, 232, 41, 17);
    QTest::newRow("Command2") << u"Command2"_s << QRect(24, 272, 153, 33);
    QTest::newRow("okBtn") << u"okBtn"_s << QRect(224, 272, 81, 33);
    QTest::newRow("clBtn") << u"clBtn"_s << QRect(352, 272, 65, 33);
}

void TestForm2::geometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, pixels);
    Rig rig;
    QWidget* w = rig.find(name);
    QVERIFY(w);
    QCOMPARE(w->geometry(), pixels);
}

void TestForm2::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    QTest::newRow("Label8") << u"Label8"_s << u"Lectern 1.6"_s;
    QTest::newRow("Label7") << u"Label7"_s << u"予鈴WAVEファイル"_s;
    QTest::newRow("Label9") << u"Label9"_s << u"表示メッセージ（全角8字以内）　　文字色　背景色"_s;
    QTest::newRow("Label10") << u"Label10"_s << u"上段（カウントアップ）"_s;
    QTest::newRow("Label12") << u"Label12"_s << u"下段（カウントダウン）"_s;
    QTest::newRow("Label13") << u"Label13"_s << u"A　　　　　　分間"_s;
    QTest::newRow("Label6") << u"Label6"_s << u"期間A終了　　　　分前に予鈴　その後、色を"_s;
    QTest::newRow("Label14") << u"Label14"_s << u"B　　　　　　分間"_s;
    QTest::newRow("Label1") << u"Label1"_s << u"C"_s;
    QTest::newRow("Frame1") << u"Frame1"_s << u"表示形式"_s;
    QTest::newRow("Option1") << u"Option1"_s << u"上下段とも"_s;
    QTest::newRow("Option2") << u"Option2"_s << u"上段のみ"_s;
    QTest::newRow("Option3") << u"Option3"_s << u"下段のみ"_s;
    QTest::newRow("Command1") << u"Command1"_s << u"..."_s;
    QTest::newRow("Command2") << u"Command2"_s << u"設定変更して再スタート"_s;
    QTest::newRow("okBtn") << u"okBtn"_s << u"設定変更のみ"_s;
    QTest::newRow("clBtn") << u"clBtn"_s << u"Cancel"_s;
}

void TestForm2::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    Rig rig;
    QWidget* w = rig.find(name);
    QVERIFY(w);
    if (auto* label = qobject_cast<QLabel*>(w))
        QCOMPARE(label->text(), caption);
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        QCOMPARE(button->text(), caption);
    else if (auto* frame = qobject_cast<QGroupBox*>(w))
        QCOMPARE(frame->title(), caption);
    else
        QFAIL("not a captioned control");
}

void TestForm2::defaultsShown()
{
    Rig rig;
    const QList<std::pair<QString, QString>> texts{
        {u"presenPeriod"_s, u"10"_s},        {u"discussPeriod"_s, u"5"_s},       {u"warnBefore"_s, u"2"_s},
        {u"wavefile"_s, QString()},          {u"Text1"_s, u"講演の開始から"_s},  {u"Text2"_s, u"発表時間終了まで"_s},
        {u"Text3"_s, u"質疑応答終了まで"_s}, {u"Text4"_s, u"講演時間の超過は"_s}};
    for (const auto& [name, text] : texts)
        QCOMPARE(rig.field(name)->text(), text);

    const QList<std::pair<QString, QColor>> swatches{{u"t1f"_s, QColor(0, 255, 255)}, {u"t1b"_s, QColor(0, 0, 0)},
                                                     {u"t2f"_s, QColor(255, 255, 0)}, {u"t2b"_s, QColor(0, 0, 0)},
                                                     {u"t3f"_s, QColor(0, 255, 0)},   {u"t3b"_s, QColor(0, 0, 0)},
                                                     {u"t4f"_s, QColor(255, 255, 0)}, {u"t4b"_s, QColor(208, 0, 0)}};
    for (const auto& [name, colour] : swatches) {
        QWidget* swatch = rig.find(name);
        QCOMPARE(swatchPixel(swatch), colour);
        QCOMPARE(swatch->focusPolicy(), Qt::NoFocus);
    }
    QVERIFY(rig.find<QRadioButton>(u"Option1"_s)->isChecked());
    QVERIFY(!rig.find<QRadioButton>(u"Option2"_s)->isChecked());
    QVERIFY(!rig.find<QRadioButton>(u"Option3"_s)->isChecked());
    QVERIFY(!rig.find<QLabel>(u"Label11"_s)->text().isEmpty());
}

void TestForm2::captionsNotClipped_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name :
         {"Label7", "Label8", "Label9", "Label10", "Label11", "Label12", "Label13", "Label6", "Label14", "Label1"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestForm2::captionsNotClipped()
{
    QFETCH(QString, name);
    Rig rig;
    auto* label = rig.find<QLabel>(name);
    QVERIFY(label);
    auto* spaced = qobject_cast<SpaceRunLabel*>(label);
    const qreal needed = spaced ? spaced->textWidth() : QFontMetricsF(label->font()).horizontalAdvance(label->text());
    QVERIFY2(needed <= label->width(),
             qPrintable(u"%1 needs %2 px, has %3"_s.arg(name).arg(needed).arg(label->width())));
    QVERIFY(label->height() >= QFontMetrics(label->font()).height());
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

void TestForm2::editsReachRecord_data()
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

void TestForm2::editsReachRecord()
{
    QFETCH(QString, name);
    QFETCH(int, field);
    QFETCH(QString, typed);
    Rig rig;
    QLineEdit* edit = rig.field(name);
    edit->selectAll();
    typeText(edit, typed);
    // Unconfirmed: the record, which every reader reads, has the edit already.
    QCOMPARE(rig.record.text(Text(field)), typed);
    QCOMPARE(edit->text(), typed);
    QCOMPARE(rig.files.writes(), 0);
}

void TestForm2::recordReachesControls()
{
    Rig rig;
    rig.record.setText(Text::discussPeriod, u"7.5"_s);
    rig.record.setText(Text::Text3, u"質問の時間"_s);
    rig.record.setColour(Swatch::t3f, 0x00336699u); // red 0x99, green 0x66, blue 0x33
    QCOMPARE(rig.field(u"discussPeriod"_s)->text(), u"7.5"_s);
    QCOMPARE(rig.field(u"Text3"_s)->text(), u"質問の時間"_s);
    QCOMPARE(swatchPixel(rig.find(u"t3f"_s)), QColor(0x99, 0x66, 0x33));

    rig.record.setRowMode(SettingsRecord::RowMode::Option3);
    QVERIFY(rig.find<QRadioButton>(u"Option3"_s)->isChecked());
    QVERIFY(!rig.find<QRadioButton>(u"Option1"_s)->isChecked());
    // A settings file may select no row mode at all; then no option shows selected.
    rig.record.setRowMode(SettingsRecord::RowMode::None);
    for (const QString& name : {u"Option1"_s, u"Option2"_s, u"Option3"_s})
        QVERIFY2(!rig.find<QRadioButton>(name)->isChecked(), qPrintable(name));
    QCOMPARE(rig.record.rowMode(), SettingsRecord::RowMode::None);
}

void TestForm2::optionsSetRowMode_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("mode");
    QTest::newRow("Option2") << u"Option2"_s << int(SettingsRecord::RowMode::Option2);
    QTest::newRow("Option3") << u"Option3"_s << int(SettingsRecord::RowMode::Option3);
    QTest::newRow("Option1 back") << u"Option1"_s << int(SettingsRecord::RowMode::Option1);
}

void TestForm2::optionsSetRowMode()
{
    QFETCH(QString, name);
    QFETCH(int, mode);
    Rig rig;
    rig.record.setRowMode(SettingsRecord::RowMode::None);
    QTest::mouseClick(rig.find(name), Qt::LeftButton);
    QCOMPARE(rig.record.rowMode(), SettingsRecord::RowMode(mode));
    QVERIFY(rig.main.calls().isEmpty()); // applied to the rows only by confirmation
}

void TestForm2::firstFocus()
{
    Rig rig;
    QVERIFY(rig.showActive());
    QCOMPARE(QApplication::focusWidget(), rig.find(u"presenPeriod"_s));
}

void TestForm2::tabOrder()
{
    Rig rig;
    QVERIFY(rig.showActive());
    const QStringList expected{u"presenPeriod"_s, u"discussPeriod"_s, u"warnBefore"_s, u"okBtn"_s,       u"clBtn"_s,
                               u"wavefile"_s,     u"Command1"_s,      u"Text1"_s,      u"Text2"_s,       u"Text3"_s,
                               u"Text4"_s,        u"Command2"_s,      u"Option1"_s,    u"presenPeriod"_s};
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
    QVERIFY(rig.main.calls().isEmpty());
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

    QVERIFY(rig.form.close());

    QVERIFY(!rig.form.isVisible());
    QCOMPARE(rig.record.text(Text::presenPeriod), u"10"_s);
    QCOMPARE(rig.record.text(Text::wavefile), QString());
    // Like Cancel, and unlike a discarded dialog, the other edits stay in force.
    QCOMPARE(rig.record.text(Text::Text2), u"のこり"_s);
    QCOMPARE(rig.record.colour(Swatch::t2b), 0x00111111u);
    QCOMPARE(rig.files.writes(), 0);

    rig.form.showOrRaise();
    QCOMPARE(rig.field(u"Text2"_s)->text(), u"のこり"_s);
}

void TestForm2::showOrRaiseKeepsEdits()
{
    Rig rig;
    rig.form.showOrRaise();
    rig.field(u"warnBefore"_s)->setText(u"3"_s);
    rig.form.showOrRaise();
    QVERIFY(rig.form.isVisible());
    QCOMPARE(rig.field(u"warnBefore"_s)->text(), u"3"_s);
    QCOMPARE(QApplication::topLevelWidgets().count(&rig.form), 1);
}

void TestForm2::buttons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("presentation");
    QTest::addColumn<bool>("visibleAfter");
    QTest::addColumn<int>("writes");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("shownAfter");

    const QStringList confirmed{u"rows:1,0"_s, u"resize"_s, u"show"_s};
    QTest::newRow("okBtn") << u"okBtn"_s << u"15"_s << false << 1 << confirmed << u"15"_s;
    QTest::newRow("okBtn rejected") << u"okBtn"_s << u"1"_s << true << 0 << QStringList() << u"1"_s;
    QTest::newRow("Command2") << u"Command2"_s << u"15"_s << false << 1 << (confirmed + QStringList{u"reset"_s})
                              << u"15"_s;
    QTest::newRow("Command2 rejected") << u"Command2"_s << u"1"_s << true << 0 << QStringList{u"reset"_s} << u"1"_s;
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
    rig.form.showOrRaise();
    rig.field(u"presenPeriod"_s)->setText(presentation);
    rig.field(u"warnBefore"_s)->setText(u"2"_s);
    QTest::mouseClick(rig.find(u"Option2"_s), Qt::LeftButton);

    QTest::mouseClick(rig.find(button), Qt::LeftButton);

    QCOMPARE(rig.form.isVisible(), visibleAfter);
    QCOMPARE(rig.files.writes(), writes);
    if (writes)
        QVERIFY(rig.files.get(iniPath).value_or(QByteArray()).startsWith(presentation.toLatin1() + ",5,2,\"\"\r\n"));
    QCOMPARE(rig.main.calls(), calls);
    QCOMPARE(rig.field(u"presenPeriod"_s)->text(), shownAfter);
    if (visibleAfter)
        QCOMPARE(rig.dialogs.shown().constFirst().caption, u"時間指定エラー"_s);
}

void TestForm2::colourPicker_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("swatch");
    QTest::addColumn<std::optional<ColourValue>>("answer");
    QTest::addColumn<ColourValue>("after");

    QTest::newRow("t1f confirmed") << u"t1f"_s << int(Swatch::t1f) << std::optional<ColourValue>(0x00FF8000u)
                                   << ColourValue(0x00FF8000u);
    QTest::newRow("t1f cancelled") << u"t1f"_s << int(Swatch::t1f) << std::optional<ColourValue>()
                                   << ColourValue(0x00FFFF00u);
    QTest::newRow("t2b confirmed") << u"t2b"_s << int(Swatch::t2b) << std::optional<ColourValue>(0x00102030u)
                                   << ColourValue(0x00102030u);
    QTest::newRow("t3f unchanged choice")
        << u"t3f"_s << int(Swatch::t3f) << std::optional<ColourValue>(0x0000FF00u) << ColourValue(0x0000FF00u);
    QTest::newRow("t4b cancelled") << u"t4b"_s << int(Swatch::t4b) << std::optional<ColourValue>()
                                   << ColourValue(0x000000D0u);
    QTest::newRow("t4f confirmed") << u"t4f"_s << int(Swatch::t4f) << std::optional<ColourValue>(0x00FFFFFFu)
                                   << ColourValue(0x00FFFFFFu);
}

void TestForm2::colourPicker()
{
    QFETCH(QString, name);
    QFETCH(int, swatch);
    QFETCH(std::optional<ColourValue>, answer);
    QFETCH(ColourValue, after);
    Rig rig;
    rig.form.showOrRaise();
    const ColourValue before = rig.record.colour(Swatch(swatch));
    rig.dialogs.queueColour(answer);

    QTest::mouseClick(rig.find(name), Qt::LeftButton);

    QCOMPARE(rig.dialogs.shown().size(), 1);
    QCOMPARE(rig.dialogs.shown().constFirst().kind, u"colour"_s);
    QCOMPARE(rig.dialogs.shown().constFirst().text, QString::number(before)); // opened on the swatch's colour
    QCOMPARE(rig.record.colour(Swatch(swatch)), after);
    QCOMPARE(swatchPixel(rig.find(name)), QColor(redOf(after), greenOf(after), blueOf(after)));
    // Only the clicked swatch changes.
    for (int other = 0; other < SettingsRecord::swatchCount; ++other) {
        if (other != swatch)
            QCOMPARE(rig.record.colour(Swatch(other)), SettingsRecord().colour(Swatch(other)));
    }
}

void TestForm2::filePicker()
{
    Rig rig;
    rig.form.showOrRaise();
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

void TestForm2::cancelUndoesPathNotColour()
{
    Rig rig;
    rig.form.showOrRaise();
    rig.dialogs.queueFile(u"/snd/picked.wav"_s);
    rig.dialogs.queueColour(0x00ABCDEFu);
    QTest::mouseClick(rig.find(u"Command1"_s), Qt::LeftButton);
    QTest::mouseClick(rig.find(u"t3b"_s), Qt::LeftButton);
    QCOMPARE(rig.record.text(Text::wavefile), u"/snd/picked.wav"_s);

    QTest::mouseClick(rig.find(u"clBtn"_s), Qt::LeftButton);

    QCOMPARE(rig.record.text(Text::wavefile), QString());
    QCOMPARE(rig.record.colour(Swatch::t3b), 0x00ABCDEFu);
    QCOMPARE(swatchPixel(rig.find(u"t3b"_s)), QColor(0xEF, 0xCD, 0xAB));
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
    Form2 form(record, files);
    form.showOrRaise();
    record.setText(Text::warnBefore, u"12"_s);

    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
    int labelLines = 0;
    whenModalOpens([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            modal->close();
            return;
        }
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
    Form2 form(record, files);
    form.showOrRaise();

    QColor initial;
    QWidget* parent = nullptr;
    whenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QColorDialog*>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
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
    Form2 form(record, files);
    form.showOrRaise();

    QString title;
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    whenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
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
}

QTEST_MAIN(TestForm2)
#include "test_form2.moc"
