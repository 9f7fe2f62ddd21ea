#include "fake_file_access.h"
#include "platform/disk_file_access.h"
#include "record_snapshot.h"
#include "settings/count_location.h"
#include "settings/number_rule.h"
#include "settings/settings_file.h"
#include "settings/settings_location.h"
#include "settings/settings_record.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;
using Text = SettingsRecord::Text;
using Swatch = SettingsRecord::Swatch;
using RowMode = SettingsRecord::RowMode;

Q_DECLARE_METATYPE(RecordSnapshot)
Q_DECLARE_METATYPE(SettingsRecord::RowMode)

namespace {

/// The file the writer makes from the default settings, byte for byte, in code page 932.
const QByteArray defaultFile =
    QByteArray("10,5,2,\"\"\r\n"
               "\"\x8d\x75\x89\x89\x82\xcc\x8a\x4a\x8e\x6e\x82\xa9\x82\xe7\",16776960,0\r\n"
               "\"\x94\xad\x95\x5c\x8e\x9e\x8a\xd4\x8f\x49\x97\xb9\x82\xdc\x82\xc5\",65535,0\r\n"
               "\"\x8e\xbf\x8b\x5e\x89\x9e\x93\x9a\x8f\x49\x97\xb9\x82\xdc\x82\xc5\",65280,0\r\n"
               "\"\x8d\x75\x89\x89\x8e\x9e\x8a\xd4\x82\xcc\x92\xb4\x89\xdf\x82\xcd\",65535,208\r\n"
               "#TRUE#,#FALSE#,#FALSE#\r\n");

/// The items of a valid file whose every value differs from the defaults and from `before()`.
const QList<QList<QByteArray>> goodItems = {
    {"12.5", "4", "3", "\"/srv/bell.wav\""},
    {"\"A1\"", "1", "2"},
    {"\"B2\"", "3", "4"},
    {"\"C3\"", "5", "6"},
    {"\"D4\"", "7", "8"},
    {"#FALSE#", "#FALSE#", "#TRUE#"},
};

QByteArray joinLines(const QList<QList<QByteArray>>& lines, const QByteArray& lineEnd = "\r\n")
{
    QByteArray file;
    for (const auto& line : lines)
        file += line.join(',') + lineEnd;
    return file;
}

const QByteArray goodFile = joinLines(goodItems);

/// A record unlike the defaults, so that a reader falling back to the defaults is caught.
RecordSnapshot before()
{
    RecordSnapshot s = RecordSnapshot::defaults()
                           .withTimes(u"7"_s, u"3"_s, u"1"_s, u"/old/chime.wav"_s)
                           .withPair(1, u"h1"_s, 101, 102)
                           .withPair(2, u"h2"_s, 103, 104)
                           .withPair(3, u"h3"_s, 105, 106)
                           .withPair(4, u"h4"_s, 107, 108);
    return s.with(RowMode::Option2);
}

/// What line `index` (0 to 5) of goodFile puts into the record.
RecordSnapshot withGoodLine(const RecordSnapshot& s, int index)
{
    switch (index) {
    case 0:
        return s.withTimes(u"12.5"_s, u"4"_s, u"3"_s, u"/srv/bell.wav"_s);
    case 5:
        return s.with(RowMode::Option3);
    default:
        return s.withPair(index, QString(QChar(u'A' + index - 1)) + QString::number(index), ColourValue(2 * index - 1),
                          ColourValue(2 * index));
    }
}

RecordSnapshot withGoodLines(RecordSnapshot s, std::initializer_list<int> lines)
{
    for (const int line : lines)
        s = withGoodLine(s, line);
    return s;
}

const RecordSnapshot goodResult = withGoodLines(before(), {0, 1, 2, 3, 4, 5});

RecordSnapshot readBytes(const QByteArray& bytes, const RecordSnapshot& start)
{
    FakeFileAccess files;
    files.put(u"/opt/lectern/Lectern.ini"_s, bytes);
    SettingsRecord record;
    start.applyTo(record);
    readSettings(files, u"/opt/lectern/Lectern.ini"_s, record);
    return RecordSnapshot::of(record);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "(unreadable)";
    return file.readAll();
}

#ifdef Q_OS_WIN
const QString executableSuffix = u".exe"_s;
// The system's words for a file where a folder should be.
const QString notAFolder = qt_error_string(267); // ERROR_DIRECTORY
#else
const QString executableSuffix;
const QString notAFolder = u"Not a directory"_s;
#endif

#ifdef Q_OS_UNIX
const passwd* const nobody = ::getpwnam("nobody");
#endif

/// Saves the default settings; with `asUser`, as nobody when the tests run as root, who may write read-only files.
FileAccess::WriteResult saveDefaults(const QString& path, TalkTimes times, [[maybe_unused]] bool asUser)
{
#ifdef Q_OS_UNIX
    asUser = asUser && ::geteuid() == 0 && nobody;
    if (asUser && (QProcess::execute(u"chown"_s, {u"nobody:"_s, QFileInfo(path).path(), path}) != 0 ||
                   ::setegid(nobody->pw_gid) != 0 || ::seteuid(nobody->pw_uid) != 0))
        return {false, u"cannot act as nobody"_s};
#endif
    DiskFileAccess files;
    const auto result = writeSettings(files, path, times, SettingsRecord());
#ifdef Q_OS_UNIX
    if (asUser && (::seteuid(0) != 0 || ::setegid(0) != 0))
        qFatal("cannot act as root again");
#endif
    return result;
}

} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT
private slots:
    void settingsPathHasOneSeparator_data();
    void settingsPathHasOneSeparator();
    void programFolderIsTheRealProgramsFolder();
    void userFoldersAndWritableOnes();
    void location_data();
    void location();
    void installerFolderFromTheEnvironment();

    void writerMatchesTheFormatForDefaults();
    void writerLines_data();
    void writerLines();
    void writtenTextReadsBack_data();
    void writtenTextReadsBack();

    void reader_data();
    void reader();
    void truncated_data();
    void truncated();
    void readerOnDisk_data();
    void readerOnDisk();

    void roundTrip();

    void failedWriteKeepsThePreviousFile_data();
    void failedWriteKeepsThePreviousFile();
    void savedOnDisk_data();
    void savedOnDisk();
    void oversizedSettingsAreNotWritten();
};

