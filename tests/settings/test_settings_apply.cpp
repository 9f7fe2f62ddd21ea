#include "fake_dialogs.h"
#include "fake_file_access.h"
#include "record_snapshot.h"
#include "settings/settings_apply.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Text = SettingsRecord::Text;
using RowMode = SettingsRecord::RowMode;

namespace {

const QString iniPath = u"/opt/lectern/Lectern.ini"_s;

const QString invalidCaption = u"時間指定エラー"_s;
const QStringList invalidLines{u"値の範囲が不正です．"_s, u"どれかの値がゼロ以下か、あるいは"_s,
                               u"発表終了前の予鈴指定が、発表時間より大きい値となっています．"_s};

/// One settings record with the fakes around it, and what SettingsApply told of, signal by signal.
struct Rig {
    SettingsRecord record;
    FakeFileAccess files;
    FakeDialogs dialogs;
    SettingsApply apply{record, files, dialogs};
    QSignalSpy finished{&apply, &SettingsApply::finished};
    QSignalSpy confirmed{&apply, &SettingsApply::confirmed};
    QSignalSpy restarts{&apply, &SettingsApply::restartRequested};

    /// Whether a window reached by confirmed() or restartRequested() saw anything but the end.
    bool confirmationsSeen() const { return !confirmed.isEmpty() || !restarts.isEmpty(); }
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
    void rowModeApplied_data();
    void rowModeApplied();
    void applyAndRestart_data();
    void applyAndRestart();
    void cancelRestoresConfirmed_data();
    void cancelRestoresConfirmed();
    void failedSaveIsReported();
};

void TestSettingsApply::acceptedTimes_data()
{
    QTest::addColumn<QString>("p");
    QTest::addColumn<QString>("d");
    QTest::addColumn<QString>("w");
    QTest::addColumn<QList<double>>("minutes");

    QTest::newRow("defaults") << u"10"_s << u"5"_s << u"2"_s << QList<double>{10, 5, 2};
    QTest::newRow("warning equal to presentation") << u"5"_s << u"5"_s << u"5"_s << QList<double>{5, 5, 5};
    QTest::newRow("unit after the number") << u"20分"_s << u"5"_s << u"2"_s << QList<double>{20, 5, 2};
    QTest::newRow("fractions") << u"12.50"_s << u"2.5"_s << u"0.25"_s << QList<double>{12.5, 2.5, 0.25};
    QTest::newRow("blanks before") << u" 30"_s << u"\t7"_s << u"3"_s << QList<double>{30, 7, 3};
    QTest::newRow("exponent") << u"1e1"_s << u"5"_s << u"2"_s << QList<double>{10, 5, 2};
}

void TestSettingsApply::acceptedTimes()
{
    QFETCH(QString, p);
    QFETCH(QString, d);
    QFETCH(QString, w);
    QFETCH(QList<double>, minutes);

    Rig rig;
    rig.setTimes(p, d, w);
    // The rest of the record differs from the defaults, so a file written from anything else shows.
    rig.record.setText(Text::wavefile, u"/home/user/ベル 1.wav"_s);
    rig.record.setText(Text::Text1, u"新しい見出し"_s);
    rig.record.setColour(SettingsRecord::Swatch::t4b, 0x000000FFu);
    rig.record.setRowMode(SettingsRecord::RowMode::Option2);
    QVERIFY(rig.apply.apply(iniPath));

    QVERIFY2(rig.dialogs.shown().isEmpty(), "an accepted confirmation shows no box");
    QCOMPARE(rig.files.get(iniPath).value_or("<none>"),
             settingsFileBytes({minutes.at(0), minutes.at(1), minutes.at(2)}, rig.record));
    // The fields keep what the user typed; only the file gets the numbers.
    QCOMPARE(rig.times(), (QStringList{p, d, w}));
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
    QCOMPARE(rig.finished.size(), 0);
    QVERIFY(!rig.confirmationsSeen());
    QCOMPARE(rig.times(), (QStringList{p, d, w}));
    QCOMPARE(rig.record.text(Text::wavefile), u"/snd/other.wav"_s);
    rig.apply.cancel();
    QCOMPARE(rig.times(), (QStringList{u"10"_s, u"5"_s, u"2"_s}));
    QCOMPARE(rig.record.text(Text::wavefile), u"/snd/bell.wav"_s);
}

void TestSettingsApply::rowModeApplied_data()
{
    QTest::addColumn<int>("mode");

    QTest::newRow("both rows") << int(RowMode::Option1);
    QTest::newRow("upper only") << int(RowMode::Option2);
    QTest::newRow("lower only") << int(RowMode::Option3);
    // With no row mode the rows keep their visibility, yet the main window is laid out again.
    QTest::newRow("none") << int(RowMode::None);
}

void TestSettingsApply::rowModeApplied()
{
    QFETCH(int, mode);

    Rig rig;
    rig.record.setRowMode(RowMode(mode));
    // The main window is told only after the dialog was told to hide, so it comes to the front over it.
    qsizetype finishedAtConfirmation = -1;
    QObject::connect(&rig.apply, &SettingsApply::confirmed, &rig.apply,
                     [&] { finishedAtConfirmation = rig.finished.size(); });
    QVERIFY(rig.apply.apply(iniPath));
    QCOMPARE(rig.confirmed.size(), 1);
    QCOMPARE(rig.confirmed.constFirst().constFirst().value<RowMode>(), RowMode(mode));
    QCOMPARE(finishedAtConfirmation, 1);
    QVERIFY2(rig.restarts.isEmpty(), "confirming alone never restarts the count");
}

void TestSettingsApply::applyAndRestart_data()
{
    QTest::addColumn<QString>("w");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("accepted") << u"2"_s << true;
    QTest::newRow("warning rejected") << u"11"_s << false;
}

void TestSettingsApply::applyAndRestart()
{
    QFETCH(QString, w);
    QFETCH(bool, accepted);

    Rig rig;
    rig.setTimes(u"10"_s, u"5"_s, w);
    qsizetype confirmationsAtRestart = -1;
    qsizetype boxesAtRestart = -1;
    QString warningAtRestart;
    QObject::connect(&rig.apply, &SettingsApply::restartRequested, &rig.apply, [&] {
        confirmationsAtRestart = rig.confirmed.size();
        boxesAtRestart = rig.dialogs.shown().size();
        warningAtRestart = rig.record.text(Text::warnBefore);
    });

    rig.apply.applyAndRestart(iniPath);

    QCOMPARE(rig.restarts.size(), 1);
    // An accepted confirmation reaches the main window before the restart.
    QCOMPARE(confirmationsAtRestart, accepted ? 1 : 0);
    QCOMPARE(rig.finished.size(), accepted ? 1 : 0);
    QCOMPARE(rig.files.writes(), accepted ? 1 : 0);
    // A rejection's box has been answered before the restart, which counts with the texts as shown.
    QCOMPARE(boxesAtRestart, accepted ? 0 : 1);
    QCOMPARE(warningAtRestart, w);
    if (!accepted)
        QCOMPARE(rig.dialogs.shown().constFirst().caption, invalidCaption);
}

void TestSettingsApply::cancelRestoresConfirmed_data()
{
    // `copy` is how the cancel copy was last taken: by a confirmation, by start-up after reading the settings
    // file, or only when SettingsApply was made, from the defaults.
    QTest::addColumn<QString>("copy");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("shownAfterCancel");
    QTest::addColumn<QString>("pathAfterCancel");

    const QString path = u"/snd/confirmed.wav"_s;
    QTest::newRow("whole minutes") << u"apply"_s << u"12"_s << QStringList{u"12"_s, u"4"_s, u"1.5"_s} << path;
    QTest::newRow("trailing zero") << u"apply"_s << u"12.50"_s << QStringList{u"12.5"_s, u"4"_s, u"1.5"_s} << path;
    QTest::newRow("unit dropped") << u"apply"_s << u"12分"_s << QStringList{u"12"_s, u"4"_s, u"1.5"_s} << path;
    QTest::newRow("blank dropped") << u"apply"_s << u" 8"_s << QStringList{u"8"_s, u"4"_s, u"1.5"_s} << path;
    QTest::newRow("copy taken at start-up") << u"take"_s << u"15"_s << QStringList{u"15"_s, u"4"_s, u"1.5"_s} << path;
    QTest::newRow("copy of the defaults") << u"none"_s << u"15"_s << QStringList{u"10"_s, u"5"_s, u"2"_s} << QString();
}

void TestSettingsApply::cancelRestoresConfirmed()
{
    QFETCH(QString, copy);
    QFETCH(QString, typed);
    QFETCH(QStringList, shownAfterCancel);
    QFETCH(QString, pathAfterCancel);

    Rig rig;
    rig.setTimes(typed, u"4"_s, u"1.5"_s);
    rig.record.setText(Text::wavefile, u"/snd/confirmed.wav"_s);
    if (copy == u"apply")
        QVERIFY(rig.apply.apply(iniPath));
    else if (copy == u"take")
        rig.apply.takeCancelCopy();
    const qsizetype finishes = rig.finished.size();
    const qsizetype confirmations = rig.confirmed.size();

    rig.setTimes(u"20"_s, u"9"_s, u"abc"_s);
    rig.record.setText(Text::wavefile, u"/snd/edited.wav"_s);
    rig.record.setText(Text::Text1, u"経過時間"_s);
    rig.record.setColour(SettingsRecord::Swatch::t3b, 0x00404040u);
    rig.record.setRowMode(SettingsRecord::RowMode::Option2);
    const RecordSnapshot edited = RecordSnapshot::of(rig.record);
    rig.apply.cancel();

    // The three times and the wave path come back; headings, colours and the row mode keep their edits.
    QCOMPARE(RecordSnapshot::of(rig.record),
             edited.withTimes(shownAfterCancel.at(0), shownAfterCancel.at(1), shownAfterCancel.at(2), pathAfterCancel));
    QCOMPARE(rig.finished.size(), finishes + 1);
    QCOMPARE(rig.files.writes(), copy == u"apply" ? 1 : 0); // Cancel writes no file
    QCOMPARE(rig.confirmed.size(), confirmations);
    QVERIFY(rig.restarts.isEmpty());
    QVERIFY(rig.dialogs.shown().isEmpty());
}

void TestSettingsApply::failedSaveIsReported()
{
    Rig rig;
    const QByteArray old = "10,5,2,\"\"\r\nold";
    rig.files.put(iniPath, old);
    rig.files.failWrites(u"No space left on device"_s);
    rig.setTimes(u"25"_s, u"5"_s, u"2"_s);
    rig.record.setRowMode(RowMode::Option3);

    QTest::ignoreMessage(QtWarningMsg, "settings not saved to /opt/lectern/Lectern.ini: No space left on device");
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
    QCOMPARE(rig.finished.size(), 1);
    QCOMPARE(rig.confirmed.size(), 1);
    QCOMPARE(rig.confirmed.constFirst().constFirst().value<RowMode>(), RowMode::Option3);
    QCOMPARE(rig.apply.cancelTimes(), (TalkTimes{25, 5, 2}));
}

QTEST_GUILESS_MAIN(TestSettingsApply)
#include "test_settings_apply.moc"
