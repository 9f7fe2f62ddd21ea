#pragma once

#include <QString>
#include <QStringList>

/// Libraries the program loads itself when they are first needed, and keeps loaded for the run: the system's
/// dynamic loader behind one face.
namespace loadable_library {

/// This system's file names of libsndfile, of SDL and of the browser view's module.
extern const char sndfileFile[];
extern const char sdlFile[];
extern const char webViewFile[];

/// Where the program's own modules are, the first place first.
QStringList moduleFolders();

/// Opens a library by its file name where this system keeps the program's libraries. Null, with `why` set to the
/// loader's words, when it cannot be loaded.
void* open(const char* fileName, QString* why);
/// Opens the library at the full `path`; null, with `why` set, when it cannot be loaded.
void* openPath(const QString& path, QString* why);
/// The function `name` of an open library; null, with `why` set, when the library has none.
void* find(void* library, const char* name, QString* why);

} // namespace loadable_library
