#include "boot_clock.h"
#include "build_info.h"
#include "command_line.h"
#include "disk_file_access.h"
#include "display.h"
#include "program.h"
#include "qt_ticker.h"
#include "sdl_chime_device.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QString::fromUtf16(programName));
    QCoreApplication::setApplicationVersion(QString::fromUtf16(programVersion));
    if (const auto answered = answerCommandLine(argc, argv))
        return *answered;

    const auto app = openDisplay(argc, argv);
    checkCommandLine(*app);
    // Ties the windows to the launcher entry, for the desktop's task list and icon.
    QGuiApplication::setDesktopFileName(u"io.github.lectern.Lectern"_s);
    // The interface is Japanese whatever the machine's locale, so Qt's own dialogs (colour, file) are too.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), u"qtbase"_s, u"_"_s,
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    BootClock clock;
    QtTicker ticker;
    SdlChimeDevice chime;
    DiskFileAccess files;

    Program program({clock, ticker, chime, files});
    program.start();
    return QApplication::exec();
}
