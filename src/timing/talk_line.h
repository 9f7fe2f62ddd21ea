#pragma once

#include "timing/count_snapshot.h"

#include <QByteArray>
#include <QTimeZone>

/// The first line of the day's list of talks: a byte-order mark, so that spreadsheet programs read it as UTF-8,
/// and the names of the columns, ending in CR LF.
QByteArray talkListHeader();

/// One talk in the day's list, ending in CR LF: the date, the start (when the count began) and the end in
/// `zone`; the presentation used, the discussion used, the overtime and the time paused, each as h:mm:ss; the
/// presentation, discussion and warning times in force, in minutes. `elapsed` is the count seconds at its end.
QByteArray talkLine(const CountSnapshot& last, double elapsed, qint64 endWallMs,
                    const QTimeZone& zone = QTimeZone::systemTimeZone());
