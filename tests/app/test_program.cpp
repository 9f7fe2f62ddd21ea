#include "app/app_icon.h"
#include "app/program.h"
#include "fake_chime_device.h"
#include "fake_clock.h"
#include "fake_dialogs.h"
#include "fake_file_access.h"
#include "fake_ticker.h"
#include "fake_wall_clock.h"
#include "main_window/form1.h"
#include "main_window/row_label.h"
#include "platform/loadable_library.h"
#include "remote_control/single_instance.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"
#include "settings_dialog/form2.h"
#include "timing/count.h"
#include "web_view/web_view.h"

#include <QApplication>
#include <QDir>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QLocalSocket>
#include <QPointer>
#include <QPushButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using RowMode = SettingsRecord::RowMode;
using Text = SettingsRecord::Text;

namespace {

// The fakes keep the program's files in memory, but the browser view's module writes its token for real: the
// program's folder is a real, empty one, so nothing lands on the machine.
const QTemporaryDir programFolder;
const QString folder = programFolder.path();
const QString iniPath = folder + u"/Lectern.ini"_s;

/// A settings file as a confirmation would write it, with the given row mode and times.
QByteArray settingsFile(RowMode mode, double presentation = 10, double discussion = 5, double warning = 2,
                        const QString& heading1 = u"講演の開始から"_s, const QString& wave = QString())
{
    SettingsRecord record;
    record.setRowMode(mode);
    record.setText(Text::Text1, heading1);
    record.setText(Text::wavefile, wave);
    return settingsFileBytes({presentation, discussion, warning}, record);
}

/// Replaces a field's text the way a user does: select all, then type.
void typeOver(QLineEdit* field, const QString& text)
{
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
}

/// Replaces a field's text with Japanese, which reaches the field as an input method's committed string.
void commitOver(QLineEdit* field, const QString& text)
{
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(field, &commit);
}

int countSettingsDialogs()
{
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        count += qobject_cast<Form2*>(w) != nullptr;
    return count;
}

/// The program finds its settings by its folder when it is made, so the folder is set before.
FakeFileAccess& inProgramFolder(FakeFileAccess& files)
{
    files.setProgramFolder(folder);
    return files;
}

/// Notes what the main window looks like at the moment it is first shown.
class ShowWatcher : public QObject {
public:
    bool shown = false;
    QString upperText;
    QString lowerText;
    bool upperVisible = false;
    bool lowerVisible = false;
    double typeSize = 0;
    bool tickerRunning = false;
    FakeTicker* ticker = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && !shown) {
            auto* form = static_cast<QWidget*>(watched);
            auto* upper = form->findChild<RowLabel*>(u"Label1"_s);
            auto* lower = form->findChild<RowLabel*>(u"Label2"_s);
            shown = true;
            upperText = upper->text();
            lowerText = lower->text();
            upperVisible = upper->isVisibleTo(form);
            lowerVisible = lower->isVisibleTo(form);
            typeSize = upper->font().pointSizeF();
            tickerRunning = ticker->isEnabled();
        }
        return false;
    }
};

/// Opens the settings dialog as S does; null unless it shows.
Form2* openSettings(Program& program)
{
    QTest::keyClick(&program.mainWindow(), Qt::Key_S);
    Form2* dialog = program.settingsDialog();
    return dialog && QTest::qWaitForWindowExposed(dialog) ? dialog : nullptr;
}

/// The program made with fakes for every service, its files in the program's folder; start() is left to the test.
struct Rig {
    explicit Rig(const QString& modules = QStringLiteral(LECTERN_MODULE_DIR)) : moduleFolder(modules) {}
    QString moduleFolder;
    FakeClock clock;
    FakeTicker ticker;
    FakeChimeDevice chime;
    FakeChimeDevice check;
    FakeFileAccess files;
    FakeDialogs dialogs;
    FakeWallClock wall;
    Program program{
        Services{clock, ticker, chime, inProgramFolder(files), dialogs, check, wall, files, files, {moduleFolder}}};

