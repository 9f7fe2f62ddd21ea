#include "disk_file_access.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {false, file.errorString()};
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return {false, reason};
    }
    if (!file.commit())
        return {false, file.errorString()};
    return {true, {}};
}
