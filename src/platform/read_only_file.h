#pragma once

#include <QString>

#include <cstdint>

/// An ordinary file opened for reading at offsets of the caller's choosing, never through a position of its own;
/// one implementation per system.
class ReadOnlyFile {
public:
    enum class Failure {
        None,
        Missing,    ///< no file at the path
        Unreadable, ///< not an ordinary file (a folder, a device, a pipe), or one that cannot be read
    };

    /// The file's size and modification time, to tell whether it was written over.
    struct Stamp {
        std::int64_t size = 0;
        std::int64_t modified = 0;         ///< in the system's own unit and epoch
        std::int64_t modifiedFraction = 0; ///< what the system keeps below that unit
        bool operator==(const Stamp&) const = default;
    };

    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    /// Opens the file at `path` without waiting for anything: a named pipe with no writer is refused, not waited on.
    /// Anything but an ordinary file is refused and not kept open.
    Failure open(const QString& path);
    bool isOpen() const { return m_handle != -1; }
    /// The stamp as it is now; false when it cannot be had.
    bool stamp(Stamp& now) const;
    /// Reads up to `count` bytes from `offset`; fewer only at the end of the file or when reading fails.
    std::int64_t readAt(std::int64_t offset, void* out, std::int64_t count) const;

private:
    std::intptr_t m_handle = -1;
};
