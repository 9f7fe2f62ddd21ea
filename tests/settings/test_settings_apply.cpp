#include "disk_file_access.h"
#include "fake_dialogs.h"
#include "fake_file_access.h"
#include "fake_main_window.h"
#include "settings_apply.h"
#include "settings_record.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using Text = SettingsRecord::Text;

namespace {

const QString iniPath = u"/opt/lectern/Lectern.ini"_s;

const QString invalidCaption = u"時間指定エラー"_s;
const QStringList invalidLines{u"値の範囲が不正です．"_s, u"どれかの値がゼロ以下か、あるいは"_s,
                               u"発表終了前の予鈴指定が、発表時間より大きい値となっています．"_s};

/// Lines 2 to 6 of the file for the default headings, colours and row mode, in code page 932.
const QByteArray defaultTail = "\"\x8D\x75\x89\x89\x82\xCC\x8A\x4A\x8E\x6E\x82\xA9\x82\xE7\",16776960,0\r\n"
                               "\"\x94\xAD\x95\x5C\x8E\x9E\x8A\xD4\x8F\x49\x97\xB9\x82\xDC\x82\xC5\",65535,0\r\n"
                               "\"\x8E\xBF\x8B\x5E\x89\x9E\x93\x9A\x8F\x49\x97\xB9\x82\xDC\x82\xC5\",65280,0\r\n"
                               "\"\x8D\x75\x89\x89\x8E\x9E\x8A\xD4\x82\xCC\x92\xB4\x89\xDF\x82\xCD\",65535,208\r\n"
                               "#TRUE#,#FALSE#,#FALSE#\r\n";

/// One settings record with the fakes around it, as the dialog wires them.
struct Rig {
    SettingsRecord record;
    FakeFileAccess files;
    FakeDialogs dialogs;
    FakeMainWindow main;
    int hides = 0;
    SettingsApply apply{record, files, dialogs, [this] {
                            ++hides;
                        }};

    Rig() { apply.setMainWindow(&main); }
    void setTimes(const QString& p, const QString& d, const QString& w)
    {
        record.setText(Text::presenPeriod, p);
        record.setText(Text::discussPeriod, d);
        record.setText(Text::warnBefore, w);
    }
    QStringList times() const
    {
        return {record.text(Text::presenPeriod), record.text(Text::discussPeriod), record.text(Text::warnBefore)};
    }
};

} // namespace

class TestSettingsApply : public QObject {
    Q_OBJECT
private slots:
    void acceptedTimes_data();
    void acceptedTimes();
    void rejectedTimes_data();
    void rejectedTimes();
    void fileBytes();
    void rowModeApplied_data();
    void rowModeApplied();
    void applyAndRestart_data();
    void applyAndRestart();
    void cancelRestoresConfirmed_data();
    void cancelRestoresConfirmed();
    void cancelKeepsOtherEdits();
    void cancelBeforeConfirmationUsesTakenCopy();
    void failedSaveIsReported();
    void failedSaveOnDisk();
};

void TestSettingsApply::acceptedTimes_data()
{
    QTest::addColumn<QString>("p");
    QTest::addColumn<QString>("d");
    QTest::addColumn<QString>("w");
    QTest::addColumn<QByteArray>("firstLine");

    QTest::newRow("defaults") << u"10"_s << u"5"_s << u"2"_s << QByteArray("10,5,2,\"\"\r\n");
    QTest::newRow("warning equal to presentation") << u"5"_s << u"5"_s << u"5"_s << QByteArray("5,5,5,\"\"\r\n");
    QTest::newRow("unit after the number") << u"10分"_s << u"5"_s << u"2"_s << QByteArray("10,5,2,\"\"\r\n");
    QTest::newRow("fractions") << u"12.50"_s << u"2.5"_s << u"0.25"_s << QByteArray("12.5,2.5,0.25,\"\"\r\n");
    QTest::newRow("blanks before") << u" 30"_s << u"\t7"_s << u"3"_s << QByteArray("30,7,3,\"\"\r\n");
    QTest::newRow("exponent") << u"1e1"_s << u"5"_s << u"2"_s << QByteArray("10,5,2,\"\"\r\n");
}

