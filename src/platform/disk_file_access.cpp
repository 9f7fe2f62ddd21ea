#include "disk_file_access.h"

#include "build_info.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>

#include <unistd.h>

using namespace Qt::StringLiterals;

QString DiskFileAccess::programFolder() const
{
    // /proc/self/exe names the real program even when it was started through a symbolic link.
    const QString exe = QFileInfo(u"/proc/self/exe"_s).canonicalFilePath();
    if (!exe.isEmpty())
        return QFileInfo(exe).absolutePath();
    return QCoreApplication::applicationDirPath();
}

QString DiskFileAccess::userSettingsFolder() const
{
    // The generic folder, not AppConfigLocation: that one depends on the application's and organisation's names.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' +
           QString::fromUtf16(programName);
}

bool DiskFileAccess::isWritable(const QString& path) const
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    // access() asks the kernel, so a read-only mount and the process's own rights are both taken into account.
    const int mode = info.isDir() ? W_OK | X_OK : W_OK;
    return ::access(QFile::encodeName(path).constData(), mode) == 0;
}

bool DiskFileAccess::isOrdinaryFile(const QString& path) const
{
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

std::optional<QByteArray> DiskFileAccess::readOrdinaryFile(const QString& path, qint64 maxBytes) const
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Read one byte past the bound so an oversized file is noticed even when its size was reported wrongly.
    QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes || file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

FileAccess::WriteResult DiskFileAccess::writeWhole(const QString& path, const QByteArray& bytes)
{
    // The per-user settings folder does not exist before the first save; a failure shows at open().
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    // An atomic save needs a new file in the folder; a writable file in a read-only folder is saved in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return {false, file.errorString()};
    errno = 0;
    const qint64 written = file.write(bytes);
    const int writeErrno = errno;
    // Qt counts a write cut short by a full disk or a file-size limit as whole: the call after the short
    // write fails, and that failure is dropped. The size on disk tells, before commit() puts the file in place.
    if (written != bytes.size() || file.size() != bytes.size()) {
        const QString reason =
            file.error() != QFileDevice::NoError ? file.errorString() : qt_error_string(writeErrno ? writeErrno : EIO);
        file.cancelWriting();
        return {false, reason};
    }
    if (!file.commit())
        return {false, file.errorString()};
    return {true, {}};
}
