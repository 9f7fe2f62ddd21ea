#include "app/app_icon.h"
#include "app/program.h"
#include "fake_chime_device.h"
#include "fake_clock.h"
#include "fake_dialogs.h"
#include "fake_file_access.h"
#include "fake_ticker.h"
#include "main_window/form1.h"
#include "main_window/row_label.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"
#include "settings_dialog/form2.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;
using RowMode = SettingsRecord::RowMode;
using Text = SettingsRecord::Text;

namespace {

const QString folder = u"/opt/lectern"_s;
const QString iniPath = u"/opt/lectern/Lectern.ini"_s;

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
    bool dialogHidden = false;
    FakeTicker* ticker = nullptr;
    Program* program = nullptr;

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
            dialogHidden = program->settingsDialog() && !program->settingsDialog()->isVisible();
        }
        return false;
    }
};

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startUp_data();
    void startUp();
    void startUpOrder();
    void withoutSettingsFile();
    void rightPressTwiceGivesOneDialog();
    void leftReleaseAsksThroughTheProgramsDialogs();
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

private:
    QWidget* row(const QString& name) { return m_program->mainWindow().findChild<QWidget*>(name); }
    RowLabel* label(const QString& name) { return m_program->mainWindow().findChild<RowLabel*>(name); }

    std::unique_ptr<FakeClock> m_clock;
    std::unique_ptr<FakeTicker> m_ticker;
    std::unique_ptr<FakeChimeDevice> m_chime;
    std::unique_ptr<FakeChimeDevice> m_check;
    std::unique_ptr<FakeFileAccess> m_files;
    std::unique_ptr<FakeDialogs> m_dialogs;
    std::unique_ptr<Program> m_program;
};

void TestProgram::init()
{
    m_clock = std::make_unique<FakeClock>();
    m_ticker = std::make_unique<FakeTicker>();
    m_chime = std::make_unique<FakeChimeDevice>();
    m_check = std::make_unique<FakeChimeDevice>();
    m_files = std::make_unique<FakeFileAccess>();
    m_files->setProgramFolder(folder);
    m_dialogs = std::make_unique<FakeDialogs>();
    m_program = std::make_unique<Program>(Services{*m_clock, *m_ticker, *m_chime, *m_files, *m_dialogs, *m_check});
}

void TestProgram::cleanup()
{
    m_program.reset();
    m_dialogs.reset();
    m_files.reset();
    m_chime.reset();
    m_ticker.reset();
    m_clock.reset();
}

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

    m_files->put(iniPath, settingsFile(RowMode(mode)));
    m_program->start();
    Form1& form = m_program->mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowState(), Qt::WindowNoState);
    QCOMPARE(row(u"Label1"_s)->isVisible(), upperShown);
    QCOMPARE(row(u"Label2"_s)->isVisible(), lowerShown);
    QCOMPARE(row(u"Label1"_s)->geometry(), upper);
    QCOMPARE(row(u"Label2"_s)->geometry(), lower);
    QCOMPARE(row(u"Label1"_s)->font().pointSizeF(), 41.3);
    QCOMPARE(row(u"Label2"_s)->font().pointSizeF(), 41.3);
    QCOMPARE(form.fmtIndex(), 0);
    QCOMPARE(m_program->settings().rowMode(), RowMode(mode));
}

