#include "boot_clock.h"
#include "disk_file_access.h"
#include "program.h"
#include "qt_ticker.h"
#include "sdl_chime_device.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    BootClock clock;
    QtTicker ticker;
    SdlChimeDevice chime;
    DiskFileAccess files;

    Program program({clock, ticker, chime, files});
    program.start();
    return QApplication::exec();
}