void TestSettingsFile::settingsPathHasOneSeparator_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("path");
    QTest::newRow("root folder") << u"/"_s << u"/Lectern.ini"_s;
    QTest::newRow("no trailing separator") << u"/opt/lectern"_s << u"/opt/lectern/Lectern.ini"_s;
    QTest::newRow("trailing separator") << u"/opt/lectern/"_s << u"/opt/lectern/Lectern.ini"_s;
    QTest::newRow("blanks and Japanese") << u"/home/利用者/講演 タイマー"_s
                                         << u"/home/利用者/講演 タイマー/Lectern.ini"_s;
}

void TestSettingsFile::settingsPathHasOneSeparator()
{
    QFETCH(QString, folder);
    QFETCH(QString, path);
    QCOMPARE(settingsPath(folder), path);
}

void TestSettingsFile::programFolderIsTheRealProgramsFolder()
{
    // The helper prints its program folder; started through a symbolic link in another folder it must still
    // name the folder of the real program, where the settings file lies.
    const QString helper = QCoreApplication::applicationDirPath() + u"/print_program_folder"_s + executableSuffix;
    QVERIFY2(QFileInfo(helper).isExecutable(), "print_program_folder is not built beside the test");
    QStringList programs{helper};
#ifdef Q_OS_UNIX // Windows' links to a program are shortcuts, which only its shell starts
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    programs << dir.filePath(u"lectern-link"_s);
    QVERIFY(QFile::link(QFileInfo(helper).absoluteFilePath(), programs.last()));
#endif

    for (const QString& program : programs) {
        QProcess process;
        process.start(program);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).trimmed(), QFileInfo(helper).canonicalPath());
    }
}

void TestSettingsFile::userFoldersAndWritableOnes()
{
    const DiskFileAccess files;
#ifdef Q_OS_WIN
    // The known folders, which the environment names too.
    const QString roaming = QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"));
    const QString local = QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
    QVERIFY(!roaming.isEmpty() && !local.isEmpty());
    QCOMPARE(files.userSettingsFolder(), roaming + u"/Lectern"_s);
    QCOMPARE(files.userStateFolder(), local + u"/Lectern"_s);
    QCOMPARE(files.userDataFolder(), local + u"/Lectern"_s);
#else
    // An absolute XDG folder wins, a relative one counts as unset, and without a home there is no folder.
    const QProcessEnvironment before = QProcessEnvironment::systemEnvironment();
    const QString home = before.value(u"HOME"_s);
    qputenv("XDG_CONFIG_HOME", "/srv/config");
    qputenv("XDG_STATE_HOME", "state");
    qunsetenv("XDG_DATA_HOME");
    const QString config = files.userSettingsFolder();
    const QString state = files.userStateFolder();
    qunsetenv("HOME");
    const QString data = files.userDataFolder();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"}) {
        const QString old = before.value(QString::fromLatin1(name));
        before.contains(QString::fromLatin1(name)) ? qputenv(name, QFile::encodeName(old)) : qunsetenv(name);
    }
    QCOMPARE(config, u"/srv/config/Lectern"_s);
    QCOMPARE(state, home + u"/.local/state/Lectern"_s);
    QCOMPARE(data, QString());
#endif
    // Asking whether a folder takes files leaves nothing in it; a read-only file is not writable, even for root.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"Lectern.ini"_s);
    QVERIFY(files.isWritable(dir.path()) && writeFile(path, goodFile) && files.isWritable(path));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{u"Lectern.ini"_s});
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    QVERIFY(!files.isWritable(path));
    QVERIFY(!files.isWritable(dir.filePath(u"missing"_s)));
}

void TestSettingsFile::location_data()
{
    QTest::addColumn<QString>("programFolder");
    QTest::addColumn<QStringList>("present");  // "beside", "own", "mark": which files exist; "no home": no own
    QTest::addColumn<QStringList>("readOnly"); // "folder" and "beside": what the process may not change
    QTest::addColumn<QString>("read");         // "beside" or "own"
    QTest::addColumn<QString>("written");

    const QString portable = u"/media/usb/lectern"_s;
    const QString installed = u"/usr/bin"_s;
    const QStringList none;
    const QStringList folder{u"folder"_s};
    const QStringList both{u"folder"_s, u"beside"_s};
    QTest::newRow("writable folder, first run") << portable << none << none << u"beside"_s << u"beside"_s;
    QTest::newRow("writable folder ignores an own file")
        << portable << QStringList{u"beside"_s, u"own"_s} << none << u"beside"_s << u"beside"_s;
    QTest::newRow("read-only folder, writable file")
        << portable << QStringList{u"beside"_s} << folder << u"beside"_s << u"beside"_s;
    QTest::newRow("read-only folder, no file") << portable << none << folder << u"beside"_s << u"own"_s;
    QTest::newRow("read-only folder and file")
        << portable << QStringList{u"beside"_s} << both << u"beside"_s << u"own"_s;
    QTest::newRow("installed, preset only") << installed << QStringList{u"beside"_s} << both << u"beside"_s << u"own"_s;
    QTest::newRow("installed, own file beats the preset")
        << installed << QStringList{u"beside"_s, u"own"_s} << both << u"own"_s << u"own"_s;
    QTest::newRow("installed, no file at all") << installed << none << folder << u"beside"_s << u"own"_s;
    QTest::newRow("installed and writable (root)")
        << installed << QStringList{u"beside"_s} << none << u"beside"_s << u"own"_s;
    QTest::newRow("writable folder marked installed")
        << portable << QStringList{u"mark"_s, u"beside"_s} << none << u"beside"_s << u"own"_s;
    QTest::newRow("no home, portable") << portable << QStringList{u"no home"_s} << none << u"beside"_s << u"beside"_s;
    QTest::newRow("no home, installed: nowhere to save")
        << installed << QStringList{u"no home"_s, u"beside"_s} << both << u"beside"_s << u"nowhere"_s;
}