void TestSettingsApply::acceptedTimes()
{
    QFETCH(QString, p);
    QFETCH(QString, d);
    QFETCH(QString, w);
    QFETCH(QByteArray, firstLine);

    Rig rig;
    rig.setTimes(p, d, w);
    QVERIFY(rig.apply.apply(iniPath));

    QVERIFY2(rig.dialogs.shown().isEmpty(), "an accepted confirmation shows no box");
    QCOMPARE(rig.files.get(iniPath).value_or("<none>"), firstLine + defaultTail);
    QCOMPARE(rig.hides, 1);
    QCOMPARE(rig.main.calls(), (QStringList{u"rows:1,1"_s, u"resize"_s, u"show"_s}));
    // The fields keep what the user typed; only the file and the cancel copy hold the numbers.
    QCOMPARE(rig.times(), (QStringList{p, d, w}));
    QCOMPARE(rig.apply.cancelCopy().presentation, rig.record.minutes(Text::presenPeriod));
    QCOMPARE(rig.apply.cancelCopy().discussion, rig.record.minutes(Text::discussPeriod));
    QCOMPARE(rig.apply.cancelCopy().warning, rig.record.minutes(Text::warnBefore));
}

void TestSettingsApply::rejectedTimes_data()
{
    QTest::addColumn<QString>("p");
    QTest::addColumn<QString>("d");
    QTest::addColumn<QString>("w");

    QTest::newRow("presentation zero") << u"0"_s << u"5"_s << u"2"_s;
    QTest::newRow("discussion zero") << u"10"_s << u"0"_s << u"2"_s;
    QTest::newRow("warning zero") << u"10"_s << u"5"_s << u"0"_s;
    QTest::newRow("negative presentation") << u"-10"_s << u"5"_s << u"2"_s;
    QTest::newRow("negative warning") << u"10"_s << u"5"_s << u"-1"_s;
    QTest::newRow("empty discussion") << u"10"_s << u""_s << u"2"_s;
    QTest::newRow("letters only") << u"ten"_s << u"5"_s << u"2"_s;
    QTest::newRow("full-width digits read as no number") << u"１０"_s << u"5"_s << u"2"_s;
    QTest::newRow("warning beyond presentation") << u"5"_s << u"5"_s << u"6"_s;
    QTest::newRow("warning just beyond") << u"2"_s << u"5"_s << u"2.01"_s;
}

void TestSettingsApply::rejectedTimes()
{
    QFETCH(QString, p);
    QFETCH(QString, d);
    QFETCH(QString, w);

    Rig rig;
    rig.record.setText(Text::wavefile, u"/snd/bell.wav"_s);
    rig.apply.takeCancelCopy();
    rig.main.setRowsVisible(true, true);
    rig.main.clearCalls();
    rig.setTimes(p, d, w);
    rig.record.setRowMode(SettingsRecord::RowMode::Option3);
    rig.record.setText(Text::wavefile, u"/snd/other.wav"_s);

    QVERIFY(!rig.apply.apply(iniPath));

    QCOMPARE(rig.dialogs.shown().size(), 1);
    const FakeDialogs::Shown box = rig.dialogs.shown().constFirst();
    QCOMPARE(box.kind, u"inform"_s); // OK only, no icon
    QCOMPARE(box.caption, invalidCaption);
    QCOMPARE(box.text.split(u"\r\n"_s), invalidLines);
    // Nothing else happens: no file, the dialog stays, the rows stay, the texts and the copy are as they were.
    QCOMPARE(rig.files.writes(), 0);
    QCOMPARE(rig.hides, 0);
    QVERIFY(rig.main.calls().isEmpty());
    QCOMPARE(rig.times(), (QStringList{p, d, w}));
    QCOMPARE(rig.record.text(Text::wavefile), u"/snd/other.wav"_s);
    QCOMPARE(rig.apply.cancelCopy().presentation, 10.0);
    QCOMPARE(rig.apply.cancelCopy().discussion, 5.0);
    QCOMPARE(rig.apply.cancelCopy().warning, 2.0);
    QCOMPARE(rig.apply.cancelCopy().wavePath, u"/snd/bell.wav"_s);
}

