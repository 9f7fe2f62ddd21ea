#pragma once

#include "platform/file_access.h"
#include "settings/talk_times.h"

#include <QByteArrayView>
#include <QString>

class SettingsRecord;

/// The settings file's name, beside the program.
inline constexpr char16_t settingsFileName[] = u"Lectern.ini";

/// A settings file is a few hundred bytes; anything larger is not one and is not read at all.
inline constexpr qint64 maxSettingsFileBytes = 64 * 1024;

/// Full path of the settings file in `folder`: one separator between the folder and "Lectern.ini".
QString settingsPath(const QString& folder);

/// Fills the record from the settings file at `path`. A missing, unreadable or broken file leaves every
/// field it does not fully supply as it was; nothing is reported.
void readSettings(const FileAccess& files, const QString& path, SettingsRecord& record);

/// Fills the record from the bytes of a settings file, as readSettings does once it has them.
///
/// The file is read item by item. A line end separates items as a comma does, so one line of the file's
/// table may run on over several lines of the file, but the next one always begins on a line of its own:
/// extra items at the end of a line are passed over. A line of the table is applied only when every item in
/// it reads; when one does not, none of its fields change and reading goes on at the next line of the file.
/// - Times and Booleans given as numbers are plain decimal numbers (sign, digits, one ".", exponent), nothing
///   else in the item; "10分", "ten" and an empty item do not read.
/// - A colour is a whole number from 0 to 16777215 (0x00FFFFFF); a negative or larger number does not read.
/// - A quoted item must close its quote on its own line, and is never taken for a number or a Boolean.
/// - Blank lines before any of the first five lines are passed over; a blank line after the fifth line is no
///   sixth line.
/// A UTF-8 byte-order mark selects UTF-8; otherwise the bytes are code page 932, or UTF-8 when they are not
/// valid code page 932 but valid UTF-8 (a file saved by a text editor). Invalid bytes read as U+FFFD.
void readSettingsBytes(QByteArrayView bytes, SettingsRecord& record);

/// The six CR LF lines of the settings file for these times (minutes, already validated) and the record's
/// wave path, headings, colours and row mode; code page 932, or UTF-8 behind a byte-order mark when some
/// text has no code page 932 form.
///
/// Text is written between double quotes without escapes, so a double quote inside it is written as "＂"
/// (U+FF02) and a line end as a blank: either would otherwise end the item early on reading.
QByteArray settingsFileBytes(const TalkTimes& times, const SettingsRecord& record);

/// Replaces the settings file at `path` whole; on failure the previous file stays and the reason is returned. A
/// file made read-only is not written, even by root.
/// A file larger than the reader accepts (a heading of thousands of characters) is refused, not written, as is an
/// empty path (a user without a home, for whom there is no place to save).
FileAccess::WriteResult writeSettings(FileAccess& files, const QString& path, const TalkTimes& times,
                                      const SettingsRecord& record);
