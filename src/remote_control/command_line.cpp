#include "remote_control/command_line.h"

#include "build_info.h"
#include "platform/disk_file_access.h"
#include "remote_control/message_language.h"
#include "remote_control/single_instance.h"
#include "remote_control/start_options.h"
#include "settings/settings_location.h"
#include "timing/count_command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

constexpr quint16 defaultPort = 8480;

void describe(QCommandLineParser& parser)
{
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(u"full-screen"_s));
    parser.addOption(QCommandLineOption(u"screen"_s, QString(), u"N"_s));
    parser.addOption(QCommandLineOption(u"speaker-screen"_s));
    // The count's commands, which a later start passes on to the copy that runs for the same settings file.
    for (const CountCommandSpelling& command : countCommandSpellings) {
        const QString name = QString::fromLatin1(command.text);
        parser.addOption(command.takesSeconds ? QCommandLineOption(name, QString(), u"seconds"_s)
                                              : QCommandLineOption(name));
    }
    parser.addOption(QCommandLineOption(u"serve"_s, QString(), u"port"_s));
    parser.addOption(QCommandLineOption(u"control-url"_s));
}

/// --serve takes its port optionally, which the parser cannot express: a bare --serve gets the default port.
QStringList withServePort(QStringList arguments)
{
    for (QString& argument : arguments) {
        if (argument == u"--serve"_s)
            argument = u"--serve=%1"_s.arg(defaultPort);
    }
    return arguments;
}

void sayUnknownOption(const QString& name)
{
    sayOnStderr(u"'%1' というオプションはありません"_s.arg(name), u"unknown option '%1'"_s.arg(name));
}

/// Says what the parser found wrong, in Japanese through Qt's own translation when the terminal's language is:
/// looked for only then, on the way out.
void sayParserError(QCommandLineParser& parser)
{
    QTranslator qtTexts;
    if (messagesInJapanese() && qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), u"qtbase"_s, u"_"_s,
                                             QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(&qtTexts);
        [[maybe_unused]] const bool parsed = parser.parse(withServePort(QCoreApplication::arguments()));
        QCoreApplication::removeTranslator(&qtTexts);
    }
    std::fprintf(stderr, "lectern: %s\n", qUtf8Printable(parser.errorText()));
}

/// Passes the count's commands on, in the order given, to the copy that runs for the same settings file; never
/// starts one. Nothing when the command line holds none.
std::optional<int> passOnCommands(const QCommandLineParser& parser)
{
    QByteArray lines;
    // How many values of each option with seconds have been taken, as the parser keeps them apart by name.
    QHash<QString, qsizetype> taken;
    for (const QString& name : parser.optionNames()) {
        const QByteArray given = name.toLatin1();
        const CountCommandSpelling* spelling = countCommandSpelling(given);
        if (!spelling)
            continue;
        const QByteArray argument =
            spelling->takesSeconds ? parser.values(name).value(taken[name]++).toUtf8() : QByteArray();
        const std::optional<CountCommand> command = parseCountCommand(given, argument);
        if (!command) {
            const QString text = QString::fromUtf8(argument);
            sayOnStderr(
                u"--%1 には秒数を前後どちらも1日以内で指定します（例: --%1=-30）。'%2' は使えません"_s.arg(name, text),
                u"--%1 takes seconds, at most a day either way (as --%1=-30), not '%2'"_s.arg(name, text));
            return 1;
        }
        lines += countCommandText(*command) + '\n';
    }
    // The address is asked for last, after the commands, as the copy closes the connection once it has answered.
    const bool askAddress = parser.isSet(u"control-url"_s);
    if (askAddress)
        lines += "control-url\n";
    if (lines.isEmpty())
        return std::nullopt;
    if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty()) {
        sayUnknownOption(unknown.constFirst());
        return 1;
    }
    // Found as the copy itself finds it, without a display.
    DiskFileAccess files;
    QByteArray address;
    if (!SingleInstance::send(settingsLocation(files, installedFolders()).writePath, lines,
                              askAddress ? &address : nullptr))
        return 1;
    if (!askAddress)
        return 0;
    if (address.isEmpty()) {
        sayOnStderr(u"動いている Lectern はブラウザ表示をしていません"_s,
                    u"the running copy of Lectern is not serving the browser view"_s);
        return 1;
    }
    std::printf("%s\n", address.constData());
    return 0;
}