    QWidget* row(const QString& name) { return program.mainWindow().findChild<QWidget*>(name); }
    RowLabel* label(const QString& name) { return program.mainWindow().findChild<RowLabel*>(name); }
};

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void startUp_data();
    void startUp();
    void startUpOrder();
    void withoutSettingsFile();
    void rightPressTwiceGivesOneDialog();
    void leftReleaseAsksThroughTheProgramsDialogs();
    void keysReachTheCount();
    void countsOnWhileSettingsShown();
    void confirmationReachesMainWindow_data();
    void confirmationReachesMainWindow();
    void restartUsesUnconfirmedEdits_data();
    void restartUsesUnconfirmedEdits();
    void closingEndsTheProgram_data();
    void closingEndsTheProgram();
    void iconOnBothWindows();
    void soundCheck_data();
    void soundCheck();
    void soundCheckOfAFileRefusedOnceRead();
    void commandsFromALaterStart_data();
    void commandsFromALaterStart();
    void bellAndControlAddress();
    void browserViewDropsAStuckViewer();
    void browserViewWithoutItsModule();
};

void TestProgram::startUp_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("upperShown");
    QTest::addColumn<bool>("lowerShown");
    QTest::addColumn<QRect>("upper");
    QTest::addColumn<QRect>("lower");

    // The window at its size at creation, 705 x 113 pixels at 96 dots per inch.
    QTest::newRow("both rows") << int(RowMode::Option1) << true << true << QRect(0, 0, 705, 57)
                               << QRect(0, 57, 705, 56);
    QTest::newRow("upper row only") << int(RowMode::Option2) << true << false << QRect(0, 0, 705, 113)
                                    << QRect(0, 0, 705, 113);
    QTest::newRow("lower row only") << int(RowMode::Option3) << false << true << QRect(0, 0, 705, 113)
                                    << QRect(0, 0, 705, 113);
    // No row mode: the rows keep the visibility they were made with and are laid out as one row.
    QTest::newRow("no row mode") << int(RowMode::None) << true << true << QRect(0, 0, 705, 113)
                                 << QRect(0, 0, 705, 113);
}

void TestProgram::startUp()
{
    QFETCH(int, mode);
    QFETCH(bool, upperShown);
    QFETCH(bool, lowerShown);
    QFETCH(QRect, upper);
    QFETCH(QRect, lower);
    Rig rig;

    rig.files.put(iniPath, settingsFile(RowMode(mode)));
    rig.program.start();
    Form1& form = rig.program.mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowState(), Qt::WindowNoState);
    QCOMPARE(rig.row(u"Label1"_s)->isVisible(), upperShown);
    QCOMPARE(rig.row(u"Label2"_s)->isVisible(), lowerShown);
    QCOMPARE(rig.row(u"Label1"_s)->geometry(), upper);
    QCOMPARE(rig.row(u"Label2"_s)->geometry(), lower);
    QCOMPARE(rig.row(u"Label1"_s)->font().pointSizeF(), 41.3);
    QCOMPARE(rig.row(u"Label2"_s)->font().pointSizeF(), 41.3);
    QCOMPARE(form.fmtIndex(), 0);
    QCOMPARE(rig.program.settings().rowMode(), RowMode(mode));
}

void TestProgram::startUpOrder()
{
    Rig rig;
    const QString heading = u"開始から"_s;
    rig.files.put(iniPath, settingsFile(RowMode::Option2, 12, 5, 2, heading, u"/sounds/bell.wav"_s));
    ShowWatcher watcher;
    watcher.ticker = &rig.ticker;
    rig.program.mainWindow().installEventFilter(&watcher);
    QVERIFY(!rig.program.mainWindow().isVisible());
    QCOMPARE(rig.program.settingsDialog(), nullptr);

    rig.program.start();

    // By the time the window first shows, the file was read, the rows shown by its row mode and laid out,
    // and the first count started with the file's heading and times.
    QVERIFY(watcher.shown);
    QCOMPARE(watcher.upperText, heading + QString(8, u' ') + u" 00分00秒"_s);
    QCOMPARE(watcher.lowerText, u"発表時間終了まで 12分00秒"_s);
    QVERIFY(watcher.upperVisible);
    QVERIFY(!watcher.lowerVisible);
    QCOMPARE(watcher.typeSize, 41.3);
    QVERIFY(watcher.tickerRunning);
    // The settings dialog waits for its first opening.
    QCOMPARE(countSettingsDialogs(), 0);

    // The first count opened the file's chime.
    QCOMPARE(rig.chime.fileName(), u"/sounds/bell.wav"_s);
    QVERIFY(rig.chime.log().contains(u"open"_s));

    Form2* dialog = openSettings(rig.program);
    QVERIFY(dialog);
    QCOMPARE(rig.program.settingsDialog(), dialog);
    QCOMPARE(dialog->fileN, iniPath);
    // The dialog is a window of its own, not owned by the main window.
    QVERIFY(dialog->isWindow());
    QCOMPARE(dialog->parentWidget(), nullptr);
    // Nothing was written at start.
    QCOMPARE(rig.files.writes(), 0);
    // The cancel copy holds the file's values, not the defaults: Cancel after an edit brings them back.
    dialog->findChild<QLineEdit*>(u"presenPeriod"_s)->setText(u"30"_s);
    dialog->findChild<QLineEdit*>(u"wavefile"_s)->setText(u"/sounds/other.wav"_s);
    QTest::mouseClick(dialog->findChild<QWidget*>(u"clBtn"_s), Qt::LeftButton);
    QCOMPARE(rig.program.settings().times(), (TalkTimes{12, 5, 2}));
    QCOMPARE(rig.program.settings().text(Text::wavefile), u"/sounds/bell.wav"_s);
}

