#pragma once

#include "platform/file_access.h"

#include <QByteArray>
#include <QString>

/// Replaces the file at `path` whole: the bytes go to a new file beside it, are flushed to the disk and renamed
/// over it, so a crash, a kill or a full disk leaves the old file or the new one, never a mix. The folder is made
/// when missing. Symbolic links are followed to the file at the end of the chain, which is the one replaced; the
/// new file takes the old one's owner, group and permissions. A file the process may not write is refused
/// whatever its folder allows. The file is rewritten in place instead when it has other names (a hard link),
/// when its folder takes no new file, or when its owner or group cannot be given to the new file.
///
/// The new file is named ".NAME.saving-XXXXXX", a name nothing else uses, so a save cut short by a kill leaves
/// a file that the next save recognises as its own and removes. The reasons given are in Japanese for the common
/// failures (permission, read-only file system, full disk, a folder in the way, file too large).
FileAccess::WriteResult saveWhole(const QString& path, const QByteArray& bytes);

/// Why this process may not change the file at `path` (an errno value), or 0 when it may. Root may
/// write any file, but one that no one may write was made read-only on purpose and counts as not writable.
int writeRefusal(const QString& path);

/// Makes the folder `folder` and those above it that are missing; 0 when it is there, else the errno of the mkdir
/// that failed, so that a folder that cannot be made (read-only, no permission) is not reported as a missing file.
int makeFolders(const QByteArray& folder);
