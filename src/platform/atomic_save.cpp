#include "platform/atomic_save.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString reasonFor(int errnum)
{
    switch (errnum) {
    case EACCES:
    case EPERM:
        return u"書き込む権限がありません"_s;
    case EROFS:
        return u"読み取り専用のファイルシステムです"_s;
    case ENOSPC:
    case EDQUOT:
        return u"ディスクの空き容量が足りません"_s;
    case EISDIR:
        return u"同じ名前のフォルダーがあります"_s;
    case EFBIG:
        return u"ファイルが大きすぎます"_s;
    default:
        return qt_error_string(errnum);
    }
}

FileAccess::WriteResult failed(int errnum)
{
    return {false, reasonFor(errnum ? errnum : EIO)};
}

QString savingPrefix(const QFileInfo& target)
{
    return u'.' + target.fileName() + u".saving-"_s;
}

// Leftovers of saves that were killed between writing the new file and renaming it.
void removeLeftovers(const QFileInfo& target)
{
    const QDir folder = target.absoluteDir();
    const QStringList names =
        folder.entryList({savingPrefix(target) + u"??????"_s}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names)
        QFile::remove(folder.filePath(name));
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

// The new file takes the old one's permissions, or the usual ones for a new file.
mode_t modeFor(const QByteArray& path)
{
    struct stat old {};
    if (::stat(path.constData(), &old) == 0)
        return old.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
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

} // namespace

FileAccess::WriteResult saveWhole(const QString& path, const QByteArray& bytes)
{
    QFileInfo target(path);
    // A link is followed, so that the file it names is replaced and the link stays.
    if (target.isSymLink())
        target = QFileInfo(target.symLinkTarget());
    if (target.isDir())
        return failed(EISDIR);
    QDir().mkpath(target.absolutePath());
    removeLeftovers(target);

    const QByteArray finalPath = QFile::encodeName(target.absoluteFilePath());
    QByteArray newPath = QFile::encodeName(target.absoluteDir().filePath(savingPrefix(target) + u"XXXXXX"_s));
    const int fd = ::mkostemp(newPath.data(), O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES && target.isFile() && ::access(finalPath.constData(), W_OK) == 0)
            return saveInPlace(finalPath, bytes);
        return failed(error);
    }
    bool ok = ::fchmod(fd, modeFor(finalPath)) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
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
