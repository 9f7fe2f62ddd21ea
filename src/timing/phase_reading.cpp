#include "timing/phase_reading.h"

#include "settings/settings_record.h"
#include "timing/count_pattern.h"
#include "timing/shown_rows.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The share of a span of `length` seconds that `into` seconds have used; a span of no length is used up.
double share(double into, double length)
{
    if (!(length > 0.0))
        return 1.0;
    return std::clamp(into / length, 0.0, 1.0);
}

} // namespace

PhaseReading readPhase(const CountState& state, const CountSnapshot& ends, const RowsView& rows,
                       const SettingsRecord& settings)
{
    PhaseReading out;
    const double now = state.elapsed;
    // The lower row turns to the next period a second early, as the count writes it.
    if (now < ends.presenEnd - 1.0) {
        out.heading = settings.heading(2);
        out.remainingSeconds = roundHalfEven(ends.presenEnd - now);
        out.used = share(now, ends.presenEnd);
    } else if (now < ends.discussEnd - 1.0) {
        out.heading = settings.heading(3);
        out.remainingSeconds = roundHalfEven(ends.discussEnd - now);
        out.used = share(now - ends.presenEnd, ends.discussEnd - ends.presenEnd);
    } else {
        out.heading = settings.heading(4);
        out.remainingSeconds = roundHalfEven(now - ends.discussEnd);
        out.overtime = true;
        out.used = 1.0;
    }
    out.remainingSeconds = std::max<qint64>(0, out.remainingSeconds);
    out.elapsedHeading = settings.heading(1);
    out.elapsedSeconds = std::max<qint64>(0, roundHalfEven(now));
    out.foreground = rows.lowerForeground;
    out.background = rows.lowerBackground;
    out.paused = state.paused;
    return out;
}

QString clockText(qint64 seconds, bool overrun)
{
    seconds = std::max<qint64>(0, seconds);
    return u"%1%2:%3"_s.arg(overrun ? u"+"_s : QString()).arg(seconds / 60).arg(seconds % 60, 2, 10, QChar(u'0'));
}