void TestProgram::withoutSettingsFile()
{
    Rig rig;
    rig.program.start();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.program.mainWindow()));
    QVERIFY(rig.row(u"Label1"_s)->isVisible());
    QVERIFY(rig.row(u"Label2"_s)->isVisible());
    QCOMPARE(rig.row(u"Label1"_s)->font().pointSizeF(), 41.3);
    QCOMPARE(rig.program.mainWindow().fmtIndex(), 0);
    QCOMPARE(rig.label(u"Label1"_s)->text(), u"講演の開始から   00分00秒"_s);
    QCOMPARE(rig.program.settings().text(Text::presenPeriod), u"10"_s);
    QCOMPARE(rig.chime.fileName(), QString());
    QVERIFY(!rig.files.get(iniPath).has_value());
}

void TestProgram::rightPressTwiceGivesOneDialog()
{
    Rig rig;
    rig.program.start();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.program.mainWindow()));
    QCOMPARE(countSettingsDialogs(), 0);

    QTest::mousePress(rig.row(u"Label1"_s), Qt::RightButton, {}, QPoint(5, 5));
    QVERIFY(QTest::qWaitForWindowExposed(rig.program.settingsDialog()));
    QPointer<Form2> first = rig.program.settingsDialog();
    // Releasing the right button does nothing; the middle button does nothing at all.
    QTest::mouseRelease(rig.row(u"Label1"_s), Qt::RightButton, {}, QPoint(5, 5));
    QTest::mouseClick(rig.row(u"Label2"_s), Qt::MiddleButton, {}, QPoint(5, 5));
    rig.program.settings().setText(Text::presenPeriod, u"7"_s);

    // With the main window in front, a second right press brings the same dialog back to the front.
    rig.program.mainWindow().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&rig.program.mainWindow()));
    QTest::mousePress(rig.row(u"Label2"_s), Qt::RightButton, {}, QPoint(5, 5));
    QTRY_VERIFY(first->isActiveWindow());
    QCOMPARE(countSettingsDialogs(), 1);
    QCOMPARE(rig.program.settingsDialog(), first.data());
    QVERIFY(first->isVisible());
    // The main window stays usable, and the edit in progress is kept.
    QVERIFY(rig.program.mainWindow().isEnabled());
    QCOMPARE(rig.program.settings().text(Text::presenPeriod), u"7"_s);
    QVERIFY(rig.dialogs.shown().isEmpty());
}

