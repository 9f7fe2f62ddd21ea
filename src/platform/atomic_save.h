#pragma once

#include "platform/file_access.h"

#include <QByteArray>
#include <QString>

/// Replaces the file at `path` whole: the bytes go to a new file beside it, are flushed to the disk and renamed
/// over it, so a crash, a kill or a full disk leaves the old file or the new one, never a mix. The folder is made
/// when missing. A writable file in a folder that takes no new file is rewritten in place instead.
///
/// The new file is named ".NAME.saving-XXXXXX", a name nothing else uses, so a save cut short by a kill leaves
/// a file that the next save recognises as its own and removes. The reasons given are in Japanese for the common
/// failures (permission, read-only file system, full disk, a folder in the way, file too large).
FileAccess::WriteResult saveWhole(const QString& path, const QByteArray& bytes);
