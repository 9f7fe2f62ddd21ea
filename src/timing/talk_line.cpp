#include "timing/talk_line.h"

#include "settings/number_rule.h"
#include "timing/count_pattern.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// h:mm:ss, which spreadsheet programs read as a length of time (mm:ss would be read as hours and minutes).
QString duration(double seconds)
{
    const qint64 s = std::max<qint64>(0, roundHalfEven(seconds));
    return u"%1:%2:%3"_s.arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar(u'0')).arg(s % 60, 2, 10, QChar(u'0'));
}

QByteArray firstColumn(const QByteArray& line)
{
    return line.left(line.indexOf(','));
}

bool isNumber(const QByteArray& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The columns of a line with its number, which files written before the number was kept do not have.
constexpr qsizetype numberedColumns = 11;

} // namespace

bool isTalk(const CountSnapshot& count, double elapsed)
{
    if (count.rehearsal || !(elapsed >= talkLeastSeconds))
        return false;
    return count.startedByRestart || count.used || elapsed >= count.presenEnd - count.times.warning * 60.0;
}

QByteArray talkListHeader()
{
    return "\xEF\xBB\xBF" + u"日付,開始,終了,発表,質疑,超過,一時停止,発表時間,質疑時間,予鈴,番号\r\n"_s.toUtf8();
}

QByteArray talkLine(const CountSnapshot& last, double elapsed, qint64 endWallMs, const QTimeZone& zone)
{
    const qint64 startMs = last.startWallMs - qint64(std::llround(last.adjustSeconds * 1000.0));
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(startMs, zone);
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
    return items.join(u',').toUtf8();
}

QByteArray numberedTalkLine(const QByteArray& line, const QByteArray& tail)
{
    QList<QByteArray> lines;
    for (QByteArray text : tail.split('\n')) {
        if (text.endsWith('\r'))
            text.chop(1);
        if (!text.isEmpty())
            lines.append(text);
    }
    const QByteArray date = firstColumn(line);
    qint64 number = 1;
    if (!lines.isEmpty() && firstColumn(lines.constLast()) == date) {
        const QList<QByteArray> columns = lines.constLast().split(',');
        if (columns.size() == numberedColumns && isNumber(columns.constLast()))
            number = columns.constLast().toLongLong() + 1;
        else
            number += std::count_if(lines.cbegin(), lines.cend(),
                                    [&date](const QByteArray& text) { return firstColumn(text) == date; });
    }
    return line + ',' + QByteArray::number(number) + "\r\n";
}

bool isNumberedLine(const QByteArray& lastLine, const QByteArray& line)
{
    return !line.isEmpty() && lastLine.startsWith(line + ',') && isNumber(lastLine.mid(line.size() + 1));
}
