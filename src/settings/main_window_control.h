#pragma once

#include "settings/settings_record.h"

/// What confirming the settings, and start-up, do to the main window.
class MainWindowControl {
public:
    virtual ~MainWindowControl() = default;
    /// Shows or hides the upper and the lower row.
    virtual void setRowsVisible(bool upper, bool lower) = 0;
    /// The layout pass over the window's current inner size.
    virtual void Form_Resize() = 0;
    /// Shows the main window and brings it to the front.
    virtual void showAndRaise() = 0;
    /// Starts a new count with the settings as they stand.
    virtual void resettimer() = 0;
};

/// The row visibility rule: both rows, upper only or lower only by the row mode; with no row mode selected
/// the rows stay as they are.
inline void applyRowVisibilityRule(SettingsRecord::RowMode mode, MainWindowControl& main)
{
    switch (mode) {
    case SettingsRecord::RowMode::Option1:
        main.setRowsVisible(true, true);
        break;
    case SettingsRecord::RowMode::Option2:
        main.setRowsVisible(true, false);
        break;
    case SettingsRecord::RowMode::Option3:
        main.setRowsVisible(false, true);
        break;
    case SettingsRecord::RowMode::None:
        break;
    }
}
