#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

/// Whole-file reads and atomic whole-file writes, the folder the program lives in and the user's own folder.
class FileAccess {
public:
    struct WriteResult {
        bool ok = false;
        QString error; ///< the reason, for the user, when !ok
    };

    virtual ~FileAccess() = default;
    /// The folder holding the running executable, symbolic links resolved.
    virtual QString programFolder() const = 0;
    /// The per-user folder for the program's settings ($XDG_CONFIG_HOME/Lectern, else ~/.config/Lectern; on Windows
    /// %APPDATA%\Lectern); it may not exist yet. Empty when there is neither an absolute XDG_CONFIG_HOME nor a home
    /// that is an existing folder (on Windows, when the system names no such folder for the user).
    virtual QString userSettingsFolder() const = 0;
    /// The per-user folder for what the program keeps between runs that is no setting, as the count in progress
    /// ($XDG_STATE_HOME/Lectern, ~/.local/state/Lectern; on Windows %LOCALAPPDATA%\Lectern); it may not exist yet.
    virtual QString userStateFolder() const = 0;
    /// The per-user folder for what the program records for its user, as the list of the day's talks
    /// ($XDG_DATA_HOME/Lectern, ~/.local/share/Lectern; on Windows %LOCALAPPDATA%\Lectern); it may not exist yet.
    virtual QString userDataFolder() const = 0;
    /// Whether a file or folder exists at the path and this process may change it (make files in it, for a
    /// folder).
    virtual bool isWritable(const QString& path) const = 0;
    /// Whether an ordinary file (not a folder or a device) exists at the path.
    virtual bool isOrdinaryFile(const QString& path) const = 0;
    /// The whole content of an ordinary file, or nothing when there is none at the path, it is not an
    /// ordinary file (a folder, a device), it cannot be read, or it is larger than maxBytes.
    virtual std::optional<QByteArray> readOrdinaryFile(const QString& path, qint64 maxBytes) const = 0;
    /// Replaces the file whole, making its folder when missing: a failed or interrupted write leaves the previous
    /// file as it was. A file the process may not write (on Windows also one marked read-only) is refused, and
    /// stays as it is; links are followed to the file at their end, which keeps its owner, group and permissions
    /// (its attributes and access list on Windows). A hard-linked file, or a writable one in a folder that cannot
    /// take a new file, is rewritten in place.
    virtual WriteResult writeWhole(const QString& path, const QByteArray& bytes) = 0;
};
