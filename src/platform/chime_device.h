#pragma once

#include <QString>

/// The sound device the chime player drives: the few operations of a multimedia control and nothing more.
/// Every command returns at once; playback runs in the background and is seen only through mode().
class ChimeDevice {
public:
    enum class Mode { NotOpen, Idle, Busy };
    /// Why the last open() or play() left the device NotOpen.
    enum class Failure { None, NoSuchFile, Unreadable, NotSound, TooLong, NoOutput };

    virtual ~ChimeDevice() = default;
    virtual Mode mode() = 0;
    /// Stops any playback and releases the file.
    virtual void close() = 0;
    virtual void setFileName(const QString& path) = 0;
    /// Opens the named file; an empty name opens the built-in bell. A device that reads the file in the background
    /// reads Busy meanwhile. Failure shows only as Mode::NotOpen.
    virtual void open() = 0;
    /// Puts the play position back to the start of the file ("Prev").
    virtual void rewind() = 0;
    virtual void play() = 0;
    /// A play is due within seconds: a device that loads its output on first use may start doing so now, in the
    /// background, so the play starts on time.
    virtual void prepare() {}

    virtual Failure failure() const = 0;
    /// The audio system's own words when no output could be opened (Failure::NoOutput).
    virtual QString outputError() const = 0;
};
