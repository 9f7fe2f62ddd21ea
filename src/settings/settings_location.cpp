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
    for (const char16_t* folder : installedProgramFolders)
        folders << QDir::cleanPath(QString::fromUtf16(folder));
    return folders;
}