void TestSettingsFile::location()
{
    QFETCH(QString, programFolder);
    QFETCH(QStringList, present);
    QFETCH(QStringList, readOnly);
    QFETCH(QString, read);
    QFETCH(QString, written);

    FakeFileAccess files;
    files.setProgramFolder(programFolder);
    const QHash<QString, QString> paths{{u"beside"_s, settingsPath(programFolder)},
                                        {u"own"_s, settingsPath(files.userSettingsFolder())},
                                        {u"folder"_s, programFolder},
                                        {u"mark"_s, programFolder + u"/Lectern.installed"_s},
                                        {u"nowhere"_s, QString()}};
    if (present.removeAll(u"no home"_s) > 0)
        files.setUserSettingsFolder({});
    if (written == u"nowhere"_s)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"no usable home folder"_s));
    for (const QString& file : present)
        files.put(paths[file], goodFile);
    for (const QString& item : readOnly)
        files.makeReadOnly(paths[item]);

    const SettingsLocation expected{paths[read], paths[written]};
    QCOMPARE(settingsLocation(files, {u"/usr/local/bin"_s, u"/usr/bin"_s}), expected);
    // The count's files go where the settings are written.
    const bool beside = written == u"beside"_s;
    const CountLocation count{(beside ? programFolder : files.userStateFolder()) + u"/Lectern.count"_s,
                              (beside ? programFolder : files.userDataFolder()) + u"/talks.csv"_s};
    QCOMPARE(countLocation(files, expected), count);
}

void TestSettingsFile::installerFolderFromTheEnvironment()
{
#ifndef Q_OS_WIN
    QSKIP("the Debian package's folders are fixed when the program is built");
#else
    const QByteArray saved = qgetenv("LOCALAPPDATA");
    qputenv("LOCALAPPDATA", "C:\\Users\\Taro\\AppData\\Local");
    QVERIFY(installedFolders().contains(u"C:/Users/Taro/AppData/Local/Programs/Lectern"_s));
    qputenv("LOCALAPPDATA", "");
    const QStringList withoutIt = installedFolders();
    qputenv("LOCALAPPDATA", saved);
    QVERIFY(!withoutIt.isEmpty() && !withoutIt.join(u'|').contains(u'%'));
#endif
}

void TestSettingsFile::writerMatchesTheFormatForDefaults()
{
    const SettingsRecord record;
    QCOMPARE(settingsFileBytes({10, 5, 2}, record), defaultFile);
}

void TestSettingsFile::writerLines_data()
{
    // The record starts from the defaults; `line` is the one line (1 to 6) of the file to look at.
    QTest::addColumn<double>("presentation");
    QTest::addColumn<double>("discussion");
    QTest::addColumn<double>("warning");
    QTest::addColumn<RecordSnapshot>("record");
    QTest::addColumn<int>("line");
    QTest::addColumn<QByteArray>("text");

    const RecordSnapshot d = RecordSnapshot::defaults();
    QTest::newRow("fractions with a leading zero") << 2.5 << 0.5 << 0.25 << d << 1 << QByteArray("2.5,0.5,0.25,\"\"");
    QTest::newRow("no exponent for small numbers")
        << 99999.0 << 0.001 << 1e-7 << d << 1 << QByteArray("99999,0.001,0.0000001,\"\"");
    QTest::newRow("no exponent for large numbers")
        << 1e21 << 1.0 << 1.0 << d << 1 << QByteArray("1000000000000000000000,1,1,\"\"");
    QTest::newRow("no trailing zeros") << 12.5 << 10.0 << 0.1 << d << 1 << QByteArray("12.5,10,0.1,\"\"");
    QTest::newRow("wave path with blanks and commas")
        << 10.0 << 5.0 << 2.0 << d.with(Text::wavefile, u"/srv/a b,c.wav"_s) << 1
        << QByteArray("10,5,2,\"/srv/a b,c.wav\"");
    QTest::newRow("largest and smallest colour")
        << 10.0 << 5.0 << 2.0 << d.withPair(2, u"x"_s, 0xFFFFFF, 0) << 3 << QByteArray("\"x\",16777215,0");
    QTest::newRow("colour is 0x00BBGGRR in decimal")
        << 10.0 << 5.0 << 2.0 << d.withPair(4, u"x"_s, 0x00123456, 0x000000FF) << 5 << QByteArray("\"x\",1193046,255");
    QTest::newRow("upper row only") << 10.0 << 5.0 << 2.0 << d.with(RowMode::Option2) << 6
                                    << QByteArray("#FALSE#,#TRUE#,#FALSE#");
    QTest::newRow("lower row only") << 10.0 << 5.0 << 2.0 << d.with(RowMode::Option3) << 6
                                    << QByteArray("#FALSE#,#FALSE#,#TRUE#");
    QTest::newRow("no row mode") << 10.0 << 5.0 << 2.0 << d.with(RowMode::None) << 6
                                 << QByteArray("#FALSE#,#FALSE#,#FALSE#");
}

void TestSettingsFile::writerLines()
{
    QFETCH(double, presentation);
    QFETCH(double, discussion);
    QFETCH(double, warning);
    QFETCH(RecordSnapshot, record);
    QFETCH(int, line);
    QFETCH(QByteArray, text);
    SettingsRecord r;
    record.applyTo(r);
    const QByteArray bytes = settingsFileBytes({presentation, discussion, warning}, r);
    // Six lines, each ending in CR LF, and no other CR or LF anywhere.
    const QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.size(), 7);
    QVERIFY(lines.last().isEmpty());
    for (int i = 0; i < 6; ++i) {
        QVERIFY(lines.at(i).endsWith('\r'));
        QCOMPARE(lines.at(i).count('\r'), 1);
    }
    QCOMPARE(lines.at(line - 1).chopped(1), text);
}

