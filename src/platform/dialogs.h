#pragma once

#include "platform/colour_value.h"

#include <QString>

#include <optional>

/// The modal boxes and common dialogs the program shows. Each call returns when the user has answered.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    /// A box with OK (the default) and Cancel and no icon, modal for the whole program; true for OK.
    virtual bool askOkCancel(const QString& caption, const QString& text) = 0;
    /// A question box with Yes (the default) and No, modal for the whole program; true for Yes, false for No (or
    /// Escape), nothing when the box was closed without an answer (the program ending under it).
    virtual std::optional<bool> askYesNo(const QString& caption, const QString& text) = 0;
    /// A box with a single OK button and no icon.
    virtual void inform(const QString& caption, const QString& text) = 0;
    /// A box with a single OK button and a warning icon, for failures the user must know about.
    virtual void warn(const QString& caption, const QString& text) = 0;
    /// The colour dialog opened on `initial`; nothing when the user cancels.
    virtual std::optional<ColourValue> pickColour(ColourValue initial) = 0;
    /// The file-open dialog starting at `startPath`; only an existing file can be confirmed; nothing on cancel.
    virtual std::optional<QString> pickOpenFile(const QString& title, const QString& filter,
                                                const QString& startPath) = 0;
};
