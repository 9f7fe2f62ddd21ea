#pragma once

#include "platform/file_access.h"

#include <QByteArray>
#include <QString>

/// Replaces the file at `path` whole: the bytes go to a new file beside it, are flushed to the disk and put in its
/// place (rename(2); MoveFileExW on Windows, written through), so a crash, a kill or a full disk leaves
/// the old file or the new one, never a mix. The folder is made when missing. Symbolic links are followed to the
/// file at the end of the chain, which is the one replaced; the new file takes the old one's owner, group and
/// permissions (on Windows its attributes and access list). A file the process may not write is refused whatever
/// its folder allows; on Windows that includes a file marked read-only. The file is rewritten in place instead
/// when it has other names (a hard link), when its folder takes no new file, when its owner and group (its access
/// list on Windows) cannot be given to the new file, or, on Windows, when another program holds it open against
/// being replaced.
///
/// The new file is named ".NAME.saving-XXXXXX", a name nothing else uses, so a save cut short by a kill leaves
/// a file that the next save recognises as its own and removes. The reasons given are in Japanese for the common
/// failures (permission, read-only file system, full disk, a folder in the way, file too large), the same on
/// every system; the others in the system's words.
FileAccess::WriteResult saveWhole(const QString& path, const QByteArray& bytes);

/// Error codes below are the system's own: errno values, GetLastError() values on Windows; qt_error_string()
/// reads either on its own system.

/// Why this process may not change the file at `path`, or 0 when it may. Root may write any file, but one that
/// no one may write was made read-only on purpose and counts as not writable; so does a file marked read-only on
/// Windows.
int writeRefusal(const QString& path);

/// Makes the folder `folder` and those above it that are missing; 0 when it is there, else the error of the one
/// that could not be made, so that a folder that cannot be made (read-only, no permission, a file in the way) is
/// not reported as a missing file.
int makeFolders(const QString& folder);