void TestSettingsFile::writtenTextReadsBack_data()
{
    // A heading or wave path is set to `text`; the file keeps it in code page 932 when it can, in UTF-8 when
    // not, and reads back as `readBack`: a double quote or a line end inside it would end the item early.
    QTest::addColumn<Text>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<QString>("readBack");

    QTest::newRow("Japanese path") << Text::wavefile << u"/home/利用者/音 声/ベル.wav"_s << false
                                   << u"/home/利用者/音 声/ベル.wav"_s;
    QTest::newRow("half-width katakana heading") << Text::Text2 << u"ﾊｯﾋﾟｮｳ"_s << false << u"ﾊｯﾋﾟｮｳ"_s;
    QTest::newRow("full-width tilde") << Text::Text3 << u"残り～"_s << false << u"残り～"_s;
    QTest::newRow("emoji heading") << Text::Text1 << u"開始😀"_s << true << u"開始😀"_s;
    QTest::newRow("accented path") << Text::wavefile << u"/srv/café.wav"_s << true << u"/srv/café.wav"_s;
    QTest::newRow("yen sign") << Text::Text4 << u"¥100"_s << true << u"¥100"_s;
    QTest::newRow("wave dash") << Text::Text3 << u"残り〜"_s << true << u"残り〜"_s;
    QTest::newRow("quotes in a heading") << Text::Text2 << u"言う\"はい\",と"_s << false << u"言う＂はい＂,と"_s;
    QTest::newRow("quote at the end of a heading") << Text::Text4 << u"end\""_s << false << u"end＂"_s;
    QTest::newRow("quote in the wave path")
        << Text::wavefile << u"/srv/\"bell\".wav"_s << false << u"/srv/＂bell＂.wav"_s;
    QTest::newRow("quote in a text that needs UTF-8") << Text::Text1 << u"\"😀\""_s << true << u"＂😀＂"_s;
    QTest::newRow("line ends in a heading") << Text::Text3 << u"a\r\nb\nc\rd"_s << false << u"a  b c d"_s;
}

void TestSettingsFile::writtenTextReadsBack()
{
    QFETCH(Text, field);
    QFETCH(QString, text);
    QFETCH(bool, utf8);
    QFETCH(QString, readBack);
    SettingsRecord record;
    record.setText(field, text);
    const QByteArray bytes = settingsFileBytes({10, 5, 2}, record);
    QCOMPARE(bytes.startsWith("\xEF\xBB\xBF"), utf8);
    if (utf8)
        QVERIFY(bytes.contains(readBack.toUtf8()));
    // Only the quotes around the five text items remain.
    QCOMPARE(bytes.count('"'), 10);
    // Read back into a record that differs everywhere: every field must come back, not only this one.
    QCOMPARE(readBytes(bytes, before()), RecordSnapshot::of(record).with(field, readBack));
}

