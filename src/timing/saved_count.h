#pragma once

#include "timing/count_snapshot.h"

#include <QByteArray>

#include <optional>

/// What the count's file holds: the count as it last stood, and whether its line in the day's list of talks is
/// written already (a closed window records the talk and may still be resumed).
struct SavedCount {
    CountSnapshot count;
    bool recorded = false;

    bool operator==(const SavedCount&) const = default;
};

/// The file's text: a first line naming the format and its version, then one "key=value" line for each field,
/// numbers in a form read back to the same value.
QByteArray savedCountBytes(const SavedCount& saved);

/// The count back from a file of savedCountBytes; nothing for a file of another format or version, one cut short,
/// larger than a few kilobytes, missing a field, repeating one, or holding a value out of its range. Keys it does
/// not know are passed over.
std::optional<SavedCount> savedCountFromBytes(const QByteArray& bytes);

/// The most bytes a count's file is read with.
inline constexpr qint64 savedCountMaxBytes = 4096;