void TestProgram::leftReleaseAsksThroughTheProgramsDialogs()
{
    Rig rig;
    rig.program.start();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.program.mainWindow()));
    rig.clock.advance(42.0);
    rig.ticker.fire();
    rig.dialogs.queueAnswer(true);
    QTest::mouseClick(&rig.program.mainWindow(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(rig.dialogs.shown().size(), 1);
    QCOMPARE(rig.dialogs.shown().constFirst().text, u"カウントをリセットしますか？"_s);
    QCOMPARE(rig.label(u"Label1"_s)->text(), u"講演の開始から   00分00秒"_s);
}

void TestProgram::keysReachTheCount()
{
    Rig rig;
    rig.program.start();
    Form1& form = rig.program.mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::keyClick(&form, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(rig.label(u"Label1"_s)->text(), u"講演の開始から   01分00秒"_s);
    QTest::keyClick(&form, Qt::Key_Space);
    QCOMPARE(form.windowTitle(), u"Lectern（一時停止）"_s);
    QTest::keyClick(&form, Qt::Key_N);
    QCOMPARE(rig.label(u"Label2"_s)->text(), u"質疑応答終了まで 05分00秒"_s);
    QCOMPARE(rig.chime.plays(), 0);
    QTest::keyClick(&form, Qt::Key_Space);
    QCOMPARE(form.windowTitle(), u"Lectern"_s);
    QCOMPARE(rig.chime.plays(), 1);
    rig.chime.finishPlayback();
    QTest::keyClick(&form, Qt::Key_B);
    QCOMPARE(rig.chime.plays(), 2);
    // With one screen D says so in the caption for a few seconds, and opens nothing.
    QTest::keyClick(&form, Qt::Key_D);
    QCOMPARE(form.windowTitle(), u"Lectern（2台目の画面がありません）"_s);
    QCOMPARE(rig.program.speakerScreen().window(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(form.windowTitle(), u"Lectern"_s, 6000);
}

void TestProgram::countsOnWhileSettingsShown()
{
    Rig rig;
    rig.program.start();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.program.mainWindow()));
    QTest::mousePress(rig.row(u"Label2"_s), Qt::RightButton, {}, QPoint(5, 5));
    Form2* dialog = rig.program.settingsDialog();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));

    // Eight minutes of ticks, one every 100 ms. Every chime ends at once, so each chime due is one play.
    const double start = rig.clock.now();
    for (int tick = 1; tick <= 4800; ++tick) {
        rig.clock.set(start + tick / 10.0);
        rig.ticker.fire();
        rig.chime.finishPlayback();
    }

    QCOMPARE(rig.label(u"Label1"_s)->text(), u"講演の開始から   08分00秒"_s);
    QCOMPARE(rig.label(u"Label2"_s)->text(), u"発表時間終了まで 02分00秒"_s);
    // The warning began with less than two minutes and a second left: yellow on black, and one chime.
    QCOMPARE(rig.label(u"Label2"_s)->foreground(), ColourValue(0x0000FFFF));
    QCOMPARE(rig.label(u"Label2"_s)->background(), ColourValue(0x00000000));
    QCOMPARE(rig.label(u"Label1"_s)->foreground(), ColourValue(0x00FFFF00));
    QCOMPARE(rig.chime.plays(), 1);
    QVERIFY(dialog->isVisible());
}

void TestProgram::confirmationReachesMainWindow_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("upperShown");
    QTest::addColumn<bool>("lowerShown");
    QTest::addColumn<QRect>("lower");
    QTest::addColumn<QString>("upperText");

    // The file selects the upper row only; the count has run for 42 seconds when the button is pressed.
    const QString counted = u"講演の開始から   00分42秒"_s;
    const QString restarted = u"講演の開始から   00分00秒"_s;
    const QRect whole(0, 0, 705, 113);
    QTest::newRow("both rows") << u"okBtn"_s << int(RowMode::Option1) << true << true << QRect(0, 57, 705, 56)
                               << counted;
    QTest::newRow("upper only") << u"okBtn"_s << int(RowMode::Option2) << true << false << whole << counted;
    QTest::newRow("lower only") << u"okBtn"_s << int(RowMode::Option3) << false << true << whole << counted;
    // With no row mode the rows keep the visibility they had and are laid out as one row.
    QTest::newRow("no row mode") << u"okBtn"_s << int(RowMode::None) << true << false << whole << counted;
    QTest::newRow("both rows and restart")
        << u"Command2"_s << int(RowMode::Option1) << true << true << QRect(0, 57, 705, 56) << restarted;
}

void TestProgram::confirmationReachesMainWindow()
{
    QFETCH(QString, button);
    QFETCH(int, mode);
    QFETCH(bool, upperShown);
    QFETCH(bool, lowerShown);
    QFETCH(QRect, lower);
    QFETCH(QString, upperText);
    Rig rig;

    rig.files.put(iniPath, settingsFile(RowMode::Option2));
    rig.program.start();
    Form1& form = rig.program.mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    rig.clock.advance(42.0);
    rig.ticker.fire();
    QTest::mousePress(&form, Qt::RightButton, {}, QPoint(5, 5));
    Form2* dialog = rig.program.settingsDialog();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    rig.program.settings().setRowMode(RowMode(mode));

    auto* pressed = dialog->findChild<QPushButton*>(button);
    QVERIFY(pressed);
    QTest::mouseClick(pressed, Qt::LeftButton);

    QVERIFY(!dialog->isVisible());
    QCOMPARE(rig.row(u"Label1"_s)->isVisible(), upperShown);
    QCOMPARE(rig.row(u"Label2"_s)->isVisible(), lowerShown);
    QCOMPARE(rig.row(u"Label2"_s)->geometry(), lower);
    QCOMPARE(rig.label(u"Label1"_s)->text(), upperText);
    QTRY_VERIFY(form.isActiveWindow());
    QCOMPARE(rig.files.writes(), 1);
}

