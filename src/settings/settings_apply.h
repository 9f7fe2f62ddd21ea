#pragma once

#include <QString>

#include <functional>

class Dialogs;
class FileAccess;
class MainWindowControl;
class SettingsRecord;

/// The three times, in minutes, and the wave path as they were last confirmed; Cancel puts them back.
struct CancelCopy {
    double presentation = 0.0;
    double discussion = 0.0;
    double warning = 0.0;
    QString wavePath;
};

/// What the settings dialog's three buttons do: confirm (check the times, save the file, hide the dialog and
/// show the rows of the new row mode), confirm and restart the count, and cancel the edits of the times and
/// the wave path. The times keep the texts the user typed; only the cancel copy and the file get numbers.
class SettingsApply {
public:
    /// `hideDialog` hides the settings dialog; it runs before the main window is touched, so the main window
    /// comes to the front over it.
    SettingsApply(SettingsRecord& record, FileAccess& files, Dialogs& dialogs, std::function<void()> hideDialog);

    /// Until a main window is set, confirmation saves and hides but touches no rows.
    void setMainWindow(MainWindowControl* main) { m_main = main; }

    /// Takes the cancel copy from the record as it stands.
    void takeCancelCopy();
    const CancelCopy& cancelCopy() const { return m_copy; }

    /// Confirms the settings and saves them to the file at `path`. False, with the invalid-times box shown and
    /// nothing changed, when the times do not pass. A failed save is reported to the user, and the settings
    /// are confirmed all the same: they stay in force for this run.
    bool apply(const QString& path);
    /// apply(), then a new count whether or not the times passed.
    void applyAndRestart(const QString& path);
    /// Puts back the three times and the wave path from the cancel copy and hides the dialog. Headings,
    /// colours and the row mode keep their edits.
    void cancel();

    static QString invalidTimesCaption();
    /// Three lines joined by CR LF.
    static QString invalidTimesText();
    static QString saveFailedCaption();
    static QString saveFailedText(const QString& path, const QString& reason);

private:
    SettingsRecord& m_record;
    FileAccess& m_files;
    Dialogs& m_dialogs;
    std::function<void()> m_hideDialog;
    MainWindowControl* m_main = nullptr;
    CancelCopy m_copy;
};
