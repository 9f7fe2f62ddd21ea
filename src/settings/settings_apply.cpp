#include "settings/settings_apply.h"

#include "platform/dialogs.h"
#include "settings/number_rule.h"
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
    using T = SettingsRecord::Text;
    m_copy = {m_record.minutes(T::presenPeriod), m_record.minutes(T::discussPeriod), m_record.minutes(T::warnBefore),
              m_record.text(T::wavefile)};
}

bool SettingsApply::apply(const QString& path)
{
    using T = SettingsRecord::Text;
    const double p = m_record.minutes(T::presenPeriod);
    const double d = m_record.minutes(T::discussPeriod);
    const double w = m_record.minutes(T::warnBefore);
    if (p <= 0 || d <= 0 || w <= 0 || p < w) {
        m_dialogs.inform(invalidTimesCaption(), invalidTimesText());
        return false;
    }

    // The copy is taken before the save: the times have passed and are in force whether or not the file
    // could be written, so Cancel brings back these values.
    m_copy = {p, d, w, m_record.text(T::wavefile)};
    const FileAccess::WriteResult saved = writeSettings(m_files, path, p, d, w, m_record);
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
    using T = SettingsRecord::Text;
    m_record.setText(T::presenPeriod, renderNumber(m_copy.presentation));
    m_record.setText(T::discussPeriod, renderNumber(m_copy.discussion));
    m_record.setText(T::warnBefore, renderNumber(m_copy.warning));
    m_record.setText(T::wavefile, m_copy.wavePath);
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