void TestSettingsFile::reader_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<RecordSnapshot>("start");
    QTest::addColumn<RecordSnapshot>("expected");

    const RecordSnapshot d = RecordSnapshot::defaults();
    const RecordSnapshot b = before();
    auto replaced = [](QByteArray file, const QByteArray& from, const QByteArray& to) {
        return file.replace(from, to);
    };
    auto withLine = [](int index, const QByteArray& line) {
        QList<QByteArray> lines = goodFile.split('\n');
        lines[index] = line + '\r';
        return lines.join('\n');
    };
    auto allBut = [](int skipped) {
        RecordSnapshot s = before();
        for (int i = 0; i < 6; ++i) {
            if (i != skipped)
                s = withGoodLine(s, i);
        }
        return s;
    };

    // The format's own cases.
    QTest::newRow("default file") << defaultFile << b << d;
    QTest::newRow("good file") << goodFile << b << goodResult;
    QTest::newRow("zero times and an empty path")
        << withLine(0, "0,0,0,\"\"") << b << allBut(0).withTimes(u"0"_s, u"0"_s, u"0"_s, QString());
    QTest::newRow("warning after the presentation refused, lines 2-5 applied")
        << joinLines({{"10", "5", "12", "\"\""}, goodItems[1], goodItems[2], goodItems[3], goodItems[4]}) << d
        << withGoodLines(d, {1, 2, 3, 4});
    QTest::newRow("refused line keeps the wave path") << withLine(0, "10,5,12,\"/new.wav\"") << b << allBut(0);
    QTest::newRow("negative time refused") << withLine(0, "10,-1,2,\"/new.wav\"") << b << allBut(0);
    QTest::newRow("negative zero accepted as 0")
        << withLine(0, "-0,0,0,\"/new.wav\"") << b << allBut(0).withTimes(u"0"_s, u"0"_s, u"0"_s, u"/new.wav"_s);
    QTest::newRow("warning equal to the presentation")
        << withLine(0, "5,5,5,\"\"") << b << allBut(0).withTimes(u"5"_s, u"5"_s, u"5"_s, QString());
    QTest::newRow("fractions come back rendered")
        << withLine(0, "2.5,0.50,.25,\"\"") << b << allBut(0).withTimes(u"2.5"_s, u"0.5"_s, u"0.25"_s, QString());
    QTest::newRow("whole numbers come back without a point")
        << withLine(0, "10.0,5.00,2e0,\"\"") << b << allBut(0).withTimes(u"10"_s, u"5"_s, u"2"_s, QString());
    QTest::newRow("five-line file keeps the row mode")
        << joinLines(goodItems.mid(0, 5)) << b << withGoodLines(b, {0, 1, 2, 3, 4});
    QTest::newRow("sixth line: last true wins")
        << withLine(5, "#FALSE#,#TRUE#,#TRUE#") << b << allBut(5).with(RowMode::Option3);
    QTest::newRow("sixth line: all false selects none")
        << withLine(5, "#FALSE#,#FALSE#,#FALSE#") << b << allBut(5).with(RowMode::None);
    QTest::newRow("sixth line: first true")
        << withLine(5, "#TRUE#,#FALSE#,#FALSE#") << b << allBut(5).with(RowMode::Option1);
    QTest::newRow("sixth line: numbers") << withLine(5, "0,0,2.5") << b << allBut(5).with(RowMode::Option3);
    QTest::newRow("sixth line: numbers, first true") << withLine(5, "1,0,0") << b << allBut(5).with(RowMode::Option1);
    QTest::newRow("sixth line: lower case")
        << withLine(5, "#true#,#false#,#false#") << b << allBut(5).with(RowMode::Option1);

    // How items are read.
    QTest::newRow("CR line ends") << joinLines(goodItems, "\r") << b << goodResult;
    QTest::newRow("LF line ends") << joinLines(goodItems, "\n") << b << goodResult;
    QTest::newRow("no line end at the end") << goodFile.chopped(2) << b << goodResult;
    QTest::newRow("blanks before items and before commas")
        << withLine(0, "  12.5 ,\t4,  3  ,  \"/srv/bell.wav\"  ") << b << goodResult;
    QTest::newRow("numbers end at a blank") << withLine(0, "12.5 4 3 \"/srv/bell.wav\"") << b << goodResult;
    QTest::newRow("a line runs on over a line end")
        << replaced(goodFile, "12.5,4,3,", "12.5,4\r\n3,") << b << goodResult;
    QTest::newRow("commas inside quotes") << withLine(1, "\"A,1\",1,2") << b << allBut(1).withPair(1, u"A,1"_s, 1, 2);
    QTest::newRow("text after the closing quote ignored") << withLine(1, "\"A1\"junk \"x\",1,2") << b << goodResult;
    QTest::newRow("blanks inside quotes kept")
        << withLine(1, "\"  A 1 \",1,2") << b << allBut(1).withPair(1, u"  A 1 "_s, 1, 2);
    QTest::newRow("unquoted text") << withLine(0, "12.5,4,3,/srv/my bell.wav") << b
                                   << allBut(0).withTimes(u"12.5"_s, u"4"_s, u"3"_s, u"/srv/my bell.wav"_s);
    QTest::newRow("quote missing at the start")
        << withLine(1, "A1\",1,2") << b << allBut(1).withPair(1, u"A1\""_s, 1, 2);
    QTest::newRow("empty quoted heading") << withLine(2, "\"\",3,4") << b << allBut(2).withPair(2, QString(), 3, 4);
    QTest::newRow("extra item on a line") << withLine(1, "\"A1\",1,2,99") << b << goodResult;
    QTest::newRow("extra item on the sixth line") << withLine(5, "#FALSE#,#FALSE#,#TRUE#,#TRUE#") << b << goodResult;
    QTest::newRow("blank lines between lines")
        << replaced(goodFile, "\r\n\"B2\"", "\r\n\r\n  \r\n\"B2\"") << b << goodResult;
    QTest::newRow("blank lines at the start") << "\r\n\r\n" + goodFile << b << goodResult;
    QTest::newRow("blank line at the end") << goodFile + "\r\n" << b << goodResult;
    QTest::newRow("blank line after the fifth is no sixth line")
        << replaced(goodFile, "\r\n#FALSE#", "\r\n\r\n#FALSE#") << b << allBut(5);
    QTest::newRow("blanks only after the fifth line") << joinLines(goodItems.mid(0, 5)) + "   " << b << allBut(5);
    QTest::newRow("UTF-8 behind a byte-order mark")
        << "\xEF\xBB\xBF" + withLine(2, "\"B😀\",3,4") << b << allBut(2).withPair(2, u"B😀"_s, 3, 4);
    QTest::newRow("UTF-8 without a byte-order mark")
        << withLine(2, "\"\xE8\xAC\x9B\xE6\xBC\x94\",3,4") << b << allBut(2).withPair(2, u"講演"_s, 3, 4);
    QTest::newRow("code page 932 byte 0x5C inside a heading")
        << withLine(2, "\"\x95\x5c\",3,4") << b << allBut(2).withPair(2, u"表"_s, 3, 4);

    // Broken files: whatever a line does not fully supply stays as it was.
    QTest::newRow("empty file") << QByteArray() << b << b;
    QTest::newRow("byte-order mark only") << QByteArray("\xEF\xBB\xBF") << b << b;
    QTest::newRow("blank lines only") << QByteArray("\r\n \r\n\n") << b << b;
    QTest::newRow("binary noise") << QByteArray("\x00\x01\xff\xfe\x81\x81\"\r", 8) << b << b;
    QTest::newRow("quote left open in the path") << withLine(0, "12.5,4,3,\"/srv/bell.wav") << b << allBut(0);
    QTest::newRow("quote left open in a heading") << withLine(1, "\"A1,1,2") << b << allBut(1);
    QTest::newRow("quote left open on the sixth line") << withLine(5, "#FALSE#,#FALSE#,\"#TRUE#") << b << allBut(5);
    QTest::newRow("time as a word") << withLine(0, "ten,4,3,\"/srv/bell.wav\"") << b << allBut(0);
    QTest::newRow("time in quotes") << withLine(0, "\"12.5\",4,3,\"/srv/bell.wav\"") << b << allBut(0);
    QTest::newRow("time with a unit") << withLine(0, "12.5分,4,3,\"/srv/bell.wav\"") << b << allBut(0);
    QTest::newRow("time with an empty exponent") << withLine(0, "1e,4,3,\"/srv/bell.wav\"") << b << allBut(0);
    QTest::newRow("time beyond a double") << withLine(0, "1e999,4,3,\"/srv/bell.wav\"") << b << allBut(0);
    QTest::newRow("time as infinity") << withLine(0, "inf,4,3,\"/srv/bell.wav\"") << b << allBut(0);
    QTest::newRow("time missing") << withLine(0, ",4,3,\"/srv/bell.wav\"") << b << allBut(0);
    QTest::newRow("time with two points") << withLine(0, "1.2.3,4,3,\"/srv/bell.wav\"") << b << allBut(0);
    QTest::newRow("colour as a word") << withLine(1, "\"A1\",red,2") << b << allBut(1);
    QTest::newRow("negative colour") << withLine(2, "\"B2\",-1,4") << b << allBut(2);
    QTest::newRow("colour above 0x00FFFFFF") << withLine(3, "\"C3\",5,16777216") << b << allBut(3);
    QTest::newRow("colour 0x00FFFFFF") << withLine(3, "\"C3\",5,16777215") << b
                                       << allBut(3).withPair(3, u"C3"_s, 5, 16777215);
    QTest::newRow("colour with a fraction") << withLine(4, "\"D4\",7.5,8") << b << allBut(4);
    QTest::newRow("colour beyond 64 bits") << withLine(4, "\"D4\",7,99999999999999999999999") << b << allBut(4);
    QTest::newRow("colour in quotes") << withLine(4, "\"D4\",\"7\",8") << b << allBut(4);
    QTest::newRow("colour missing") << withLine(4, "\"D4\",,8") << b << allBut(4);
    QTest::newRow("Boolean as a word") << withLine(5, "#FALSE#,yes,#TRUE#") << b << allBut(5);
    QTest::newRow("Boolean in quotes") << withLine(5, "\"#FALSE#\",#FALSE#,#TRUE#") << b << allBut(5);
    QTest::newRow("two Booleans only") << withLine(5, "#FALSE#,#TRUE#") << b << allBut(5);
    QTest::newRow("item missing from a line keeps the next lines") << withLine(2, "\"B2\",3") << b << allBut(2);
    QTest::newRow("only the heading on a line") << withLine(3, "\"C3\"") << b << allBut(3);
    QTest::newRow("invalid code page 932 byte before a blank")
        << withLine(1, "\"A\x81 1\",1,2") << b << allBut(1).withPair(1, u"A\uFFFD 1"_s, 1, 2);
    QTest::newRow("invalid code page 932 byte before the closing quote")
        << withLine(1, "\"A\x81\",1,2") << b << allBut(1).withPair(1, u"A\uFFFD"_s, 1, 2);
    QTest::newRow("bytes without a character in the path")
        << withLine(0, "12.5,4,3,\"/srv/\xff\xa0.wav\"") << b
        << allBut(0).withTimes(u"12.5"_s, u"4"_s, u"3"_s, u"/srv/\uFFFD\uFFFD.wav"_s);
    QTest::newRow("invalid byte in a number") << withLine(0, "12\x81,4,3,\"/srv/bell.wav\"") << b << allBut(0);
}