void TestProgram::startUpOrder()
{
    const QString heading = u"開始から"_s;
    m_files->put(iniPath, settingsFile(RowMode::Option2, 12, 5, 2, heading, u"/sounds/bell.wav"_s));
    ShowWatcher watcher;
    watcher.ticker = m_ticker.get();
    watcher.program = m_program.get();
    m_program->mainWindow().installEventFilter(&watcher);
    QVERIFY(!m_program->mainWindow().isVisible());
    QCOMPARE(m_program->settingsDialog(), nullptr);

    m_program->start();

    // By the time the window first shows, the file was read, the rows shown by its row mode and laid out,
    // and the first count started with the file's heading and times.
    QVERIFY(watcher.shown);
    QCOMPARE(watcher.upperText, heading + QString(8, u' ') + u" 00分00秒"_s);
    QCOMPARE(watcher.lowerText, u"発表時間終了まで 12分00秒"_s);
    QVERIFY(watcher.upperVisible);
    QVERIFY(!watcher.lowerVisible);
    QCOMPARE(watcher.typeSize, 41.3);
    QVERIFY(watcher.tickerRunning);
    QVERIFY(watcher.dialogHidden);

    // The first count opened the file's chime.
    QCOMPARE(m_chime->fileName(), u"/sounds/bell.wav"_s);
    QVERIFY(m_chime->log().contains(u"open"_s));

    Form2* dialog = m_program->settingsDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->fileN, iniPath);
    // The dialog is a window of its own, not owned by the main window.
    QVERIFY(dialog->isWindow());
    QCOMPARE(dialog->parentWidget(), nullptr);
    // The cancel copy holds the file's values, not the defaults.
    QCOMPARE(dialog->cancelTimes(), (TalkTimes{12, 5, 2}));
    QCOMPARE(dialog->cancelWavePath(), u"/sounds/bell.wav"_s);
    // Nothing was written at start.
    QCOMPARE(m_files->writes(), 0);
}

void TestProgram::withoutSettingsFile()
{
    m_program->start();
    QVERIFY(QTest::qWaitForWindowExposed(&m_program->mainWindow()));
    QVERIFY(row(u"Label1"_s)->isVisible());
    QVERIFY(row(u"Label2"_s)->isVisible());
    QCOMPARE(row(u"Label1"_s)->font().pointSizeF(), 41.3);
    QCOMPARE(m_program->mainWindow().fmtIndex(), 0);
    QCOMPARE(m_program->mainWindow().upperText(), u"講演の開始から   00分00秒"_s);
    QCOMPARE(m_program->settings().text(Text::presenPeriod), u"10"_s);
    QCOMPARE(m_chime->fileName(), QString());
    QVERIFY(!m_files->get(iniPath).has_value());
}

void TestProgram::rightPressTwiceGivesOneDialog()
{
    m_program->start();
    QVERIFY(QTest::qWaitForWindowExposed(&m_program->mainWindow()));
    QCOMPARE(countSettingsDialogs(), 1);
    QVERIFY(!m_program->settingsDialog()->isVisible());

    QTest::mousePress(row(u"Label1"_s), Qt::RightButton, {}, QPoint(5, 5));
    QVERIFY(QTest::qWaitForWindowExposed(m_program->settingsDialog()));
    QPointer<Form2> first = m_program->settingsDialog();
    // Releasing the right button does nothing; the middle button does nothing at all.
    QTest::mouseRelease(row(u"Label1"_s), Qt::RightButton, {}, QPoint(5, 5));
    QTest::mouseClick(row(u"Label2"_s), Qt::MiddleButton, {}, QPoint(5, 5));
    m_program->settings().setText(Text::presenPeriod, u"7"_s);

    // With the main window in front, a second right press brings the same dialog back to the front.
    m_program->mainWindow().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&m_program->mainWindow()));
    QTest::mousePress(row(u"Label2"_s), Qt::RightButton, {}, QPoint(5, 5));
    QTRY_VERIFY(first->isActiveWindow());
    QCOMPARE(countSettingsDialogs(), 1);
    QCOMPARE(m_program->settingsDialog(), first.data());
    QVERIFY(first->isVisible());
    // The main window stays usable, and the edit in progress is kept.
    QVERIFY(m_program->mainWindow().isEnabled());
    QCOMPARE(m_program->settings().text(Text::presenPeriod), u"7"_s);
    QVERIFY(m_dialogs->shown().isEmpty());
}

