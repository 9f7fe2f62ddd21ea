#include "platform/locked_file.h"

#include "platform/windows/wide_path.h"

#include "platform/windows/windows_api.h"

#include <algorithm>

namespace {

HANDLE handleOf(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

OVERLAPPED at(std::int64_t offset)
{
    OVERLAPPED position{};
    position.Offset = DWORD(std::uint64_t(offset) & 0xFFFFFFFFu);
    position.OffsetHigh = DWORD(std::uint64_t(offset) >> 32);
    return position;
}

// A piece of at most 1 GiB, which a DWORD always holds.
DWORD piece(std::int64_t left)
{
    return DWORD(std::min<std::int64_t>(left, std::int64_t(1) << 30));
}

} // namespace

LockedFile::LockedFile(const QString& path, bool create)
{
    // Shared for reading and writing: the lock, not the sharing mode, keeps other writers out, and a reader (a
    // spreadsheet with the list open) does not make the count fail.
    const HANDLE file = ::CreateFileW(widePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        m_openError = int(::GetLastError());
        return;
    }
    // The whole file and anything it may grow to; without LOCKFILE_FAIL_IMMEDIATELY this waits for the lock.
    OVERLAPPED whole = at(0);
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        m_openError = int(::GetLastError());
        ::CloseHandle(file);
        return;
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
}

LockedFile::~LockedFile()
{
    close();
}

bool LockedFile::missing() const
{
    return m_openError == ERROR_FILE_NOT_FOUND || m_openError == ERROR_PATH_NOT_FOUND;
}

std::int64_t LockedFile::size(int& error) const
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handleOf(m_handle), &size)) {
        error = int(::GetLastError());
        return -1;
    }
    return size.QuadPart;
}

int LockedFile::readAt(std::int64_t offset, char* out, std::int64_t count) const
{
    for (std::int64_t got = 0; got < count;) {
        OVERLAPPED position = at(offset + got);
        DWORD n = 0;
        if (!::ReadFile(handleOf(m_handle), out + got, piece(count - got), &n, &position))
            return int(::GetLastError());
        if (n == 0)
            return ERROR_HANDLE_EOF;
        got += n;
    }
    return 0;
}

int LockedFile::append(const QByteArray& bytes)
{
    // Under the lock the end stays where it is found.
    int error = 0;
    const std::int64_t end = size(error);
    if (end < 0)
        return error;
    for (qsizetype done = 0; done < bytes.size();) {
        OVERLAPPED position = at(end + done);
        DWORD n = 0;
        if (!::WriteFile(handleOf(m_handle), bytes.constData() + done, piece(bytes.size() - done), &n, &position))
            return int(::GetLastError());
        if (n == 0)
            return ERROR_DISK_FULL;
        done += n;
    }
    return 0;
}

int LockedFile::truncate(std::int64_t size)
{
    LARGE_INTEGER end{};
    end.QuadPart = size;
    if (!::SetFilePointerEx(handleOf(m_handle), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(handleOf(m_handle)))
        return int(::GetLastError());
    return 0;
}

int LockedFile::close()
{
    if (m_handle == -1)
        return 0;
    const HANDLE file = handleOf(m_handle);
    m_handle = -1;
    // Unlocked before closing: the system frees the locks of a closed handle only when it gets round to it.
    OVERLAPPED whole = at(0);
    ::UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    return ::CloseHandle(file) ? 0 : int(::GetLastError());
}
