#include "platform/system_folders.h"

#include "build_info.h"
#include "platform/windows/wide_path.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "platform/windows/windows_api.h"

#include <shlobj.h>

#include <string>

using namespace Qt::StringLiterals;

namespace {

QString fromWide(const wchar_t* text, qsizetype length = -1)
{
    return QDir::fromNativeSeparators(QString::fromWCharArray(text, length));
}

// The program's folder under one of the user's known folders; empty when the system has none for this user.
QString knownFolder(const KNOWNFOLDERID& id)
{
    PWSTR path = nullptr;
    const HRESULT found = ::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path);
    const QString base = SUCCEEDED(found) && path ? fromWide(path) : QString();
    ::CoTaskMemFree(path); // owed even when the call failed
    if (base.isEmpty())
        return {};
    return QDir::cleanPath(base + u'/' + QString::fromUtf16(programName));
}

} // namespace

QString system_folders::program()
{
    // The name grows until it fits: a folder deep enough may pass MAX_PATH.
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (length == 0)
            return QCoreApplication::applicationDirPath();
        if (length < name.size()) {
            const QString exe = fromWide(name.data(), length);
            const QString real = QFileInfo(exe).canonicalFilePath(); // a symbolic link's target; empty when not there
            return QFileInfo(real.isEmpty() ? exe : real).absolutePath();
        }
        if (name.size() >= 32768) // the longest path the system has
            return QCoreApplication::applicationDirPath();
        name.resize(name.size() * 2);
    }
}

QString system_folders::userSettings()
{
    // Roaming: settings follow the user to another machine of a domain.
    return knownFolder(FOLDERID_RoamingAppData);
}

QString system_folders::userState()
{
    return knownFolder(FOLDERID_LocalAppData);
}

QString system_folders::userData()
{
    return knownFolder(FOLDERID_LocalAppData);
}

bool system_folders::mayCreateIn(const QString& folder)
{
    // A folder's read-only mark means nothing to Windows, and its access list is best judged by the system
    // itself: a file is made, and gone again when closed.
    const std::wstring probe = widePath(QDir(folder).filePath(u".lectern-probe-%1"_s.arg(::GetCurrentProcessId())));
    const HANDLE file =
        ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_FILE_EXISTS; // another thread's probe, in a folder that takes files
    ::CloseHandle(file);
    return true;
}