void TestSettingsApply::fileBytes()
{
    Rig rig;
    rig.setTimes(u"20分"_s, u"7.5"_s, u"3"_s);
    rig.record.setText(Text::wavefile, u"/home/user/ベル 1.wav"_s);
    rig.record.setText(Text::Text1, u"新しい見出し"_s);
    rig.record.setColour(SettingsRecord::Swatch::t1f, 0x00123456u);
    rig.record.setColour(SettingsRecord::Swatch::t4b, 0x000000FFu);
    rig.record.setRowMode(SettingsRecord::RowMode::Option2);

    QVERIFY(rig.apply.apply(iniPath));

    const QByteArray expected = "20,7.5,3,\"/home/user/\x83\x78\x83\x8B\x20\x31.wav\"\r\n"
                                "\"\x90\x56\x82\xB5\x82\xA2\x8C\xA9\x8F\x6F\x82\xB5\",1193046,0\r\n"
                                "\"\x94\xAD\x95\x5C\x8E\x9E\x8A\xD4\x8F\x49\x97\xB9\x82\xDC\x82\xC5\",65535,0\r\n"
                                "\"\x8E\xBF\x8B\x5E\x89\x9E\x93\x9A\x8F\x49\x97\xB9\x82\xDC\x82\xC5\",65280,0\r\n"
                                "\"\x8D\x75\x89\x89\x8E\x9E\x8A\xD4\x82\xCC\x92\xB4\x89\xDF\x82\xCD\",65535,255\r\n"
                                "#FALSE#,#TRUE#,#FALSE#\r\n";
    QCOMPARE(rig.files.get(iniPath).value_or("<none>"), expected);
    QCOMPARE(rig.apply.cancelCopy().wavePath, u"/home/user/ベル 1.wav"_s);
}

void TestSettingsApply::rowModeApplied_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("both rows") << int(SettingsRecord::RowMode::Option1)
                               << QStringList{u"rows:1,1"_s, u"resize"_s, u"show"_s};
    QTest::newRow("upper only") << int(SettingsRecord::RowMode::Option2)
                                << QStringList{u"rows:1,0"_s, u"resize"_s, u"show"_s};
    QTest::newRow("lower only") << int(SettingsRecord::RowMode::Option3)
                                << QStringList{u"rows:0,1"_s, u"resize"_s, u"show"_s};
    // With no row mode the rows keep their visibility, yet are laid out again.
    QTest::newRow("none") << int(SettingsRecord::RowMode::None) << QStringList{u"resize"_s, u"show"_s};
}

void TestSettingsApply::rowModeApplied()
{
    QFETCH(int, mode);
    QFETCH(QStringList, calls);

    Rig rig;
    rig.record.setRowMode(SettingsRecord::RowMode(mode));
    // The rows change only after the dialog has been hidden.
    int hidesAtRows = -1;
    rig.main.setObserver([&](const QString& call) {
        if (call == u"resize"_s)
            hidesAtRows = rig.hides;
    });
    QVERIFY(rig.apply.apply(iniPath));
    QCOMPARE(rig.main.calls(), calls);
    QCOMPARE(hidesAtRows, 1);
    QVERIFY2(!rig.main.calls().contains(u"reset"_s), "confirming alone never restarts the count");
}

void TestSettingsApply::applyAndRestart_data()
{
    QTest::addColumn<QString>("w");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("accepted") << u"2"_s << true << QStringList{u"rows:1,1"_s, u"resize"_s, u"show"_s, u"reset"_s};
    QTest::newRow("warning rejected") << u"11"_s << false << QStringList{u"reset"_s};
}

void TestSettingsApply::applyAndRestart()
{
    QFETCH(QString, w);
    QFETCH(bool, accepted);
    QFETCH(QStringList, calls);

    Rig rig;
    rig.setTimes(u"10"_s, u"5"_s, w);
    qsizetype boxesAtReset = -1;
    QString warningAtReset;
    rig.main.setObserver([&](const QString& call) {
        if (call == u"reset"_s) {
            boxesAtReset = rig.dialogs.shown().size();
            warningAtReset = rig.record.text(Text::warnBefore);
        }
    });

    rig.apply.applyAndRestart(iniPath);

    QCOMPARE(rig.main.calls(), calls);
    QCOMPARE(rig.hides, accepted ? 1 : 0);
    QCOMPARE(rig.files.writes(), accepted ? 1 : 0);
    // A rejection's box has been answered before the restart, which counts with the texts as shown.
    QCOMPARE(boxesAtReset, accepted ? 0 : 1);
    QCOMPARE(warningAtReset, w);
    if (!accepted)
        QCOMPARE(rig.dialogs.shown().constFirst().caption, invalidCaption);
}

void TestSettingsApply::cancelRestoresConfirmed_data()
{
    QTest::addColumn<QString>("confirmed");
    QTest::addColumn<QString>("shownAfterCancel");

    QTest::newRow("whole minutes") << u"12"_s << u"12"_s;
    QTest::newRow("trailing zero") << u"12.50"_s << u"12.5"_s;
    QTest::newRow("unit dropped") << u"12分"_s << u"12"_s;
    QTest::newRow("blank dropped") << u" 8"_s << u"8"_s;
}

