#include "platform/atomic_save.h"

#include "platform/save_parts.h"
#include "platform/windows/wide_path.h"

#include <QFileInfo>

#include "platform/windows/windows_api.h"

#include <aclapi.h>

#include <algorithm>

namespace {

QString reasonFor(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
        return saveFailureText(SaveFailure::NoPermission);
    case ERROR_WRITE_PROTECT:
        return saveFailureText(SaveFailure::ReadOnlyFileSystem);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return saveFailureText(SaveFailure::DiskFull);
    case ERROR_FILE_TOO_LARGE:
        return saveFailureText(SaveFailure::TooLarge);
    default:
        return qt_error_string(int(error));
    }
}

FileAccess::WriteResult failed(DWORD error)
{
    return {false, reasonFor(error ? error : ERROR_WRITE_FAULT)};
}

// Writes everything, or leaves the last error telling why not (a write that takes nothing counts as a full disk).
bool writeAll(HANDLE file, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = DWORD(std::min<qsizetype>(left, qsizetype(1) << 30));
        if (!::WriteFile(file, data, chunk, &written, nullptr))
            return false;
        if (written == 0) {
            ::SetLastError(ERROR_DISK_FULL);
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

FileAccess::WriteResult saveInPlace(const std::wstring& path, const QByteArray& bytes)
{
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, TRUNCATE_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failed(::GetLastError());
    const bool ok = writeAll(file, bytes) && ::FlushFileBuffers(file);
    const DWORD error = ok ? 0 : ::GetLastError();
    ::CloseHandle(file);
    return ok ? FileAccess::WriteResult{true, {}} : failed(error);
}

// The file that `path` (absolute) names once every symbolic link at its end is followed; empty for a loop.
// Shortcuts (.lnk) are files of their own here, as they are to every other program that opens them.
QString finalTarget(QString path)
{
    for (int hops = 0; hops < 40; ++hops) { // the bound of POSIX kernels, far beyond Windows' own
        const QFileInfo info(path);
        if (!info.isSymbolicLink())
            return path;
        path = info.symLinkTarget();
    }
    return {};
}

// What the system says of the file at `path`; false with `error` set when there is none or it cannot be looked at.
bool lookAt(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& information, DWORD& error)
{
    // No access asked for, only the attributes: a file open elsewhere without sharing can still be looked at.
    const HANDLE file = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return false;
    }
    const bool known = ::GetFileInformationByHandle(file, &information);
    error = known ? 0 : ::GetLastError();
    ::CloseHandle(file);
    return known;
}

HANDLE createNew(const QFileInfo& target, std::wstring& newPath)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        newPath = widePath(savingName(target));
        const HANDLE file = ::CreateFileW(newPath.c_str(), GENERIC_WRITE | WRITE_DAC, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

// Gives the new file the old one's access list and attributes, so that putting it in place hands nothing over;
// false when the process may not. (ReplaceFileW would do this too, but in several steps, with a moment when the old
// file is gone and the new one not yet in place: a kill then would leave no file at all.)
bool keepAccessAndAttributes(HANDLE file, const std::wstring& oldPath, DWORD attributes)
{
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(oldPath.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &access,
                                nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    // What the old file inherited from the folder the new one inherits again; what was its own is copied.
    const SECURITY_INFORMATION which =
        DACL_SECURITY_INFORMATION |
        (control & SE_DACL_PROTECTED ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
    const bool kept =
        ::SetSecurityInfo(file, SE_FILE_OBJECT, which, nullptr, nullptr, access, nullptr) == ERROR_SUCCESS;
    ::LocalFree(descriptor);
    if (!kept)
        return false;
    constexpr DWORD carried =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO basic{}; // times left at zero stay as they are
    basic.FileAttributes = attributes & carried ? attributes & carried : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
}

// Virus scanners, indexers and a reader of the old file hold it open for a moment without letting it be replaced:
// the rename is tried again for at most a tenth of a second, then the file held longer is written in place.
bool replaceWithNew(const std::wstring& newPath, const std::wstring& targetPath)
{
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(newPath.c_str(), targetPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = ::GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 4)
            return false;
        ::Sleep(20);
        ::SetLastError(error);
    }
}

} // namespace

int writeRefusal(const QString& path)
{
    const std::wstring name = widePath(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return int(::GetLastError());
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return ERROR_ACCESS_DENIED;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return 0;
    // The access list decides; opening for writing changes nothing in the file. A file another program holds
    // open is still this user's to write: the save itself tells if it still is when it comes to it.
    const HANDLE file =
        ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_SHARING_VIOLATION ? 0 : int(error);
    }
    ::CloseHandle(file);
    return 0;
}

int makeFolders(const QString& folder)
{
    if (folder.isEmpty())
        return 0;
    const std::wstring name = widePath(folder);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return attributes & FILE_ATTRIBUTE_DIRECTORY ? 0 : ERROR_DIRECTORY;
    if (::CreateDirectoryW(name.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;
    if (::GetLastError() != ERROR_PATH_NOT_FOUND)
        return int(::GetLastError());
    const QString parent = QFileInfo(folder).path();
    if (parent.size() >= folder.size()) // a drive or share that is not there
        return ERROR_PATH_NOT_FOUND;
    if (const int error = makeFolders(parent))
        return error;
    return ::CreateDirectoryW(name.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS
               ? 0
               : int(::GetLastError());
}

FileAccess::WriteResult saveWhole(const QString& path, const QByteArray& bytes)
{
    const QString finalPath = finalTarget(QFileInfo(path).absoluteFilePath());
    if (finalPath.isEmpty())
        return failed(ERROR_CANT_RESOLVE_FILENAME);
    const QFileInfo target(finalPath);
    const std::wstring targetPath = widePath(finalPath);
    BY_HANDLE_FILE_INFORMATION old{};
    DWORD lookError = 0;
    const bool exists = lookAt(targetPath, old, lookError);
    if (!exists && lookError != ERROR_FILE_NOT_FOUND && lookError != ERROR_PATH_NOT_FOUND)
        return failed(lookError);
    if (exists) {
        if (old.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return {false, saveFailureText(SaveFailure::FolderInTheWay)};
        if (old.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
            return {false, saveFailureText(SaveFailure::NotOrdinaryFile)};
        if (const int refusal = writeRefusal(finalPath))
            return failed(DWORD(refusal));
        // A new file under this name would leave the file's other names with the old settings.
        if (old.nNumberOfLinks > 1)
            return saveInPlace(targetPath, bytes);
    }
    if (const int error = makeFolders(target.absolutePath()))
        return failed(DWORD(error));
    removeLeftovers(target);

    std::wstring newPath;
    const HANDLE file = createNew(target, newPath);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED && exists)
            return saveInPlace(targetPath, bytes);
        return failed(error);
    }
    if (exists && !keepAccessAndAttributes(file, targetPath, old.dwFileAttributes)) {
        ::CloseHandle(file);
        ::DeleteFileW(newPath.c_str());
        return saveInPlace(targetPath, bytes);
    }
    bool ok = writeAll(file, bytes) && ::FlushFileBuffers(file);
    DWORD error = ok ? 0 : ::GetLastError();
    ::CloseHandle(file);
    // A rename within the folder: the old file or the new one is there at every moment.
    if (ok && !replaceWithNew(newPath, targetPath)) {
        ok = false;
        error = ::GetLastError();
    }
    if (!ok) {
        ::DeleteFileW(newPath.c_str());
        // A file another program holds open without letting it be replaced may still take the bytes in place.
        if (error == ERROR_ACCESS_DENIED && exists)
            return saveInPlace(targetPath, bytes);
        return failed(error);
    }
    return {true, {}};
}
