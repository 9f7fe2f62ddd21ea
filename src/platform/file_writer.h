#pragma once

#include <QByteArray>
#include <QString>

/// Files written away from the caller: each call hands the bytes over and returns at once, whatever the file
/// system does. A failure is logged under lectern.files; the caller never hears of it.
class FileWriter {
public:
    virtual ~FileWriter() = default;
    /// Replaces the file whole, as saveWhole() does. Of the replacements of one file not yet begun only the
    /// latest is written.
    virtual void replaceWhole(const QString& path, const QByteArray& bytes) = 0;
    /// Appends `line` with a single write() on a descriptor opened with O_APPEND, so that lines from several
    /// writers never mix; `header` goes before it, in the same write, when the file is new or empty. The folder
    /// is made when missing. Lines are written in the order given.
    virtual void appendLine(const QString& path, const QByteArray& line, const QByteArray& header) = 0;
};
