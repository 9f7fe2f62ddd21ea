#include "platform/loadable_library.h"

#include "platform/windows/windows_api.h"

#include <QDir>

#include <string>

using namespace Qt::StringLiterals;

namespace loadable_library {

extern const char sndfileFile[] = "libsndfile.dll";
extern const char sdlFile[] = "SDL2.dll";
extern const char webViewFile[] = "lectern_web_view.dll";

namespace {

/// The running program's folder, asked of the system: any thread may ask, before or without a QCoreApplication.
QString programFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const QString file = QString::fromStdWString(path);
    return file.left(file.lastIndexOf(u'\\'));
}

/// The system's words for an error, in the user's language.
QString systemWords(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || !text)
        return u"error %1"_s.arg(error);
    const QString words = QString::fromWCharArray(text, int(length)).trimmed();
    LocalFree(text);
    return words;
}

} // namespace

QStringList moduleFolders()
{
    // The portable folder and the installed one alike keep the modules beside the program.
    return {QDir::fromNativeSeparators(programFolder())};
}

void* open(const char* fileName, QString* why)
{
    // Only from the program's own folder: never the current folder, nor whatever else is on PATH.
    return openPath(programFolder() + u'\\' + QString::fromLatin1(fileName), why);
}

void* openPath(const QString& path, QString* why)
{
    // The library's own folder first for what it needs in turn (the codecs beside libsndfile, Qt beside the view's
    // module), then the system's; the current folder never. Both flags want a full path with backslashes.
    const QString native = QDir::toNativeSeparators(QDir::cleanPath(path));
    HMODULE library = LoadLibraryExW(reinterpret_cast<const wchar_t*>(native.utf16()), nullptr,
                                     LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!library)
        *why = u"%1: %2"_s.arg(native, systemWords(GetLastError()));
    return library;
}

void* find(void* library, const char* name, QString* why)
{
    void* symbol = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
    if (!symbol)
        *why = u"%1: %2"_s.arg(QString::fromLatin1(name), systemWords(GetLastError()));
    return symbol;
}

} // namespace loadable_library