void TestProgram::restartUsesUnconfirmedEdits_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("lower");
    QTest::addColumn<QString>("wave");

    // The file holds 12 minutes and bell.wav; the user types 3 minutes, a new heading and gong.wav.
    QTest::newRow("edits left unconfirmed") << false << u"発表の残り時間は 03分00秒"_s << u"/sounds/gong.wav"_s;
    // Cancel puts back the times and the wave file but keeps the heading.
    QTest::newRow("edits cancelled") << true << u"発表の残り時間は 12分00秒"_s << u"/sounds/bell.wav"_s;
}

void TestProgram::restartUsesUnconfirmedEdits()
{
    QFETCH(bool, cancel);
    QFETCH(QString, lower);
    QFETCH(QString, wave);
    Rig rig;

    const QByteArray original = settingsFile(RowMode::Option1, 12, 5, 2, u"講演の開始から"_s, u"/sounds/bell.wav"_s);
    rig.files.put(iniPath, original);
    rig.program.start();
    Form1& form = rig.program.mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mousePress(&form, Qt::RightButton, {}, QPoint(5, 5));
    Form2* dialog = rig.program.settingsDialog();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));

    auto* presenPeriod = dialog->findChild<QLineEdit*>(u"presenPeriod"_s);
    auto* text2 = dialog->findChild<QLineEdit*>(u"Text2"_s);
    auto* wavefile = dialog->findChild<QLineEdit*>(u"wavefile"_s);
    QVERIFY(presenPeriod && text2 && wavefile);
    typeOver(presenPeriod, u"3"_s);
    commitOver(text2, u"発表の残り時間は"_s);
    typeOver(wavefile, u"/sounds/gong.wav"_s);
    QCOMPARE(presenPeriod->text(), u"3"_s);
    QCOMPARE(text2->text(), u"発表の残り時間は"_s);
    QCOMPARE(wavefile->text(), u"/sounds/gong.wav"_s);
    if (cancel) {
        auto* clBtn = dialog->findChild<QPushButton*>(u"clBtn"_s);
        QVERIFY(clBtn);
        QTest::mouseClick(clBtn, Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
    }

    // The running count goes on with what it was started with.
    rig.clock.advance(30.0);
    rig.ticker.fire();
    QCOMPARE(rig.label(u"Label2"_s)->text(), u"発表時間終了まで 11分30秒"_s);

    rig.dialogs.queueAnswer(true);
    QTest::mouseClick(&form, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(rig.dialogs.shown().size(), 1);
    QCOMPARE(rig.label(u"Label1"_s)->text(), u"講演の開始から   00分00秒"_s);
    QCOMPARE(rig.label(u"Label2"_s)->text(), lower);
    QCOMPARE(rig.chime.fileName(), wave);
    QCOMPARE(dialog->isVisible(), !cancel);
    // Nothing was confirmed, so nothing was saved.
    QCOMPARE(rig.files.writes(), 0);
    QCOMPARE(rig.files.get(iniPath).value_or(QByteArray()), original);
}

void TestProgram::closingEndsTheProgram_data()
{
    QTest::addColumn<bool>("dialogOpened");
    QTest::addColumn<bool>("dialogShown");
    QTest::newRow("settings dialog shown") << true << true;
    QTest::newRow("settings dialog hidden") << true << false;
    QTest::newRow("settings dialog never opened") << false << false;
}

void TestProgram::closingEndsTheProgram()
{
    QFETCH(bool, dialogOpened);
    QFETCH(bool, dialogShown);
    Rig rig;

    const QByteArray original = settingsFile(RowMode::Option1, 12, 4, 3);
    rig.files.put(iniPath, original);
    rig.program.start();
    Form1& form = rig.program.mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    if (dialogOpened) {
        QTest::mousePress(&form, Qt::RightButton, {}, QPoint(5, 5));
        QVERIFY(QTest::qWaitForWindowExposed(rig.program.settingsDialog()));
        if (!dialogShown)
            rig.program.settingsDialog()->close();
    }
    // Unconfirmed edits are dropped on the way out.
    rig.program.settings().setText(Text::presenPeriod, u"20"_s);
    rig.program.settings().setText(Text::Text2, u"変更"_s);
    QPointer<Form2> dialog = rig.program.settingsDialog();

    QTimer::singleShot(0, &form, [&form] { form.close(); });
    // Only a guard: the loop must end through the close, long before this fires.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [] { QCoreApplication::exit(1); });
    guard.start(20000);
    const int exitCode = QCoreApplication::exec();

    QCOMPARE(exitCode, 0);
    QVERIFY(dialog.isNull());
    QCOMPARE(rig.program.settingsDialog(), nullptr);
    QVERIFY(!form.isVisible());
    QCOMPARE(countSettingsDialogs(), 0);
    QCOMPARE(rig.files.writes(), 0);
    QCOMPARE(rig.files.get(iniPath).value_or(QByteArray()), original);
    QVERIFY(rig.dialogs.shown().isEmpty());
}

void TestProgram::iconOnBothWindows()
{
    Rig rig;
    rig.program.start();
    const QIcon icon = QApplication::windowIcon();
    QVERIFY(!icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY(sizes.contains(QSize(16, 16)));
    QVERIFY(sizes.contains(QSize(32, 32)));
    QCOMPARE(rig.program.mainWindow().windowIcon().cacheKey(), icon.cacheKey());
    QCOMPARE(openSettings(rig.program)->windowIcon().cacheKey(), icon.cacheKey());

    // The stopwatch: a white dial with red marks and black hands at both small sizes.
    for (const int size : {16, 32}) {
        const QImage image = lecternIcon().pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(size, size));
        int white = 0;
        int red = 0;
        int black = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() < 255)
                    continue;
                white += c.red() > 240 && c.green() > 240 && c.blue() > 240;
                red += c.red() > 200 && c.green() < 60 && c.blue() < 60;
                black += c.red() < 30 && c.green() < 30 && c.blue() < 30;
            }
        }
        QVERIFY2(white > size * size / 8, qPrintable(QString::number(white)));
        QVERIFY2(red >= 12, qPrintable(QString::number(red)));
        QVERIFY2(black > 0, qPrintable(QString::number(black)));
    }
}

