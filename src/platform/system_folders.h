#pragma once

#include <QString>

/// The folders the system gives the program, and whether it lets this process make files in one; one
/// implementation per system. Paths use '/' as Qt's do. FileAccess tells what each folder is for.
namespace system_folders {

/// The folder holding the running executable, links resolved where they can be.
QString program();
/// The per-user folders under which the program keeps its settings, its state and its records, with the
/// program's own name at the end; empty when the system names none.
QString userSettings();
QString userState();
QString userData();
/// Whether this process may make files in the existing folder `folder`.
bool mayCreateIn(const QString& folder);

} // namespace system_folders
