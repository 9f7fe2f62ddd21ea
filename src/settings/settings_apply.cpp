#include "settings/settings_apply.h"

#include "platform/dialogs.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"

using namespace Qt::StringLiterals;

SettingsApply::SettingsApply(SettingsRecord& record, FileAccess& files, Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_record(record), m_files(files), m_dialogs(dialogs)
{
    takeCancelCopy();
}

void SettingsApply::takeCancelCopy()
{
    m_cancelTimes = m_record.times();
    m_cancelWavePath = m_record.text(SettingsRecord::Text::wavefile);
}

bool SettingsApply::apply(const QString& path)
{
    const TalkTimes times = m_record.times();
    if (times.presentation <= 0 || times.discussion <= 0 || times.warning <= 0 || times.presentation < times.warning) {
        m_dialogs.inform(invalidTimesCaption(), invalidTimesText());
        return false;
    }

    // The copy is taken before the save: the times have passed and are in force whether or not the file
    // could be written, so Cancel brings back these values.
    takeCancelCopy();
    const FileAccess::WriteResult saved = writeSettings(m_files, path, times, m_record);
    if (!saved.ok)
        m_dialogs.warn(saveFailedCaption(), saveFailedText(path, saved.error));

    emit finished();
    emit confirmed(m_record.rowMode());
    return true;
}

void SettingsApply::applyAndRestart(const QString& path)
{
    apply(path);
    // After a rejection the count restarts with the texts the dialog shows, which every reader parses alike.
    emit restartRequested();
}

void SettingsApply::cancel()
{
    m_record.setTimes(m_cancelTimes);
    m_record.setText(SettingsRecord::Text::wavefile, m_cancelWavePath);
    emit finished();
}

QString SettingsApply::invalidTimesCaption()
{
    return u"時間指定エラー"_s;
}

QString SettingsApply::invalidTimesText()
{
    return u"値の範囲が不正です．\r\n"
           u"どれかの値がゼロ以下か、あるいは\r\n"
           u"発表終了前の予鈴指定が、発表時間より大きい値となっています．"_s;
}

QString SettingsApply::saveFailedCaption()
{
    return u"設定の保存エラー"_s;
}

QString SettingsApply::saveFailedText(const QString& path, const QString& reason)
{
    return u"設定ファイルを保存できませんでした。\n"_s + path + u"\n理由: "_s + reason +
           u"\n\n変更した設定はこのプログラムを終了するまで有効ですが、"
           u"次回の起動時には保存されている設定に戻ります。"_s;
}