void TestSettingsFile::reader()
{
    QFETCH(QByteArray, file);
    QFETCH(RecordSnapshot, start);
    QFETCH(RecordSnapshot, expected);
    QCOMPARE(readBytes(file, start), expected);
}

void TestSettingsFile::truncated_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<RecordSnapshot>("expected");

    // Cut after every item, both before and after the separator that follows it: a line is applied only when
    // all its items are in the file.
    int itemCount = 0;
    for (const auto& line : goodItems)
        itemCount += int(line.size());
    for (int kept = 0; kept <= itemCount; ++kept) {
        QByteArray file;
        QByteArray separated;
        RecordSnapshot expected = before();
        int left = kept;
        for (int l = 0; l < goodItems.size() && left > 0; ++l) {
            const auto& line = goodItems[l];
            const int taken = std::min(left, int(line.size()));
            left -= taken;
            file = separated + line.mid(0, taken).join(',');
            separated = file + (taken == line.size() ? "\r\n" : ",");
            if (taken == line.size())
                expected = withGoodLine(expected, l);
        }
        QTest::addRow("%d items", kept) << file << expected;
        QTest::addRow("%d items and a separator", kept) << separated << expected;
    }
    // Cuts inside an item.
    QTest::newRow("inside the quoted path") << goodFile.left(goodFile.indexOf("bell")) << before();
    QTest::newRow("inside a quoted heading")
        << goodFile.left(goodFile.indexOf("B2") + 1) << withGoodLines(before(), {0, 1});
    QTest::newRow("inside a Boolean") << goodFile.left(goodFile.indexOf("#TRUE#") + 3)
                                      << withGoodLines(before(), {0, 1, 2, 3, 4});
}

void TestSettingsFile::truncated()
{
    QFETCH(QByteArray, file);
    QFETCH(RecordSnapshot, expected);
    QCOMPARE(readBytes(file, before()), expected);
}

void TestSettingsFile::readerOnDisk_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("applied");

    QTest::newRow("missing") << u"missing"_s << false;
    QTest::newRow("ordinary file") << u"file"_s << true;
    QTest::newRow("symbolic link to a file") << u"link"_s << true;
    QTest::newRow("directory named Lectern.ini") << u"directory"_s << false;
    QTest::newRow("named pipe does not block") << u"fifo"_s << false;
    QTest::newRow("no read permission") << u"unreadable"_s << false;
    QTest::newRow("exactly 64 KiB") << u"64KiB"_s << true;
    QTest::newRow("one byte over 64 KiB") << u"64KiB+1"_s << false;
    QTest::newRow("10 MB") << u"10MB"_s << false;
}