void TestProgram::leftReleaseAsksThroughTheProgramsDialogs()
{
    m_program->start();
    QVERIFY(QTest::qWaitForWindowExposed(&m_program->mainWindow()));
    m_clock->advance(42.0);
    m_ticker->fire();
    m_dialogs->queueAnswer(true);
    QTest::mouseClick(&m_program->mainWindow(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(m_dialogs->shown().size(), 1);
    QCOMPARE(m_dialogs->shown().constFirst().text, u"カウントをリセットしますか？"_s);
    QCOMPARE(m_program->mainWindow().upperText(), u"講演の開始から   00分00秒"_s);
}

void TestProgram::countsOnWhileSettingsShown()
{
    m_program->start();
    QVERIFY(QTest::qWaitForWindowExposed(&m_program->mainWindow()));
    QTest::mousePress(row(u"Label2"_s), Qt::RightButton, {}, QPoint(5, 5));
    Form2* dialog = m_program->settingsDialog();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));

    // Eight minutes of ticks, one every 100 ms. Every chime ends at once, so each chime due is one play.
    const double start = m_clock->now();
    for (int tick = 1; tick <= 4800; ++tick) {
        m_clock->set(start + tick / 10.0);
        m_ticker->fire();
        m_chime->finishPlayback();
    }

    QCOMPARE(label(u"Label1"_s)->text(), u"講演の開始から   08分00秒"_s);
    QCOMPARE(label(u"Label2"_s)->text(), u"発表時間終了まで 02分00秒"_s);
    // The warning began with less than two minutes and a second left: yellow on black, and one chime.
    QCOMPARE(label(u"Label2"_s)->foreground(), ColourValue(0x0000FFFF));
    QCOMPARE(label(u"Label2"_s)->background(), ColourValue(0x00000000));
    QCOMPARE(label(u"Label1"_s)->foreground(), ColourValue(0x00FFFF00));
    QCOMPARE(m_chime->plays(), 1);
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

    m_files->put(iniPath, settingsFile(RowMode::Option2));
    m_program->start();
    Form1& form = m_program->mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    m_clock->advance(42.0);
    m_ticker->fire();
    QTest::mousePress(&form, Qt::RightButton, {}, QPoint(5, 5));
    Form2* dialog = m_program->settingsDialog();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    m_program->settings().setRowMode(RowMode(mode));

    auto* pressed = dialog->findChild<QPushButton*>(button);
    QVERIFY(pressed);
    QTest::mouseClick(pressed, Qt::LeftButton);

    QVERIFY(!dialog->isVisible());
    QCOMPARE(row(u"Label1"_s)->isVisible(), upperShown);
    QCOMPARE(row(u"Label2"_s)->isVisible(), lowerShown);
    QCOMPARE(row(u"Label2"_s)->geometry(), lower);
    QCOMPARE(label(u"Label1"_s)->text(), upperText);
    QTRY_VERIFY(form.isActiveWindow());
    QCOMPARE(m_files->writes(), 1);
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

    const QByteArray original = settingsFile(RowMode::Option1, 12, 5, 2, u"講演の開始から"_s, u"/sounds/bell.wav"_s);
    m_files->put(iniPath, original);
    m_program->start();
    Form1& form = m_program->mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mousePress(&form, Qt::RightButton, {}, QPoint(5, 5));
    Form2* dialog = m_program->settingsDialog();
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
    m_clock->advance(30.0);
    m_ticker->fire();
    QCOMPARE(label(u"Label2"_s)->text(), u"発表時間終了まで 11分30秒"_s);

    m_dialogs->queueAnswer(true);
    QTest::mouseClick(&form, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(m_dialogs->shown().size(), 1);
    QCOMPARE(label(u"Label1"_s)->text(), u"講演の開始から   00分00秒"_s);
    QCOMPARE(label(u"Label2"_s)->text(), lower);
    QCOMPARE(m_chime->fileName(), wave);
    QCOMPARE(dialog->isVisible(), !cancel);
    // Nothing was confirmed, so nothing was saved.
    QCOMPARE(m_files->writes(), 0);
    QCOMPARE(m_files->get(iniPath).value_or(QByteArray()), original);
}

void TestProgram::closingEndsTheProgram_data()
{
    QTest::addColumn<bool>("dialogShown");
    QTest::newRow("settings dialog shown") << true;
    QTest::newRow("settings dialog hidden") << false;
}

void TestProgram::closingEndsTheProgram()
{
    QFETCH(bool, dialogShown);

    const QByteArray original = settingsFile(RowMode::Option1, 12, 4, 3);
    m_files->put(iniPath, original);
    m_program->start();
    Form1& form = m_program->mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    if (dialogShown) {
        QTest::mousePress(&form, Qt::RightButton, {}, QPoint(5, 5));
        QVERIFY(QTest::qWaitForWindowExposed(m_program->settingsDialog()));
    }
    // Unconfirmed edits are dropped on the way out.
    m_program->settings().setText(Text::presenPeriod, u"20"_s);
    m_program->settings().setText(Text::Text2, u"変更"_s);
    QPointer<Form2> dialog = m_program->settingsDialog();

    QTimer::singleShot(0, &form, [&form] { form.close(); });
    // Only a guard: the loop must end through the close, long before this fires.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [] { QCoreApplication::exit(1); });
    guard.start(20000);
    const int exitCode = QCoreApplication::exec();

    QCOMPARE(exitCode, 0);
    QVERIFY(dialog.isNull());
    QCOMPARE(m_program->settingsDialog(), nullptr);
    QVERIFY(!form.isVisible());
    QCOMPARE(countSettingsDialogs(), 0);
    QCOMPARE(m_files->writes(), 0);
    QCOMPARE(m_files->get(iniPath).value_or(QByteArray()), original);
    QVERIFY(m_dialogs->shown().isEmpty());
}

void TestProgram::iconOnBothWindows()
{
    m_program->start();
    const QIcon icon = QApplication::windowIcon();
    QVERIFY(!icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY(sizes.contains(QSize(16, 16)));
    QVERIFY(sizes.contains(QSize(32, 32)));
    QCOMPARE(m_program->mainWindow().windowIcon().cacheKey(), icon.cacheKey());
    QCOMPARE(m_program->settingsDialog()->windowIcon().cacheKey(), icon.cacheKey());

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
    m_check->setFileOpens(fileOpens, ChimeDevice::Failure(refusal));
    m_check->setOutputOpens(outputOpens);
    m_program->start();
    Form2* dialog = m_program->settingsDialog();
    dialog->findChild<QLineEdit*>(u"wavefile"_s)->setText(path);
    m_chime->clearLog();
    dialog->findChild<QPushButton*>(u"playBtn"_s)->click();

    // The check goes through its own device and leaves the count's alone.
    QCOMPARE(m_check->log().mid(0, 3), (QStringList{u"close"_s, u"file:"_s + path, u"open"_s}));
    QCOMPARE(m_chime->log(), QStringList());
    if (message.isEmpty()) {
        QCOMPARE(m_check->plays(), 1);
        QCOMPARE(m_check->mode(), ChimeDevice::Mode::Busy);
        QVERIFY(m_dialogs->shown().isEmpty());
        // A bell of the count stops the check rather than wait for it.
        m_clock->advance(8.5 * 60);
        m_ticker->fire();
        QCOMPARE(m_chime->plays(), 1);
        QCOMPARE(m_check->mode(), ChimeDevice::Mode::NotOpen);
    } else {
        QCOMPARE(m_dialogs->shown().size(), 1);
        QCOMPARE(m_dialogs->shown().front().kind, u"warn"_s);
        QCOMPARE(m_dialogs->shown().front().caption, u"試聴"_s);
        QCOMPARE(m_dialogs->shown().front().text, message);
    }
}

QTEST_MAIN(TestProgram)
#include "test_program.moc"
