#include "app/display.h"
#include "app/program.h"
#include "app/quit_on_signals.h"
#include "app/system_start.h"
#include "build_info.h"
#include "main_window/accessibility.h"
#include "main_window/form1.h"
#include "platform/boot_clock.h"
#include "platform/boot_ticker.h"
#include "platform/disk_file_access.h"
#include "platform/sdl_chime_device.h"
#include "platform/system_wall_clock.h"
#include "platform/thread_file_writer.h"
#include "remote_control/command_line.h"
#include "remote_control/single_instance.h"
#include "widgets/widget_dialogs.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    prepareSystemStart();
    QCoreApplication::setApplicationName(QString::fromUtf16(programName));
    QCoreApplication::setApplicationVersion(QString::fromUtf16(programVersion));
    if (const auto answered = answerCommandLine(argc, argv))
        return *answered;

    // Through X shared memory each repaint first waits on a round trip to the server, which wakes two threads more
    // every second for rows that change once a second; sent on the connection, a repaint costs no reply. A user's
    // own setting is kept.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    const auto app = openDisplay(argc, argv);
    const StartOptions options = checkCommandLine(*app);
    // Ties the windows to the launcher entry, for the desktop's task list and icon.
    QGuiApplication::setDesktopFileName(QString::fromUtf16(applicationId));
    installAccessibility();
    // The interface is Japanese whatever the machine's locale, so Qt's own dialogs (colour, file) are too.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), u"qtbase"_s, u"_"_s,
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    BootClock clock;
    BootTicker ticker;
    SdlChimeDevice chime;
    SdlChimeDevice soundCheck;
    DiskFileAccess files;
    WidgetDialogs dialogs;
    SystemWallClock wall;
    // Outlive the program, so the last count's line and file are handed over before they are waited for at exit.
    ThreadFileWriter countWriter;
    ThreadFileWriter listWriter;

    Program program({clock, ticker, chime, files, dialogs, soundCheck, wall, countWriter, listWriter});
    SingleInstance instance(program.settingsFile().writePath);
    // Another copy came to the front: status 0.
    const SingleInstance::Claim claim = instance.claim();
    if (claim == SingleInstance::Claim::Running)
        return 0;
    // Said on stderr already, which a copy started from the menu has nowhere to show; the talk is not held up for
    // it: this copy runs alone.
    if (claim == SingleInstance::Claim::Unreachable) {
        dialogs.warn(
            QString::fromUtf16(programName),
            u"ほかの Lectern からの指示を受け取れません: %1。\n\nこの Lectern はこのまま動きますが、"
            "あとから起動した Lectern は別に開き、lectern --pause などの指示はこの Lectern に届きません。"_s.arg(
                instance.problem()));
    }
    program.takeCommandsFrom(instance);
    // `lectern --control-url` reads the browser view's control address, while the view is on.
    instance.setControlAddress([&program] { return program.webView() ? program.webView()->controlUrl() : QString(); });
    // Logging out or closing the terminal closes the window as its user would: status 0, the settings untouched.
    QuitOnSignals endSignals;
    QObject::connect(&endSignals, &QuitOnSignals::received, &program.mainWindow(), &QWidget::close);
    // The system ends the process once told the program closed: the count's file is written first.
    QObject::connect(&endSignals, &QuitOnSignals::endingNow, [&countWriter, &listWriter] {
        countWriter.startExitClock();
        listWriter.startExitClock();
        countWriter.waitUntilIdle(std::chrono::seconds(1));
        listWriter.waitUntilIdle(std::chrono::seconds(1));
    });

    program.start(options);
    const int status = QApplication::exec();
    // The two writers wait out one bound together, not one after the other.
    countWriter.startExitClock();
    listWriter.startExitClock();
    return status;
}