void TestSettingsFile::readerOnDisk()
{
    QFETCH(QString, kind);
    QFETCH(bool, applied);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = settingsPath(dir.path());
    // Padding after the sixth line is never read, so a padded file is valid whatever its size.
    auto padded = [](qsizetype size) {
        return goodFile + QByteArray(size - goodFile.size(), ' ');
    };

#ifdef Q_OS_WIN
    if (kind == u"link" || kind == u"fifo" || kind == u"unreadable")
        QSKIP("Links, named pipes in folders and permission bits are POSIX's");
#endif
    if (kind == u"file") {
        QVERIFY(writeFile(path, goodFile));
    } else if (kind == u"link") {
        QVERIFY(writeFile(dir.filePath(u"elsewhere.ini"_s), goodFile));
        QVERIFY(QFile::link(dir.filePath(u"elsewhere.ini"_s), path));
    } else if (kind == u"directory") {
        QVERIFY(QDir(dir.path()).mkdir(u"Lectern.ini"_s));
    } else if (kind == u"64KiB") {
        QVERIFY(writeFile(path, padded(maxSettingsFileBytes)));
    } else if (kind == u"64KiB+1") {
        QVERIFY(writeFile(path, padded(maxSettingsFileBytes + 1)));
    } else if (kind == u"10MB") {
        QVERIFY(writeFile(path, padded(10 * 1000 * 1000)));
    }
#ifdef Q_OS_UNIX
    if (kind == u"fifo")
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    if (kind == u"unreadable") {
        if (::geteuid() == 0)
            QSKIP("Running as root, where permission bits do not stop reading");
        QVERIFY(writeFile(path, goodFile));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    }
#endif

    DiskFileAccess files;
    SettingsRecord record;
    before().applyTo(record);
    readSettings(files, path, record);
    QCOMPARE(RecordSnapshot::of(record), applied ? goodResult : before());
}

void TestSettingsFile::roundTrip()
{
    // Records the dialog could produce: headings of full-width and half-width characters with commas and
    // blanks, paths with blanks and Japanese, any colour, times as typed; a few hold characters that only
    // UTF-8 keeps.
    const QString headingPool = u"講演の開始から発表時間終了まで質疑応答超過は残り"
                                u"ａｂｃＡＢＣ０１２３！？（），．　ｱｲｳｴｵﾞﾟ"
                                u"abcXYZ019 ,.!?()-_'"_s;
    const QString pathPool = u"abcxyz0189 _-.音声ベル鐘講演ファイル"_s;
    const QStringList unfit = {u"😀"_s, u"é"_s, u"¥"_s, u"〜"_s, u"ü"_s};
    const QStringList typedTimes = {u"10"_s, u"12.50"_s, u"10分"_s, u" 7"_s, u"2.5"_s, u"0.1"_s, u"99999"_s, u"1e3"_s};
    QRandomGenerator random(22);
    auto pick = [&](const QString& pool, int maxLength) {
        QString text;
        const int length = int(random.bounded(maxLength + 1));
        for (int i = 0; i < length; ++i)
            text += pool.at(qsizetype(random.bounded(quint32(pool.size()))));
        return text;
    };

    int utf8Files = 0;
    for (int round = 0; round < 500; ++round) {
        SettingsRecord record;
        // Times that pass confirmation: all above zero, the warning no later than the presentation.
        QString p;
        QString w;
        do {
            p = typedTimes.at(qsizetype(random.bounded(quint32(typedTimes.size()))));
            w = typedTimes.at(qsizetype(random.bounded(quint32(typedTimes.size()))));
        } while (parseNumber(p) < parseNumber(w));
        const QString d = renderNumber(double(1 + random.bounded(999)) / 4.0);
        record.setText(Text::presenPeriod, p);
        record.setText(Text::discussPeriod, d);
        record.setText(Text::warnBefore, w);
        QString path = u"/home/"_s + pick(pathPool, 12) + u"/"_s + pick(pathPool, 12) + u".wav"_s;
        for (int k = 1; k <= 4; ++k) {
            record.setText(Text(int(Text::Text1) + k - 1), pick(headingPool, 16));
            record.setColour(SettingsRecord::foregroundSwatch(k), ColourValue(random.bounded(0x1000000)));
            record.setColour(SettingsRecord::backgroundSwatch(k), ColourValue(random.bounded(0x1000000)));
        }
        if (round % 10 == 0) {
            const QString extra = unfit.at(qsizetype(random.bounded(quint32(unfit.size()))));
            if (round % 20 == 0)
                path += extra;
            else
                record.setText(Text::Text3, record.text(Text::Text3) + extra);
        }
        record.setText(Text::wavefile, path);
        if (round % 3 == 1)
            record.setColour(Swatch::t2b, round % 2 ? 0xFFFFFFu : 0u);
        record.setRowMode(RowMode(random.bounded(4)));

        FakeFileAccess files;
        const QString file = settingsPath(files.programFolder());
        const auto written = writeSettings(files, file, record.times(), record);
        QVERIFY2(written.ok, qPrintable(written.error));
        utf8Files += files.get(file)->startsWith("\xEF\xBB\xBF") ? 1 : 0;

        SettingsRecord back;
        readSettings(files, file, back);
        RecordSnapshot expected = RecordSnapshot::of(record);
        for (const Text t : {Text::presenPeriod, Text::discussPeriod, Text::warnBefore})
            expected = expected.with(t, renderNumber(record.minutes(t)));
        QCOMPARE(RecordSnapshot::of(back), expected);
    }
    QCOMPARE(utf8Files, 50);
}

void TestSettingsFile::failedWriteKeepsThePreviousFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason"); // the common reasons are given in Japanese; the others as the system says
    QTest::newRow("folder cannot be made") << u"no folder"_s << notAFolder;
    QTest::newRow("folder is a file") << u"folder is a file"_s << notAFolder;
    QTest::newRow("Lectern.ini is a directory") << u"directory"_s << u"同じ名前のフォルダーがあります"_s;
    QTest::newRow("read-only folder") << u"read-only folder, as a user"_s << u"書き込む権限がありません"_s;
    QTest::newRow("read-only file (root in CI)") << u"read-only file"_s << u"書き込む権限がありません"_s;
    QTest::newRow("read-only file, ordinary user") << u"read-only file, as a user"_s << u"書き込む権限がありません"_s;
    QTest::newRow("full disk") << u"full disk"_s << u"ファイルが大きすぎます"_s;
}

