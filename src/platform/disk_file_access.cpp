#include "platform/disk_file_access.h"

#include "platform/atomic_save.h"
#include "platform/log_categories.h"
#include "platform/system_folders.h"

#include <QFile>
#include <QFileInfo>

QString DiskFileAccess::programFolder() const
{
    return system_folders::program();
}

QString DiskFileAccess::userSettingsFolder() const
{
    return system_folders::userSettings();
}

QString DiskFileAccess::userStateFolder() const
{
    return system_folders::userState();
}

QString DiskFileAccess::userDataFolder() const
{
    return system_folders::userData();
}

bool DiskFileAccess::isWritable(const QString& path) const
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    // The system is asked, so a read-only mount and the process's own rights are both taken into account; a file
    // is judged as the save judges it.
    if (info.isDir())
        return system_folders::mayCreateIn(path);
    return writeRefusal(path) == 0;
}

bool DiskFileAccess::isOrdinaryFile(const QString& path) const
{
    const QFileInfo info(path);
    return info.exists() && info.isFile();
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
    return saveWhole(path, bytes);
}
