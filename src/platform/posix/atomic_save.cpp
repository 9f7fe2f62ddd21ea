#include "platform/atomic_save.h"

#include "platform/save_parts.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString reasonFor(int errnum)
{
    switch (errnum) {
    case EACCES:
    case EPERM:
        return saveFailureText(SaveFailure::NoPermission);
    case EROFS:
        return saveFailureText(SaveFailure::ReadOnlyFileSystem);
    case ENOSPC:
    case EDQUOT:
        return saveFailureText(SaveFailure::DiskFull);
    case EISDIR:
        return saveFailureText(SaveFailure::FolderInTheWay);
    case EFBIG:
        return saveFailureText(SaveFailure::TooLarge);
    default:
        return qt_error_string(errnum);
    }
}

FileAccess::WriteResult failed(int errnum)
{
    return {false, reasonFor(errnum ? errnum : EIO)};
}

// Writes everything, or leaves errno telling why not (a write that takes nothing more counts as a full disk).
bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

FileAccess::WriteResult saveInPlace(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return failed(errno);
    const bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    return ok ? FileAccess::WriteResult{true, {}} : failed(error);
}

// The file that `path` (absolute) names once every symbolic link at its end is followed, so that the links of a
// chain stay links; a link to nothing names the file it would make. Empty, with errno set, for a loop.
QByteArray finalTarget(QByteArray path)
{
    for (int hops = 0; hops < 40; ++hops) { // the kernel's own bound
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.constData(), target, sizeof target);
        if (length < 0)
            return path;
        const QByteArray next(target, length);
        path = next.startsWith('/') ? next : path.left(path.lastIndexOf('/') + 1) + next;
    }
    errno = ELOOP;
    return {};
}

// Makes the new file under a name of its own, with `mode` less the umask as the kernel gives any new file (and a
// folder's default access list), without touching the process-wide umask.
int createNew(const QFileInfo& target, mode_t mode, QByteArray& newPath)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        newPath = QFile::encodeName(savingName(target));
        const int fd = ::open(newPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Gives the new file the old one's owner, group and permissions; false when the process may not, and the new
// file would hand the old one over to this process's user.
bool keepOwnerAndMode(int fd, const struct stat& old)
{
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
    // After the owner, since changing the owner clears the set-user-ID bits.
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

} // namespace

int writeRefusal(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return errno;
    // The effective user's rights: those a file made by this process would get.
    if (::faccessat(AT_FDCWD, name.constData(), W_OK, AT_EACCESS) != 0)
        return errno;
    if (::geteuid() == 0 && (st.st_mode & 0222) == 0)
        return EACCES;
    return 0;
}

namespace {

int makeFoldersNamed(const QByteArray& folder)
{
    if (folder.isEmpty() || ::mkdir(folder.constData(), 0777) == 0 || errno == EEXIST)
        return 0;
    if (errno != ENOENT)
        return errno;
    const qsizetype slash = folder.lastIndexOf('/');
    if (slash <= 0)
        return ENOENT;
    if (const int error = makeFoldersNamed(folder.left(slash)))
        return error;
    return ::mkdir(folder.constData(), 0777) == 0 || errno == EEXIST ? 0 : errno;
}

} // namespace

int makeFolders(const QString& folder)
{
    return makeFoldersNamed(QFile::encodeName(folder));
}

FileAccess::WriteResult saveWhole(const QString& path, const QByteArray& bytes)
{
    const QByteArray finalPath = finalTarget(QFile::encodeName(QFileInfo(path).absoluteFilePath()));
    if (finalPath.isEmpty())
        return failed(errno);
    const QFileInfo target(QFile::decodeName(finalPath));
    struct stat old {};
    const bool exists = ::stat(finalPath.constData(), &old) == 0;
    if (exists) {
        if (S_ISDIR(old.st_mode))
            return failed(EISDIR);
        if (!S_ISREG(old.st_mode))
            return {false, saveFailureText(SaveFailure::NotOrdinaryFile)};
        if (const int refusal = writeRefusal(target.filePath()))
            return failed(refusal);
        // A new file under this name would leave the file's other names with the old settings.
        if (old.st_nlink > 1)
            return saveInPlace(finalPath, bytes);
    }
    if (const int error = makeFolders(target.absolutePath()))
        return failed(error);
    removeLeftovers(target);

    QByteArray newPath;
    // Until it has the old file's owner and permissions, the new file is the process's alone.
    const int fd = createNew(target, exists ? 0600 : 0666, newPath);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES && exists)
            return saveInPlace(finalPath, bytes);
        return failed(error);
    }
    if (exists && !keepOwnerAndMode(fd, old)) {
        ::close(fd);
        ::unlink(newPath.constData());
        return saveInPlace(finalPath, bytes);
    }
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(newPath.constData(), finalPath.constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(newPath.constData());
        return failed(error);
    }
    return {true, {}};
}
