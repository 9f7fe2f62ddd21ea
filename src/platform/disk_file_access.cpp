#include "platform/disk_file_access.h"

#include "platform/log_categories.h"

#include "build_info.h"
#include "platform/atomic_save.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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

namespace {

// The program's folder under an XDG base folder: `variable` when it holds an absolute path (a relative one counts as
// unset, as the XDG rules say), else `underHome` in the home folder. An unset HOME is no home: Qt would take "/"
// and make "//.config/Lectern", which root could create.
QString xdgFolder(const char* variable, const QString& underHome)
{
    QString base = qEnvironmentVariable(variable);
    if (!QDir::isAbsolutePath(base)) {
        const QString home = qEnvironmentVariable("HOME");
        if (!QDir::isAbsolutePath(home) || !QFileInfo(home).isDir())
            return {};
        base = home + u'/' + underHome;
    }
    return QDir::cleanPath(base + u'/' + QString::fromUtf16(programName));
}

} // namespace

QString DiskFileAccess::userSettingsFolder() const
{
    return xdgFolder("XDG_CONFIG_HOME", u".config"_s);
}

QString DiskFileAccess::userStateFolder() const
{
    return xdgFolder("XDG_STATE_HOME", u".local/state"_s);
}

QString DiskFileAccess::userDataFolder() const
{
    return xdgFolder("XDG_DATA_HOME", u".local/share"_s);
}

bool DiskFileAccess::isWritable(const QString& path) const
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    // The kernel is asked, so a read-only mount and the process's own rights are both taken into account; a file
    // is judged as the save judges it.
    if (info.isDir())
        return ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
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
