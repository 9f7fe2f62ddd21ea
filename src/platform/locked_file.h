#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

/// A file held open for reading and writing under an exclusive lock of the whole of it (flock(2); LockFileEx on
/// Windows), so that other writers who lock it wait until it is closed. Errors are the system's own codes (errno;
/// GetLastError() on Windows), for qt_error_string(); 0 is success.
class LockedFile {
public:
    /// Opens the file, made when missing if `create`, and waits for the lock.
    LockedFile(const QString& path, bool create);
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    /// Why the file could not be opened and locked; 0 when it is.
    int openError() const { return m_openError; }
    /// Whether it could not be opened for want of the file.
    bool missing() const;
    /// The size of the file, or -1 with `error` set.
    std::int64_t size(int& error) const;
    /// Reads exactly `count` bytes from `offset`; a file that ends before counts as a failure.
    int readAt(std::int64_t offset, char* out, std::int64_t count) const;
    /// Writes the bytes at the end of the file, going on after a write cut short; a write that takes nothing
    /// more counts as a full disk.
    int append(const QByteArray& bytes);
    int truncate(std::int64_t size);
    /// Closes the file, which ends the lock.
    int close();

private:
    std::intptr_t m_handle = -1;
    int m_openError = 0;
};
