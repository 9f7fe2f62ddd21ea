#pragma once

#include "web_view/web_view.h"

#include <QStringList>

/// The browser view module's entry, from the first of `folders` that holds the module, which stays loaded for the
/// run. Null, with `why` set, when it cannot be loaded.
StartWebView* loadWebView(const QStringList& folders, QString* why);
