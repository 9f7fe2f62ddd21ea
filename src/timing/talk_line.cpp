#include "timing/talk_line.h"

#include "settings/number_rule.h"
#include "timing/count_pattern.h"

#include <QDateTime>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// h:mm:ss, which spreadsheet programs read as a length of time (mm:ss would be read as hours and minutes).
QString duration(double seconds)
{
    const qint64 s = std::max<qint64>(0, roundHalfEven(seconds));
    return u"%1:%2:%3"_s.arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar(u'0')).arg(s % 60, 2, 10, QChar(u'0'));
}

} // namespace

QByteArray talkListHeader()
{
    return "\xEF\xBB\xBF" + u"日付,開始,終了,発表,質疑,超過,一時停止,発表時間,質疑時間,予鈴\r\n"_s.toUtf8();
}

QByteArray talkLine(const CountSnapshot& last, double elapsed, qint64 endWallMs, const QTimeZone& zone)
{
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(last.startWallMs, zone);
    const QDateTime end = QDateTime::fromMSecsSinceEpoch(endWallMs, zone);
    const double presentation = std::clamp(elapsed, 0.0, std::max(last.presenEnd, 0.0));
    const double discussion =
        std::clamp(elapsed - last.presenEnd, 0.0, std::max(last.discussEnd - last.presenEnd, 0.0));
    const double overtime = std::max(elapsed - last.discussEnd, 0.0);
    double paused = last.pausedSeconds;
    if (last.pauseBeganBoot >= 0 && last.pauseBeganWallMs > 0)
        paused += double(endWallMs - last.pauseBeganWallMs) / 1000.0;

    const QStringList items{start.toString(u"yyyy-MM-dd"_s),
                            start.toString(u"HH:mm:ss"_s),
                            end.toString(u"HH:mm:ss"_s),
                            duration(presentation),
                            duration(discussion),
                            duration(overtime),
                            duration(paused),
                            renderNumber(last.times.presentation),
                            renderNumber(last.times.discussion),
                            renderNumber(last.times.warning)};
    return (items.join(u',') + u"\r\n"_s).toUtf8();
}
