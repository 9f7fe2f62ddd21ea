#include "platform/system_wall_clock.h"

#include "platform/boot_clock.h"

#include <QDateTime>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

/// Coarse enough that reading the two clocks a moment apart, or the calendar set right by a second or two, seldom
/// moves the instant across a step; fine enough that no two boots, minutes apart at the least, share one.
constexpr double bootInstantStepMs = 10000.0;

} // namespace

SystemWallClock::SystemWallClock()
{
    // Windows keeps no boot id; the instant of the boot on the calendar serves, found as the calendar's now less the
    // boot clock's. The id changes only where the boot clock starts again, so a count saved on this boot reads its
    // instants as they are; should it change in the middle of a boot (the calendar set by hand), a carried-over
    // count is placed by the calendar, as after a restart of the machine.
    const double bootMs = double(nowMs()) - BootClock().now() * 1000.0;
    m_bootId = u"boot-%1"_s.arg(qint64(std::floor(bootMs / bootInstantStepMs)));
}

qint64 SystemWallClock::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}
