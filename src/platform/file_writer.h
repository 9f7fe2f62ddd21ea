#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

/// Files written away from the caller: each call hands the work over and returns at once, whatever the file
/// system does. A failure is logged under lectern.files; the caller never hears of it.
class FileWriter {
public:
    /// Makes the line to append from the last few kilobytes of the file as it stands (empty for a new file).
    using LineComposer = std::function<QByteArray(const QByteArray& tail)>;
    /// Whether the file's last line (without its line end) is the one to take back.
    using LineMatcher = std::function<bool(const QByteArray& lastLine)>;

    virtual ~FileWriter() = default;
    /// Replaces the file whole, as saveWhole() does. Of the replacements of one file not yet begun only the
    /// latest is written.
    virtual void replaceWhole(const QString& path, const QByteArray& bytes) = 0;
    /// Appends the line `compose` makes, under an exclusive lock of the file (flock(); LockFileEx() on Windows), so
    /// that other writers (another copy of the program) neither mix their lines with it nor compose from the same
    /// tail; `header` goes before it when the file is new or empty. The line is written whole or not at all: a write
    /// cut short (a full disk) is truncated back. The folder is made when missing. Lines are written in the order
    /// given.
    virtual void appendLine(const QString& path, const LineComposer& compose, const QByteArray& header) = 0;
    /// Truncates the file back by its last line when `matches` says it is the one to take back; anything else
    /// at its end leaves the file alone. In order with the appended lines.
    virtual void withdrawLastLine(const QString& path, const LineMatcher& matches) = 0;
};
