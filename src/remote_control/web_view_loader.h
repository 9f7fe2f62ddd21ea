#pragma once

#include "web_view/web_view.h"

#include <QStringList>

/// Where the program's modules are: the library folder beside the program's as a package or the portable archive
/// installs them, then the program's own folder (the build tree).
QStringList moduleFolders();

/// The browser view module's entry, from the first of `folders` that holds the module, which stays loaded for the
/// run. Null, with `why` set, when it cannot be loaded.
StartWebView* loadWebView(const QStringList& folders, QString* why);
