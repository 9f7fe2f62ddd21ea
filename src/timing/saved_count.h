#pragma once

#include "timing/count_snapshot.h"

#include <QByteArray>
#include <QString>

#include <optional>

/// How the room was set up around the count, to be set up again when the count is taken up.
struct Room {
    bool fullScreen = false;
    /// The name of the screen the main window was on; empty when not known.
    QString screen;
    bool speakerWindow = false;
    /// The browser view's port; 0 when it was off.
    quint16 servePort = 0;

    bool operator==(const Room&) const = default;
};

/// What the count's file holds: the count as it last stood, whether its line in the day's list of talks is
/// written already (a closed window records the talk and may still be resumed), and the room around it.
struct SavedCount {
    CountSnapshot count;
    bool recorded = false;
    /// The line listed for it, without its number and line end, so that it can be taken back when the talk goes
    /// on; empty when unknown.
    QByteArray listedLine;
    Room room;

    bool operator==(const SavedCount&) const = default;
};

/// The file's text: a first line naming the format and its version, then one "key=value" line for each field,
/// numbers in a form read back to the same value.
QByteArray savedCountBytes(const SavedCount& saved);

/// The count back from a file of savedCountBytes; nothing for a file of another format or version, one cut short,
/// larger than a few kilobytes, missing a field, repeating one, or holding a value out of its range. Keys it does
/// not know are passed over; those of the room, of what was listed and of how the count was used may be missing
/// (files of earlier versions), and read as nothing of the kind.
std::optional<SavedCount> savedCountFromBytes(const QByteArray& bytes);

/// The most bytes a count's file is read with.
inline constexpr qint64 savedCountMaxBytes = 4096;
