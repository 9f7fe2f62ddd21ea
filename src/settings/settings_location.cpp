#include "settings/settings_location.h"

#include "platform/file_access.h"
#include "settings/settings_file.h"

#include <QDir>

SettingsLocation settingsLocation(const FileAccess& files, const QStringList& installedFolders)
{
    const QString programFolder = files.programFolder();
    const QString beside = settingsPath(programFolder);
    const bool installed = installedFolders.contains(QDir::cleanPath(programFolder));
    if (!installed && (files.isWritable(programFolder) || files.isWritable(beside)))
        return {beside, beside};

    const QString own = settingsPath(files.userSettingsFolder());
    return {files.isOrdinaryFile(own) ? own : beside, own};
}
