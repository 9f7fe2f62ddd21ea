#include "app/system_start.h"

#include "remote_control/message_language.h"

#include <QtGlobal>

#include <csignal>

void prepareSystemStart()
{
    // Output to a pipe whose reader is gone (`lectern 2>&1 | head`) fails with EPIPE instead of ending the talk.
    std::signal(SIGPIPE, SIG_IGN);
}

void chooseWindowSystem()
{
    // A native Wayland window is never told that it was minimised, and the minimised caption shows the count: the
    // program runs through XWayland unless QT_QPA_PLATFORM says otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

QString missingDisplayReason()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return localisedMessage(QStringLiteral("DISPLAY も WAYLAND_DISPLAY も設定されていません"),
                                QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set"));
    return {};
}
