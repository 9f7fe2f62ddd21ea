#pragma once

#include <QString>
#include <QStringList>

class FileAccess;

/// Where the settings file is read at start-up and written on confirmation.
struct SettingsLocation {
    QString readPath;
    QString writePath;

    friend bool operator==(const SettingsLocation&, const SettingsLocation&) = default;
};

/// The file an installer puts beside the program when the user may write in its folder (the Windows installer,
/// per user, in %LOCALAPPDATA%\Programs): the program is installed all the same.
inline constexpr char16_t installedMarkName[] = u"Lectern.installed";

/// The settings file beside the program when the program's folder can take it (a build folder, an unpacked
/// archive, a USB stick): the folder is writable, or it holds a writable settings file. Otherwise, and always for
/// a program in one of `installedFolders` (where a package put it) or beside `installedMarkName`, the user's own file
/// in the per-user settings folder; until that exists, a settings file beside the program is read as the
/// administrator's preset. A user without a home has no own file: the preset is read, the write path is empty, and that
/// is said on stderr.
SettingsLocation settingsLocation(const FileAccess& files, const QStringList& installedFolders);

/// The folders a package installs the program in, where its settings are never written beside it. A folder known
/// only where the program runs begins with an environment variable written as Windows does, %NAME%; while that is
/// unset it names no folder.
QStringList installedFolders();
