#include "settings/settings_location.h"

#include "build_info.h"
#include "platform/file_access.h"
#include "settings/settings_file.h"
#include "settings/settings_log.h"

#include <QDir>

SettingsLocation settingsLocation(const FileAccess& files, const QStringList& installedFolders)
{
    const QString programFolder = files.programFolder();
    const QString beside = settingsPath(programFolder);
    const bool installed = installedFolders.contains(QDir::cleanPath(programFolder)) ||
                           files.isOrdinaryFile(programFolder + u'/' + QString::fromUtf16(installedMarkName));
    if (!installed && (files.isWritable(programFolder) || files.isWritable(beside)))
        return {beside, beside};

    const QString userFolder = files.userSettingsFolder();
    if (userFolder.isEmpty()) {
        qCWarning(lcSettings, "no usable home folder (HOME) and no XDG_CONFIG_HOME, so settings cannot be saved: "
                              "set one of them, or run Lectern from a folder it may write in");
        return {beside, QString()};
    }
    const QString own = settingsPath(userFolder);
    return {files.isOrdinaryFile(own) ? own : beside, own};
}

QStringList installedFolders()
{
    QStringList folders;
    for (const char16_t* configured : installedProgramFolders) {
        QString folder = QString::fromUtf16(configured);
        if (const qsizetype end = folder.indexOf(u'%', 1); folder.startsWith(u'%') && end > 1) {
            const QString value = qEnvironmentVariable(folder.sliced(1, end - 1).toLocal8Bit().constData());
            if (value.isEmpty())
                continue;
            folder.replace(0, end + 1, value);
        }
        folders << QDir::cleanPath(QDir::fromNativeSeparators(folder));
    }
    return folders;
}
