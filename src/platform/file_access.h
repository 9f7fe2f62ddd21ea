#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

/// Whole-file reads and atomic whole-file writes, and the folder the program lives in.
class FileAccess {
public:
    struct WriteResult {
        bool ok = false;
        QString error; ///< the reason, for the user, when !ok
    };

    virtual ~FileAccess() = default;
    /// The folder holding the running executable, symbolic links resolved.
    virtual QString programFolder() const = 0;
    /// The whole content of an ordinary file, or nothing when there is none at the path, it is not an
    /// ordinary file (a folder, a device), it cannot be read, or it is larger than maxBytes.
    virtual std::optional<QByteArray> readOrdinaryFile(const QString& path, qint64 maxBytes) const = 0;
    /// Replaces the file whole: a failed or interrupted write leaves the previous file as it was.
    virtual WriteResult writeWhole(const QString& path, const QByteArray& bytes) = 0;
};
