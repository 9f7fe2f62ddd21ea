#pragma once

#include <QtGlobal>

#include <optional>

class QScreen;

/// How the windows come up, from the command line.
struct StartOptions {
    /// The screen the main window opens on; null for the window system's choice.
    QScreen* screen = nullptr;
    /// The main window starts full screen, as F11 leaves it.
    bool fullScreen = false;
    /// The speaker's window opens with the main window.
    bool speakerScreen = false;
    /// The browser view starts at this port (or the next free one).
    std::optional<quint16> servePort;
};
