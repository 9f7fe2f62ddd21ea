#include "platform/disk_file_access.h"

#include "platform/log_categories.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

using namespace Qt::StringLiterals;

QString DiskFileAccess::programFolder() const
{
    // /proc/self/exe names the real program even when it was started through a symbolic link.
    const QString exe = QFileInfo(u"/proc/self/exe"_s).canonicalFilePath();
    if (!exe.isEmpty())
        return QFileInfo(exe).absolutePath();
    return QCoreApplication::applicationDirPath();
}

std::optional<QByteArray> DiskFileAccess::readOrdinaryFile(const QString& path, qint64 maxBytes) const
{
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    if (!info.isFile()) {
        qCWarning(lcFiles, "not read, not an ordinary file: %s", qUtf8Printable(path));
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcFiles, "cannot read %s: %s", qUtf8Printable(path), qUtf8Printable(file.errorString()));
        return std::nullopt;
    }
    // Read one byte past the bound so an oversized file is noticed even when its size was reported wrongly.
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        qCWarning(lcFiles, "cannot read %s: %s", qUtf8Printable(path), qUtf8Printable(file.errorString()));
        return std::nullopt;
    }
    if (bytes.size() > maxBytes) {
        qCWarning(lcFiles, "not read, larger than %lld bytes: %s", qlonglong(maxBytes), qUtf8Printable(path));
        return std::nullopt;
    }
    return bytes;
}

FileAccess::WriteResult DiskFileAccess::writeWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
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
