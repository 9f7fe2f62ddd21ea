#pragma once

#include "timing/count_snapshot.h"

#include <QByteArray>
#include <QTimeZone>

/// A count shorter than this, in count seconds, is never a talk.
inline constexpr double talkLeastSeconds = 10.0;

/// Whether a count that ended at `elapsed` count seconds is a talk, to be listed: it ran at least
/// talkLeastSeconds, and the chair started it with a restart, used a command on it, or it reached its warning
/// time (the end of the presentation when there is no warning). Never a rehearsal.
bool isTalk(const CountSnapshot& count, double elapsed);

/// The first line of the day's list of talks: a byte-order mark, so that spreadsheet programs read it as UTF-8,
/// and the names of the columns, ending in CR LF.
QByteArray talkListHeader();

/// One talk in the day's list, without its number and line end: the date, the start (the instant the count runs
/// from: when it began, less the chair's moves) and the end in `zone`; the presentation used, the discussion used,
/// the overtime and the time paused, each as h:mm:ss; the presentation, discussion and warning times in force, in
/// minutes. `elapsed` is the count seconds at its end.
QByteArray talkLine(const CountSnapshot& last, double elapsed, qint64 endWallMs,
                    const QTimeZone& zone = QTimeZone::systemTimeZone());

/// `line` of talkLine numbered after the talks the list ends with, ending in CR LF. `tail` is the list's last few
/// kilobytes: the last line of the same date gives its number plus one (a line written without a number, the count
/// of that date's lines in the tail plus one); a line of another date, or none, gives 1.
QByteArray numberedTalkLine(const QByteArray& line, const QByteArray& tail);

/// Whether `lastLine` (without its line end) is `line` of talkLine with a number added.
bool isNumberedLine(const QByteArray& lastLine, const QByteArray& line);