void TestProgram::soundCheck_data()
{
    using Failure = ChimeDevice::Failure;
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("fileOpens");
    QTest::addColumn<int>("refusal");
    QTest::addColumn<bool>("outputOpens");
    QTest::addColumn<QString>("message"); // empty: the sound plays and nothing is said
    QTest::newRow("a sound") << u"/sounds/bell.wav"_s << true << int(Failure::None) << true << QString();
    QTest::newRow("the built-in bell") << QString() << true << int(Failure::None) << true << QString();
    QTest::newRow("no such file") << u"/sounds/gone.wav"_s << false << int(Failure::NoSuchFile) << true
                                  << u"/sounds/gone.wav\n\nファイルが見つかりません。"_s;
    QTest::newRow("not a sound") << u"/sounds/notes.wav"_s << false << int(Failure::NotSound) << true
                                 << u"/sounds/notes.wav\n\nこのプログラムで再生できる音声ファイルではありません。"_s;
    QTest::newRow("too long") << u"/sounds/long.wav"_s << false << int(Failure::TooLong) << true
                              << u"/sounds/long.wav\n\n10分を超える音声ファイルは再生できません。"_s;
    QTest::newRow("no output") << QString() << true << int(Failure::None) << false
                               << u"内蔵のベル\n\n音声出力を開けませんでした（no audio device）。"_s;
}

