#include "platform/system_folders.h"

#include "build_info.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

using namespace Qt::StringLiterals;

QString system_folders::program()
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

QString system_folders::userSettings()
{
    return xdgFolder("XDG_CONFIG_HOME", u".config"_s);
}

QString system_folders::userState()
{
    return xdgFolder("XDG_STATE_HOME", u".local/state"_s);
}

QString system_folders::userData()
{
    return xdgFolder("XDG_DATA_HOME", u".local/share"_s);
}

bool system_folders::mayCreateIn(const QString& folder)
{
    // The kernel is asked, so a read-only mount and the process's own rights are both taken into account.
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}
