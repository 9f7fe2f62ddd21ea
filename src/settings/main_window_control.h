#pragma once

/// What confirming the settings does to the main window.
class MainWindowControl {
public:
    virtual ~MainWindowControl() = default;
    /// Shows or hides the two rows (the row visibility rule decides which).
    virtual void setRowsVisible(bool upper, bool lower) = 0;
    /// The layout pass over the window's current inner size.
    virtual void Form_Resize() = 0;
    /// Shows the main window and brings it to the front.
    virtual void showAndRaise() = 0;
    /// Starts a new count with the settings as they stand.
    virtual void resettimer() = 0;
};