void TestProgram::soundCheck()
{
    QFETCH(QString, path);
    QFETCH(bool, fileOpens);
    QFETCH(int, refusal);
    QFETCH(bool, outputOpens);
    QFETCH(QString, message);
    Rig rig;
    rig.check.setFileOpens(fileOpens, ChimeDevice::Failure(refusal));
    rig.check.setOutputOpens(outputOpens);
    rig.program.start();
    Form2* dialog = openSettings(rig.program);
    QVERIFY(dialog);
    dialog->findChild<QLineEdit*>(u"wavefile"_s)->setText(path);
    rig.chime.clearLog();
    dialog->findChild<QPushButton*>(u"playBtn"_s)->click();

    // The check goes through its own device and leaves the count's alone.
    QCOMPARE(rig.check.log().mid(0, 3), (QStringList{u"close"_s, u"file:"_s + path, u"open"_s}));
    QCOMPARE(rig.chime.log(), QStringList());
    if (message.isEmpty()) {
        QCOMPARE(rig.check.plays(), 1);
        QCOMPARE(rig.check.mode(), ChimeDevice::Mode::Busy);
        QVERIFY(rig.dialogs.shown().isEmpty());
        // A bell of the count stops the check rather than wait for it.
        rig.clock.advance(8.5 * 60);
        rig.ticker.fire();
        QCOMPARE(rig.chime.plays(), 1);
        QCOMPARE(rig.check.mode(), ChimeDevice::Mode::NotOpen);
    } else {
        QCOMPARE(rig.dialogs.shown().size(), 1);
        QCOMPARE(rig.dialogs.shown().front().kind, u"warn"_s);
        QCOMPARE(rig.dialogs.shown().front().caption, u"試聴"_s);
        QCOMPARE(rig.dialogs.shown().front().text, message);
    }
}

void TestProgram::soundCheckOfAFileRefusedOnceRead()
{
    // The device reads the file in the background, so that a refusal may come after the play.
    Rig rig;
    rig.program.start();
    Form2* dialog = openSettings(rig.program);
    QVERIFY(dialog);
    dialog->findChild<QLineEdit*>(u"wavefile"_s)->setText(u"/sounds/notes.wav"_s);
    dialog->findChild<QPushButton*>(u"playBtn"_s)->click();
    QVERIFY(rig.dialogs.shown().isEmpty());
    rig.check.refuseNow(ChimeDevice::Failure::NotSound);
    QTRY_COMPARE(rig.dialogs.shown().size(), 1);
    QCOMPARE(rig.dialogs.shown().front().text,
             u"/sounds/notes.wav\n\nこのプログラムで再生できる音声ファイルではありません。"_s);
}

void TestProgram::commandsFromALaterStart_data()
{
    // What a later start writes to the running copy (10 minutes' presentation, 2 warning), and the count after it.
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<bool>("cutOff");
    QTest::addColumn<CountState>("count"); // elapsed, phase, paused, rehearsal, adjusted
    QTest::newRow("pause") << QByteArray("pause\n") << false << CountState{0, 1, true, false, 0};
    QTest::newRow("adjust") << QByteArray("adjust=-5\nadjust=+490.5\n") << false
                            << CountState{490.5, 2, false, false, 490.5};
    QTest::newRow("skip") << QByteArray("skip\n") << false << CountState{0, 3, false, false, 0};
    QTest::newRow("rehearsal") << QByteArray("rehearsal\n") << false << CountState{0, 1, false, true, 0};
    QTest::newRow("restart") << QByteArray("pause\nrestart\nadjust=30\n") << false
                             << CountState{30, 1, false, false, 30};
    QTest::newRow("cut off at a bad line")
        << QByteArray("pause\nPause\nskip\n") << true << CountState{0, 1, true, false, 0};
    QTest::newRow("more than a day") << QByteArray("adjust=86401\n") << true << CountState{};
    QTest::newRow("not a number") << QByteArray("adjust=inf\n") << true << CountState{};
    QTest::newRow("carriage return") << QByteArray("pause\r\n") << true << CountState{};
    QTest::newRow("too long") << QByteArray(100, 'x') << true << CountState{};
    QTest::newRow("too long, a whole line") << "adjust=" + QByteArray(60, '0') + "1\nskip\n" << true << CountState{};
    // Each in one piece, newline and all: the limit is on the line, not on what one read brings.
    QTest::newRow("the longest line, 40 bytes") << "adjust=" + QByteArray(31, '0') + "10\n"
                                                << false << CountState{10, 1, false, false, 10};
    QTest::newRow("a byte past the longest line") << "adjust=" + QByteArray(32, '0') + "10\n" << true << CountState{};
}

