#pragma once

#include "settings/settings_record.h"

#include <QObject>
#include <QString>

class Dialogs;
class FileAccess;

/// What the settings dialog's three buttons do: confirm (check the times, save the file, then tell that the
/// dialog is done and the new row mode confirmed), confirm and ask for a new count, and cancel the edits of the
/// times and the wave path. The times keep the texts the user typed; only the cancel copy and the file get
/// numbers. What the windows do about it is for whoever connects the signals.
class SettingsApply : public QObject {
    Q_OBJECT
public:
    SettingsApply(SettingsRecord& record, FileAccess& files, Dialogs& dialogs, QObject* parent = nullptr);

    /// Takes the cancel copy, the three times and the wave path that Cancel puts back, from the record as it
    /// stands.
    void takeCancelCopy();
    TalkTimes cancelTimes() const { return m_cancelTimes; }
    QString cancelWavePath() const { return m_cancelWavePath; }

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

signals:
    /// The edits were confirmed or cancelled: the dialog is done with and hides. Emitted before confirmed(),
    /// so the main window comes to the front over the dialog.
    void finished();
    /// The settings passed and are in force: the main window shows the rows of `mode`, is laid out again and
    /// comes to the front.
    void confirmed(SettingsRecord::RowMode mode);
    /// Confirm and restart: a new count, whether or not the settings passed, after any box was answered.
    void restartRequested();

private:
    SettingsRecord& m_record;
    FileAccess& m_files;
    Dialogs& m_dialogs;
    TalkTimes m_cancelTimes;
    QString m_cancelWavePath;
};