void TestSettingsApply::cancelRestoresConfirmed()
{
    QFETCH(QString, confirmed);
    QFETCH(QString, shownAfterCancel);

    Rig rig;
    rig.setTimes(confirmed, u"4"_s, u"1.5"_s);
    rig.record.setText(Text::wavefile, u"/snd/confirmed.wav"_s);
    QVERIFY(rig.apply.apply(iniPath));
    rig.main.clearCalls();

    rig.setTimes(u"20"_s, u"9"_s, u"abc"_s);
    rig.record.setText(Text::wavefile, u"/snd/edited.wav"_s);
    rig.apply.cancel();

    QCOMPARE(rig.times(), (QStringList{shownAfterCancel, u"4"_s, u"1.5"_s}));
    QCOMPARE(rig.record.text(Text::wavefile), u"/snd/confirmed.wav"_s);
    QCOMPARE(rig.hides, 2);
    QCOMPARE(rig.files.writes(), 1); // Cancel writes no file
    QVERIFY(rig.main.calls().isEmpty());
    QVERIFY(rig.dialogs.shown().isEmpty());
}

void TestSettingsApply::cancelKeepsOtherEdits()
{
    Rig rig;
    rig.record.setText(Text::Text1, u"経過時間"_s);
    rig.record.setText(Text::Text4, u"超過"_s);
    rig.record.setColour(SettingsRecord::Swatch::t3b, 0x00404040u);
    rig.record.setRowMode(SettingsRecord::RowMode::Option2);

    rig.apply.cancel();

    QCOMPARE(rig.record.heading(1), u"経過時間"_s);
    QCOMPARE(rig.record.heading(4), u"超過"_s);
    QCOMPARE(rig.record.colour(SettingsRecord::Swatch::t3b), 0x00404040u);
    QCOMPARE(rig.record.rowMode(), SettingsRecord::RowMode::Option2);
    QCOMPARE(rig.times(), (QStringList{u"10"_s, u"5"_s, u"2"_s}));
}

void TestSettingsApply::cancelBeforeConfirmationUsesTakenCopy()
{
    Rig rig;
    // The settings file put these into the record before start-up took the copy.
    rig.setTimes(u"15"_s, u"4"_s, u"3"_s);
    rig.record.setText(Text::wavefile, u"/snd/from-file.wav"_s);
    rig.apply.takeCancelCopy();

    rig.setTimes(u"1"_s, u"1"_s, u"1"_s);
    rig.record.setText(Text::wavefile, QString());
    rig.apply.cancel();

    QCOMPARE(rig.times(), (QStringList{u"15"_s, u"4"_s, u"3"_s}));
    QCOMPARE(rig.record.text(Text::wavefile), u"/snd/from-file.wav"_s);
}

void TestSettingsApply::failedSaveIsReported()
{
    Rig rig;
    const QByteArray old = "10,5,2,\"\"\r\nold";
    rig.files.put(iniPath, old);
    rig.files.failWrites(u"No space left on device"_s);
    rig.setTimes(u"25"_s, u"5"_s, u"2"_s);
    rig.record.setRowMode(SettingsRecord::RowMode::Option3);

    QVERIFY(rig.apply.apply(iniPath));

    QCOMPARE(rig.files.get(iniPath).value_or("<none>"), old);
    QCOMPARE(rig.dialogs.shown().size(), 1);
    const FakeDialogs::Shown box = rig.dialogs.shown().constFirst();
    QCOMPARE(box.kind, u"warn"_s);
    QCOMPARE(box.caption, u"設定の保存エラー"_s);
    QVERIFY2(box.text.contains(iniPath), qPrintable(box.text));
    QVERIFY2(box.text.contains(u"No space left on device"_s), qPrintable(box.text));
    QVERIFY2(box.text.startsWith(u"設定ファイルを保存できませんでした。"_s), qPrintable(box.text));
    // The settings are in force for this run: applied to the rows, and what Cancel brings back.
    QCOMPARE(rig.hides, 1);
    QCOMPARE(rig.main.calls(), (QStringList{u"rows:0,1"_s, u"resize"_s, u"show"_s}));
    QCOMPARE(rig.apply.cancelCopy().presentation, 25.0);
}

void TestSettingsApply::failedSaveOnDisk()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A folder that is not there cannot take the file, whoever runs the test.
    const QString path = dir.filePath(u"gone/Lectern.ini"_s);
    SettingsRecord record;
    DiskFileAccess files;
    FakeDialogs dialogs;
    SettingsApply apply(record, files, dialogs, {});

    QVERIFY(apply.apply(path));

    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.shown().constFirst().caption, u"設定の保存エラー"_s);
    QVERIFY(dialogs.shown().constFirst().text.contains(path));
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

QTEST_GUILESS_MAIN(TestSettingsApply)
#include "test_settings_apply.moc"
