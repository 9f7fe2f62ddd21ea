#include "timing/count_pattern.h"

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

// Width of the one-line heading column in half-width cells: eight full-width characters.
constexpr qsizetype headingCells = 16;

} // namespace

CountPattern::CountPattern(const QString& pattern)
{
    // A left-to-right scan: in "nnn" the first two letters are the field and the third is copied, the same
    // result as replacing every "nn" and then every "ss" in turn, since the digits written hold neither letter.
    m_zero.reserve(pattern.size());
    const qsizetype size = pattern.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = pattern.at(i);
        if ((c == u'n' || c == u's') && i + 1 < size && pattern.at(i + 1) == c) {
            m_fields.push_back({m_zero.size(), c == u'n'});
            m_zero.append(u"00");
            ++i;
        } else {
            m_zero.append(c);
        }
    }
}

CountPattern CountPattern::oneLine(const QString& heading)
{
    // A heading past eight full-width characters gets no fill at all rather than a negative amount; it then
    // pushes the time to the right instead of losing any of its own characters.
    const qsizetype fill = std::max<qsizetype>(0, headingCells - 2 * heading.size());
    return CountPattern(heading + QString(fill, u' ') + u" nn分ss秒"_s);
}

CountPattern CountPattern::twoLine(const QString& heading)
{
    return CountPattern(heading + u"\r\nnn 分 ss 秒"_s);
}

QString CountPattern::render(qint64 count) const
{
    // A negative count shows only when a tick comes late at the turn into overtime; zero is what the
    // reader expects to see there, and m_zero is shared rather than copied.
    if (count <= 0 || m_fields.empty())
        return m_zero;
    const int minute = int((count / 60) % 60);
    const int second = int(count % 60);
    QString out = m_zero;
    QChar* data = out.data();
    for (const Field& field : m_fields) {
        const int value = field.minutes ? minute : second;
        data[field.at] = QChar(u'0' + value / 10);
        data[field.at + 1] = QChar(u'0' + value % 10);
    }
    return out;
}

qint64 roundHalfEven(double seconds)
{
    if (std::isnan(seconds))
        return 0;
    // 2^63 is exactly representable; every double at or beyond it (or below -2^63) is out of range.
    constexpr double limit = 9223372036854775808.0;
    if (seconds >= limit)
        return std::numeric_limits<qint64>::max();
    if (seconds < -limit)
        return std::numeric_limits<qint64>::min();
    // The difference from the floor is exact for every double, so the half is found without error.
    const double floor = std::floor(seconds);
    const double fraction = seconds - floor;
    double rounded = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0))
        rounded = floor + 1.0;
    if (rounded >= limit)
        return std::numeric_limits<qint64>::max();
    return qint64(rounded);
}
