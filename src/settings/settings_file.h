#pragma once

#include "file_access.h"

#include <QString>

class SettingsRecord;

/// The settings file's name, beside the program.
inline constexpr char16_t settingsFileName[] = u"Lectern.ini";

/// Full path of the settings file in `folder`: one separator between the folder and "Lectern.ini".
QString settingsPath(const QString& folder);

/// Fills the record from the settings file at `path`. A missing, unreadable or broken file leaves every
/// field it does not fully supply as it was; nothing is reported.
void readSettings(const FileAccess& files, const QString& path, SettingsRecord& record);

/// The six CR LF lines of the settings file for these times (minutes, already validated) and the record's
/// wave path, headings, colours and row mode; code page 932, or UTF-8 behind a byte-order mark when some
/// text has no code page 932 form.
QByteArray settingsFileBytes(double presentation, double discussion, double warning, const SettingsRecord& record);

/// Replaces the settings file at `path` whole; on failure the previous file stays and the reason is returned.
FileAccess::WriteResult writeSettings(FileAccess& files, const QString& path, double presentation, double discussion,
                                      double warning, const SettingsRecord& record);
