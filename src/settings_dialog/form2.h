#pragma once

#include <QDialog>
#include <QString>

class Dialogs;
class FileAccess;
class MainWindowControl;
class SettingsRecord;

/// The settings dialog "設定". Its controls are bound both ways to the one settings record, so an edit is seen
/// by every reader at once; its three buttons confirm, confirm and restart, or cancel.
class Form2 : public QDialog {
    Q_OBJECT
public:
    Form2(SettingsRecord& record, FileAccess& files, Dialogs& dialogs, QWidget* parent = nullptr);
    ~Form2() override;

    /// Full path of the settings file, fixed once at start-up and used by every confirmation.
    QString fileN;

    /// The main window that confirmation lays out, shows and restarts; set once during start-up.
    void setMainWindow(MainWindowControl* main);
    /// Takes the cancel copy from the fields as they stand; start-up calls it after the settings file was read.
    void takeCancelCopy();
    /// Shows the dialog modeless, or brings it to the front when it is shown already; edits are kept.
    void showOrRaise();
};