void TestProgram::commandsFromALaterStart()
{
    QFETCH(QByteArray, sent);
    QFETCH(bool, cutOff);
    QFETCH(CountState, count);
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    Rig rig;
    rig.program.start();
    SingleInstance instance(iniPath);
    QCOMPARE(instance.claim(), SingleInstance::Claim::Ours);
    rig.program.takeCommandsFrom(instance);

    QLocalSocket caller;
    caller.connectToServer(instance.address());
    QVERIFY(caller.waitForConnected(1000));
    caller.write(sent);
    if (cutOff) // at once, not by the two seconds a caller has to finish a line
        QTRY_COMPARE_WITH_TIMEOUT(caller.state(), QLocalSocket::UnconnectedState, 1000);
    QTRY_COMPARE(rig.program.count().state(), count);
    QCOMPARE(caller.state(), cutOff ? QLocalSocket::UnconnectedState : QLocalSocket::ConnectedState);
}

void TestProgram::bellAndControlAddress()
{
    QTemporaryDir runtime;
    Rig rig;
    rig.program.start();
    SingleInstance instance(iniPath, {runtime.path(), {}, {}});
    QCOMPARE(instance.claim(), SingleInstance::Claim::Ours);
    rig.program.takeCommandsFrom(instance);
    const QString socket = instance.address();
    // What the copy answers a question with before it closes the connection; what follows is not heard.
    const auto answer = [&socket](const QByteArray& sent) {
        QLocalSocket caller;
        caller.connectToServer(socket);
        caller.write(sent);
        const bool closed =
            QTest::qWaitFor([&caller] { return caller.state() == QLocalSocket::UnconnectedState; }, 2000);
        return closed ? caller.readAll() : QByteArray("(not closed)");
    };
    QCOMPARE(answer("bell\ncontrol-url\nskip\n"), QByteArray("\n")); // not serving
    QCOMPARE(rig.chime.plays(), 1);
    QCOMPARE(rig.program.count().state().phase, 1);
    instance.setControlAddress([] { return u"http://192.0.2.7:8480/?token=0123abcd"_s; });
    QCOMPARE(answer("control-url\n"), QByteArray("http://192.0.2.7:8480/?token=0123abcd\n"));
}

void TestProgram::browserViewDropsAStuckViewer()
{
    Rig rig;
    rig.program.start();
    Form1& form = rig.program.mainWindow();
    QTest::keyClick(&form, Qt::Key_W);
    WebView* server = rig.program.webView();
    QVERIFY(server);
    const quint16 port = server->port();
    ViewLimits limits;
    limits.unsentBytes = 8192;
    server->setLimits(limits);

    // A viewer that takes nothing: its end of the connection reads one byte and no more.
    QTcpSocket viewer;
    viewer.setReadBufferSize(1);
    viewer.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(viewer.waitForConnected(5000));
    viewer.write("GET /socket HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    QTRY_COMPARE(server->viewerCount(), 1);
    // Each change of the rows goes out, never waiting: the first ones fit in the system's buffers, and the viewer
    // is dropped only once what it has not taken passes the bound.
    for (int k = 0; k < 10; ++k)
        server->push();
    QTest::qWait(50);
    QCOMPARE(server->viewerCount(), 1);
    for (int k = 0; k < 200000 && server->viewerCount() == 1; ++k) {
        server->push();
        QCoreApplication::processEvents();
    }
    QCOMPARE(server->viewerCount(), 0);

    // W again: nothing listens any more, once the server's threads have ended behind the window.
    QTest::keyClick(&form, Qt::Key_W);
    QVERIFY(!rig.program.webView());
    const auto listening = [port] {
        QTcpSocket late;
        late.connectToHost(QHostAddress::LocalHost, port);
        return late.waitForConnected(1000);
    };
    QTRY_VERIFY_WITH_TIMEOUT(!listening(), 5000);
}

void TestProgram::browserViewWithoutItsModule()
{
    // A program whose module is missing says so when W asks for the view, and the count runs on.
    Rig rig(u"/nonexistent"_s);
    rig.program.start();
    QTest::keyClick(&rig.program.mainWindow(), Qt::Key_W);
    QVERIFY(!rig.program.webView());
    QCOMPARE(rig.dialogs.shown().size(), 1);
    QCOMPARE(rig.dialogs.shown().front().text, u"ブラウザ表示を始められません: %1 が見つかりません"_s.arg(
                                                   QString::fromLatin1(loadable_library::webViewFile)));
}

QTEST_MAIN(TestProgram)
#include "test_program.moc"
