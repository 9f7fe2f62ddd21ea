#pragma once

#include <QString>

class FileAccess;
struct SettingsLocation;

/// Where the count in progress is kept between runs and where the day's talks are listed.
struct CountLocation {
    QString statePath;
    QString talksPath;

    friend bool operator==(const CountLocation&, const CountLocation&) = default;
};

/// The count's files follow the settings: beside the program when the settings file is written there (a portable
/// copy), else the user's own state folder for the count ("Lectern.count") and data folder for the list of talks
/// ("talks.csv").
CountLocation countLocation(const FileAccess& files, const SettingsLocation& settings);
