#include "platform/read_only_file.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ReadOnlyFile::~ReadOnlyFile()
{
    if (m_handle != -1)
        ::close(int(m_handle));
}

ReadOnlyFile::Failure ReadOnlyFile::open(const QString& path)
{
    // Without O_NONBLOCK, opening a FIFO would wait for a writer and freeze the restart of the count.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? Failure::Missing : Failure::Unreadable;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return Failure::Unreadable;
    }
    m_handle = fd;
    return Failure::None;
}

bool ReadOnlyFile::stamp(Stamp& now) const
{
    struct stat status {};
    if (::fstat(int(m_handle), &status) != 0)
        return false;
    now = {status.st_size, status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
    return true;
}

std::int64_t ReadOnlyFile::readAt(std::int64_t offset, void* out, std::int64_t count) const
{
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pread(int(m_handle), static_cast<char*>(out) + done, std::size_t(count - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}
