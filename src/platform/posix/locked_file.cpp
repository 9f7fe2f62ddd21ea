#include "platform/locked_file.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

LockedFile::LockedFile(const QString& path, bool create)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
    if (fd < 0) {
        m_openError = errno;
        return;
    }
    int locked = 0;
    do
        locked = ::flock(fd, LOCK_EX);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        m_openError = errno;
        ::close(fd);
        return;
    }
    m_handle = fd;
}

LockedFile::~LockedFile()
{
    close();
}

bool LockedFile::missing() const
{
    return m_openError == ENOENT;
}

std::int64_t LockedFile::size(int& error) const
{
    struct stat status {};
    if (::fstat(int(m_handle), &status) != 0) {
        error = errno;
        return -1;
    }
    return status.st_size;
}

int LockedFile::readAt(std::int64_t offset, char* out, std::int64_t count) const
{
    std::int64_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(int(m_handle), out + got, size_t(count - got), off_t(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 && errno ? errno : EIO;
        got += n;
    }
    return 0;
}

int LockedFile::append(const QByteArray& bytes)
{
    // The file is open for appending: every write goes to its end.
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(int(m_handle), bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += n;
    }
    return 0;
}

int LockedFile::truncate(std::int64_t size)
{
    return ::ftruncate(int(m_handle), off_t(size)) == 0 ? 0 : errno;
}

int LockedFile::close()
{
    if (m_handle < 0)
        return 0;
    const int result = ::close(int(m_handle));
    m_handle = -1;
    return result == 0 ? 0 : errno;
}
