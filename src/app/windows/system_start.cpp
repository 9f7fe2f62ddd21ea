#include "app/system_start.h"

#include <cstdio>
#include <cstdlib>

#include "platform/windows/windows_api.h"

namespace {

// The console's code page before the program wrote in it, given back when the program ends.
UINT consoleCodePage = 0;

void restoreConsoleCodePage()
{
    ::SetConsoleOutputCP(consoleCodePage);
}

bool hasHandle(DWORD which)
{
    const HANDLE handle = ::GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

} // namespace

void prepareSystemStart()
{
    // A program of the windowed kind gets no console: started from one (`Lectern.exe --pause` in a command prompt)
    // it writes its lines into that console, unless they were sent elsewhere. Attached, the console's Ctrl+C and
    // closing reach the program too, as a terminal's signals do on Linux.
    if (hasHandle(STD_ERROR_HANDLE) && hasHandle(STD_OUTPUT_HANDLE))
        return;
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!hasHandle(STD_OUTPUT_HANDLE))
        std::freopen("CONOUT$", "w", stdout);
    if (!hasHandle(STD_ERROR_HANDLE))
        std::freopen("CONOUT$", "w", stderr);
    // The lines are UTF-8, which a Japanese console shows as code page 932 until told otherwise; the console is
    // the caller's, so its code page is given back.
    consoleCodePage = ::GetConsoleOutputCP();
    if (consoleCodePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
        std::atexit(restoreConsoleCodePage);
}

void chooseWindowSystem()
{
    // Qt's own choice, the windows plug-in, is the only one there is; an X display the process may see (under
    // Wine) is not for it.
}

QString missingDisplayReason()
{
    // Windows always has a desktop to open; a failure is the platform plug-in's, which says why itself.
    return {};
}
