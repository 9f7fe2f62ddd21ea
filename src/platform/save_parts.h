#pragma once

#include <QFileInfo>
#include <QString>

/// What every system's saveWhole() shares: the reasons the user reads, and the names of the new files.

/// The failures a save explains in words of its own rather than the system's.
enum class SaveFailure {
    NoPermission,
    ReadOnlyFileSystem,
    DiskFull,
    FolderInTheWay,
    TooLarge,
    NotOrdinaryFile,
};

QString saveFailureText(SaveFailure failure);

/// A name for the new file beside `target`, one no other program uses: ".NAME.saving-" and six random letters.
QString savingName(const QFileInfo& target);

/// Removes what saves of `target` left when they were killed between writing the new file and putting it in place.
void removeLeftovers(const QFileInfo& target);
