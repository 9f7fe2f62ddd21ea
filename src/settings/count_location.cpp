#include "settings/count_location.h"

#include "platform/file_access.h"
#include "settings/settings_file.h"
#include "settings/settings_location.h"

#include <QDir>

using namespace Qt::StringLiterals;

CountLocation countLocation(const FileAccess& files, const SettingsLocation& settings)
{
    const QString programFolder = files.programFolder();
    const bool portable = QDir::cleanPath(settings.writePath) == QDir::cleanPath(settingsPath(programFolder));
    const QString stateFolder = portable ? programFolder : files.userStateFolder();
    const QString dataFolder = portable ? programFolder : files.userDataFolder();
    // No usable home folder: nowhere to keep them, rather than a path relative to wherever the program was started.
    const auto inFolder = [](const QString& folder, const QString& name) {
        return folder.isEmpty() ? QString() : QDir(folder).filePath(name);
    };
    return {inFolder(stateFolder, u"Lectern.count"_s), inFolder(dataFolder, u"talks.csv"_s)};
}
