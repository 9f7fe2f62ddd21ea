#include "app/program.h"
#include "platform/boot_clock.h"
#include "platform/disk_file_access.h"
#include "platform/qt_ticker.h"
#include "platform/sdl_chime_device.h"
#include "widgets/widget_dialogs.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The interface is Japanese whatever the machine's locale, so Qt's own dialogs (colour, file) are too.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), u"qtbase"_s, u"_"_s,
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    BootClock clock;
    QtTicker ticker;
    SdlChimeDevice chime;
    DiskFileAccess files;
    WidgetDialogs dialogs;

    Program program({clock, ticker, chime, files, dialogs});
    program.start();
    return QApplication::exec();
}