void TestSettingsFile::failedWriteKeepsThePreviousFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = settingsPath(dir.path());
    bool kept = false; // whether the previous file must still be there afterwards
#ifdef Q_OS_WIN
    if (kind == u"full disk" || kind.startsWith(u"read-only folder"))
        QSKIP("No file-size limit to stand for a full disk, and a folder's read-only mark means nothing");
#endif
    if (kind == u"no folder") {
        QVERIFY(writeFile(dir.filePath(u"plain"_s), "x"));
        path = settingsPath(dir.filePath(u"plain/gone"_s));
    } else if (kind == u"folder is a file") {
        QVERIFY(writeFile(dir.filePath(u"plain"_s), "x"));
        path = settingsPath(dir.filePath(u"plain"_s));
    } else if (kind == u"directory") {
        QVERIFY(QDir(dir.path()).mkpath(u"Lectern.ini/inside"_s));
    } else {
        QVERIFY(writeFile(path, goodFile));
        kept = true;
    }
    if (kind.startsWith(u"read-only"))
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    if (kind.startsWith(u"read-only folder"))
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));

#ifdef Q_OS_UNIX
    // A file-size limit makes every write past a few bytes fail as a full disk would, even for root.
    rlimit old{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    rlimit limit = old;
    if (kind == u"full disk")
        limit.rlim_cur = 16;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const auto result = saveDefaults(path, {10, 5, 2}, kind.endsWith(u"as a user"));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
#else
    const auto result = saveDefaults(path, {10, 5, 2}, false);
#endif
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QVERIFY(!result.ok);
    QCOMPARE(result.error, reason);
    if (kind.startsWith(u"read-only file")) // and stays so
        QVERIFY(!QFile::permissions(path).testFlag(QFileDevice::WriteOwner));
    if (kind == u"directory")
        QVERIFY(QFileInfo(dir.filePath(u"Lectern.ini/inside"_s)).isDir());
    else if (kept)
        QCOMPARE(fileBytes(path), goodFile);
    else
        QVERIFY(!QFileInfo::exists(path));
    // No temporary file is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(u"Lectern"_s),
             kept ? QStringList{u"Lectern.ini"_s} : QStringList());
}

void TestSettingsFile::savedOnDisk_data()
{
    QTest::addColumn<QString>("kind");
    for (const char* kind : {"first save makes the folder", "plain file", "in a read-only folder, as a user",
                             "chain of two links", "hard link", "another user's file"})
        QTest::newRow(kind) << QString::fromUtf8(kind);
}

void TestSettingsFile::savedOnDisk()
{
    QFETCH(QString, kind);
#ifdef Q_OS_WIN
    if (!kind.startsWith(u"first") && kind != u"plain file")
        QSKIP("Links, other users' files and folders' permissions are POSIX's here");
#endif
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString real = settingsPath(kind.startsWith(u"first") ? dir.filePath(u"config/Lectern"_s) : dir.path());
    QString path = real; // the path saved to
    QVERIFY(kind.startsWith(u"first") || writeFile(real, goodFile));
#ifdef Q_OS_UNIX
    QVERIFY(kind.startsWith(u"first") || ::chmod(qPrintable(real), 0640) == 0);
    if (kind.startsWith(u"chain")) // one link relative, one absolute
        QVERIFY(QFile::link(real, dir.filePath(u"middle"_s)) && QFile::link(u"middle"_s, path = dir.filePath(u"ln"_s)));
    if (kind == u"hard link")
        QVERIFY(::link(qPrintable(real), qPrintable(dir.filePath(u"other"_s))) == 0);
    if (kind.startsWith(u"another") && (!nobody || ::chown(qPrintable(real), nobody->pw_uid, nobody->pw_gid) != 0))
        QSKIP("Only root can save another user's file");
    if (kind.contains(u"read-only folder"))
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const mode_t umask = ::umask(027); // a new file gets 0666 less the umask, an old one keeps its permissions
    const auto result = saveDefaults(path, {12, 5, 2}, kind.endsWith(u"as a user"));
    ::umask(umask);
#else
    const auto result = saveDefaults(path, {12, 5, 2}, false);
#endif
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(fileBytes(real), settingsFileBytes({12, 5, 2}, SettingsRecord()));
    QCOMPARE(QDir(QFileInfo(real).path()).entryList(QDir::Files | QDir::Hidden).filter(u".saving-"_s), QStringList());
#ifdef Q_OS_UNIX
    struct stat st {};
    QVERIFY(::stat(qPrintable(real), &st) == 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));
    QCOMPARE(st.st_nlink, nlink_t(kind == u"hard link" ? 2 : 1)); // one file under both names
    QCOMPARE(QFileInfo(dir.filePath(u"middle"_s)).isSymLink(), kind.startsWith(u"chain"));
    if (kind.startsWith(u"another"))
        QCOMPARE(st.st_uid, nobody->pw_uid);
#endif
}

void TestSettingsFile::oversizedSettingsAreNotWritten()
{
    FakeFileAccess files;
    const QString path = settingsPath(files.programFolder());
    files.put(path, goodFile);
    SettingsRecord record;
    record.setText(Text::Text4, QString(40000, u'超'));
    const auto result = writeSettings(files, path, {10, 5, 2}, record);
    QVERIFY(!result.ok);
    QVERIFY(!result.error.isEmpty());
    QCOMPARE(files.writes(), 0);
    QCOMPARE(files.get(path), std::optional<QByteArray>(goodFile));

    // Just inside the bound is written and read back.
    record.setText(Text::Text4, QString(maxSettingsFileBytes / 2 - 200, u'超'));
    QVERIFY(writeSettings(files, path, {10, 5, 2}, record).ok);
    SettingsRecord back;
    readSettings(files, path, back);
    QCOMPARE(back.text(Text::Text4), record.text(Text::Text4));
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settings_file.moc"
