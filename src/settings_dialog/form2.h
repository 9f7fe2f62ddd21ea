#pragma once

#include "settings/settings_apply.h"
#include "settings/settings_record.h"

#include <QDialog>
#include <QString>

#include <array>
#include <vector>

class Dialogs;
class FileAccess;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

/// The settings dialog "設定". Its controls are bound both ways to the one settings record, so an edit is seen
/// by every reader at once; its three buttons confirm, confirm and restart, or cancel, and it tells what was
/// confirmed through its signals. A window of its own, owned by no other, so either it or the main window can
/// be in front.
class Form2 : public QDialog {
    Q_OBJECT
public:
    /// Message boxes and pickers go through `dialogs`; every confirmation saves to `settingsFile`.
    Form2(SettingsRecord& record, FileAccess& files, Dialogs& dialogs, const QString& settingsFile,
          QWidget* parent = nullptr);
    ~Form2() override;

    /// Full path of the settings file, fixed when the dialog is made and used by every confirmation.
    const QString fileN;

    /// Takes the cancel copy from the fields as they stand, as the dialog does when it is made.
    void takeCancelCopy();

signals:
    /// The settings were confirmed, after the dialog hid: the main window shows the rows of `mode`.
    void confirmed(SettingsRecord::RowMode mode);
    /// 設定変更して再スタート was pressed: a new count, whether or not the settings passed.
    void restartRequested();
    /// 試聴 was pressed: the wave file the field names now (the built-in bell when empty) should sound once.
    void soundCheckRequested(const QString& path);

public slots:
    void okBtn_Click();
    void Command2_Click();
    void clBtn_Click();
    void Command1_Click();
    void playBtn_Click();
    void t1f_Click();
    void t1b_Click();
    void t2f_Click();
    void t2b_Click();
    void t3f_Click();
    void t3b_Click();
    void t4f_Click();
    void t4b_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildControls();
    void bindRecord();
    void showText(SettingsRecord::Text field);
    void showColour(SettingsRecord::Swatch swatch);
    void showRowMode();
    void showIcon();
    void pickColour(SettingsRecord::Swatch swatch);

    SettingsRecord& m_record;
    Dialogs& m_dialogs;
    SettingsApply m_apply;
    /// The path last confirmed in the file dialog during this run; the dialog opens on it next time.
    QString m_pickedWavePath;

    std::array<QLineEdit*, SettingsRecord::textCount> m_fields{};
    std::array<QLabel*, SettingsRecord::swatchCount> m_swatches{};
    std::array<QRadioButton*, 3> m_options{};
    QLabel* m_picture = nullptr;
    /// Labels placed by their corner, sized to their text when the dialog is polished; the frame captioned then.
    std::vector<QWidget*> m_autoSized;
    std::pair<QGroupBox*, QString> m_frameCaption;
};
