#include "platform/loadable_library.h"

#include "build_info.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <dlfcn.h>

namespace loadable_library {

extern const char sndfileFile[] = "libsndfile.so.1";
extern const char sdlFile[] = "libSDL2-2.0.so.0";
extern const char webViewFile[] = "liblectern_web_view.so";

namespace {

QString loaderError(const char* fallback)
{
    const char* why = ::dlerror();
    return QString::fromLocal8Bit(why ? why : fallback);
}

void* openNamed(const char* name, QString* why)
{
    // Local: nothing else in the program resolves against these; now: a missing symbol shows here, not mid-bell.
    void* handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        *why = loaderError(name);
    return handle;
}

} // namespace

QStringList moduleFolders()
{
    // The library folder beside the program's, as a package installs it, then the program's own (the build tree).
    const QString programFolder = QCoreApplication::applicationDirPath();
    return {QDir::cleanPath(programFolder + u'/' + QString::fromUtf16(moduleFolderFromProgram)), programFolder};
}

void* open(const char* fileName, QString* why)
{
    // By name: the system's libraries are where its loader looks.
    return openNamed(fileName, why);
}

void* openPath(const QString& path, QString* why)
{
    return openNamed(QFile::encodeName(path).constData(), why);
}

void* find(void* library, const char* name, QString* why)
{
    void* symbol = ::dlsym(library, name);
    if (!symbol)
        *why = loaderError(name);
    return symbol;
}

} // namespace loadable_library
