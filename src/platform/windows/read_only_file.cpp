#include "platform/read_only_file.h"

#include "platform/windows/wide_path.h"

#include "platform/windows/windows_api.h"

#include <algorithm>

namespace {

HANDLE handleOf(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

ReadOnlyFile::~ReadOnlyFile()
{
    if (m_handle != -1)
        ::CloseHandle(handleOf(m_handle));
}

ReadOnlyFile::Failure ReadOnlyFile::open(const QString& path)
{
    // Shared every way, so that the user may replace the bell while a count holds it open. A pipe's server that
    // is busy answers at once (ERROR_PIPE_BUSY) rather than keeping the caller waiting.
    const HANDLE file =
        ::CreateFileW(widePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME
                   ? Failure::Missing
                   : Failure::Unreadable;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))) {
        ::CloseHandle(file);
        return Failure::Unreadable;
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return Failure::None;
}

bool ReadOnlyFile::stamp(Stamp& now) const
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(handleOf(m_handle), &information))
        return false;
    const auto join = [](DWORD high, DWORD low) {
        return std::int64_t((std::uint64_t(high) << 32) | low);
    };
    // The last write time counts in 100 ns steps: nothing finer to keep.
    now = {join(information.nFileSizeHigh, information.nFileSizeLow),
           join(information.ftLastWriteTime.dwHighDateTime, information.ftLastWriteTime.dwLowDateTime), 0};
    return true;
}

std::int64_t ReadOnlyFile::readAt(std::int64_t offset, void* out, std::int64_t count) const
{
    std::int64_t done = 0;
    while (done < count) {
        OVERLAPPED position{};
        position.Offset = DWORD(std::uint64_t(offset + done) & 0xFFFFFFFFu);
        position.OffsetHigh = DWORD(std::uint64_t(offset + done) >> 32);
        DWORD n = 0;
        const DWORD piece = DWORD(std::min<std::int64_t>(count - done, std::int64_t(1) << 30));
        // Reading past the end fails with ERROR_HANDLE_EOF rather than giving nothing: either way it ends here.
        if (!::ReadFile(handleOf(m_handle), static_cast<char*>(out) + done, piece, &n, &position) || n == 0)
            break;
        done += n;
    }
    return done;
}
