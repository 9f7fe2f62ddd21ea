#pragma once

#include "platform/dialogs.h"

/// Dialogs as Qt's message boxes, colour dialog and file dialog. Each is shown over the program's active window,
/// which is the window whose command asked for it: the main window for the restart question, the settings
/// dialog for its boxes and pickers.
class WidgetDialogs final : public Dialogs {
public:
    bool askOkCancel(const QString& caption, const QString& text) override;
    std::optional<bool> askYesNo(const QString& caption, const QString& text) override;
    void inform(const QString& caption, const QString& text) override;
    void warn(const QString& caption, const QString& text) override;
    std::optional<ColourValue> pickColour(ColourValue initial) override;
    std::optional<QString> pickOpenFile(const QString& title, const QString& filter, const QString& startPath) override;
};