QString helpText(const QString& program)
{
    if (messagesInJapanese()) {
        return u"使い方: %1 [オプション]\n"
               "学会講演のためのタイマーです。講演の開始からの経過時間、発表時間と\n"
               "質疑応答時間の残り、超過時間を、ウィンドウいっぱいの文字で表示します。\n"
               "予鈴の時刻、発表の終了、質疑応答の終了にはベルを鳴らします。\n"
               "\n"
               "オプション:\n"
               "      --full-screen     メインウィンドウを全画面で開きます（F11 と同じ）。\n"
               "      --screen=N        メインウィンドウを N 番目の画面（1 から）に開きます。\n"
               "      --speaker-screen  講演者用の画面をもう一つの画面に開きます（D キーと同じ）。\n"
               "      --serve[=PORT]    ブラウザ表示のサーバーを始めます（ポートは既定で 8480、\n"
               "                        使用中なら次の空きポート）。W キーと同じです。\n"
               "  -h, --help            この使い方を表示して終了します。\n"
               "  -v, --version         バージョンを表示して終了します。\n"
               "\n"
               "同じ設定ファイルで動いている Lectern への指示（確認はしません）:\n"
               "  --restart          カウントを最初からやり直します。\n"
               "  --pause            一時停止します。一時停止中なら再開します。\n"
               "  --adjust=±秒       カウントを指定の秒数だけ進めます（負の数なら戻します）。\n"
               "  --skip             いまの発表または質疑応答を終えて次に進みます。\n"
               "  --rehearsal        リハーサルを始めます。\n"
               "  --bell             ベルを1回鳴らします（B キーと同じ）。\n"
               "  --control-url      ブラウザ表示の操作用アドレス（トークン付き）を表示します。\n"
               "伝えたら 0、動いている Lectern がなければ（--control-url ではブラウザ表示を\n"
               "していなければ）1 で終了します。\n"_s.arg(program);
    }
    return u"Usage: %1 [options]\n"
           "A timer for talks at academic meetings: the time since the talk started, the\n"
           "time left in the presentation and the discussion, and the overtime, in text\n"
           "that fills the window, with a bell at the warning, at the end of the\n"
           "presentation and at the end of the discussion.\n"
           "\n"
           "Options:\n"
           "      --full-screen     Open the main window full screen (as F11 does).\n"
           "      --screen=N        Open the main window on screen N (from 1).\n"
           "      --speaker-screen  Open the speaker's window on another screen (as D does).\n"
           "      --serve[=PORT]    Start the browser view's server (port 8480 unless given,\n"
           "                        or the next free one), as the W key does.\n"
           "  -h, --help            Print this help and exit.\n"
           "  -v, --version         Print the version and exit.\n"
           "\n"
           "Commands for the copy running with the same settings file (asked nothing):\n"
           "  --restart          Start the count again.\n"
           "  --pause            Pause the count, or go on when it is paused.\n"
           "  --adjust=±SECONDS  Move the count on by SECONDS (back when negative).\n"
           "  --skip             End the presentation or the discussion now.\n"
           "  --rehearsal        Start a rehearsal.\n"
           "  --bell             Ring the bell once (as the B key does).\n"
           "  --control-url      Print the browser view's control address, with its token.\n"
           "Exit status 0 once passed on, 1 when no copy is running (or, for --control-url,\n"
           "when it is not serving the browser view).\n"_s.arg(program);
}

} // namespace

std::optional<int> answerCommandLine(int argc, char* argv[])
{
    // The usual start has no arguments and pays nothing for them.
    if (argc < 2)
        return std::nullopt;
    // A core application needs no display; the help text takes the program's name from it.
    const QCoreApplication probe(argc, argv);
    QCommandLineParser parser;
    describe(parser);
    // Unknown options may still be the window system's; they are judged once the application has taken those.
    if (!parser.parse(withServePort(QCoreApplication::arguments())) && parser.unknownOptionNames().isEmpty()) {
        sayParserError(parser);
        return 1;
    }
    if (parser.isSet(u"help"_s) || parser.isSet(u"help-all"_s)) {
        std::fputs(helpText(QFileInfo(QCoreApplication::arguments().constFirst()).fileName()).toUtf8().constData(),
                   stdout);
        return 0;
    }
    if (parser.isSet(u"version"_s)) {
        std::printf("%s %s\n", qPrintable(QString::fromUtf16(programName)),
                    qPrintable(QString::fromUtf16(programVersion)));
        return 0;
    }
    return passOnCommands(parser);
}

StartOptions checkCommandLine(const QGuiApplication& app)
{
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(withServePort(app.arguments()))) {
        if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty())
            sayUnknownOption(unknown.constFirst());
        else
            sayParserError(parser);
        std::exit(1);
    }
    StartOptions options;
    options.fullScreen = parser.isSet(u"full-screen"_s);
    options.speakerScreen = parser.isSet(u"speaker-screen"_s);
    if (parser.isSet(u"screen"_s)) {
        // A talk is not held up for a wrong number: the window opens on the usual screen, and the line says why.
        const QString given = parser.value(u"screen"_s);
        const QList<QScreen*> screens = QGuiApplication::screens();
        bool isNumber = false;
        const int n = given.toInt(&isNumber);
        if (isNumber && n >= 1 && n <= screens.size()) {
            options.screen = screens.at(n - 1);
        } else {
            sayOnStderr(
                u"--screen=%1: その番号の画面はありません（画面は %2 台）。既定の画面に開きます"_s.arg(given).arg(
                    screens.size()),
                u"--screen=%1: no such screen (there %2 %3); opening on the default one"_s.arg(
                    given, screens.size() == 1 ? u"is"_s : u"are"_s, QString::number(screens.size())));
        }
    }
    if (parser.isSet(u"serve"_s)) {
        bool ok = false;
        const uint port = parser.value(u"serve"_s).toUInt(&ok);
        if (!ok || port < 1 || port > 65535) {
            sayOnStderr(u"--serve: ポートは 1 から 65535 までの数です"_s,
                        u"--serve: the port is a number from 1 to 65535"_s);
            std::exit(1);
        }
        options.servePort = quint16(port);
    }
    return options;
}
