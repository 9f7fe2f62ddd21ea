#include "remote_control/view_state.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

QJsonObject row(const QString& text, ColourValue foreground, ColourValue background, bool shown)
{
    return {{u"text"_s, text},
            {u"foreground"_s, cssColour(foreground)},
            {u"background"_s, cssColour(background)},
            {u"shown"_s, shown}};
}

// Tenths of a second are all a display needs, and keep the message short.
double tenths(double seconds)
{
    return std::round(seconds * 10.0) / 10.0;
}

} // namespace

QString cssColour(ColourValue colour)
{
    return u"#%1%2%3"_s.arg(redOf(colour), 2, 16, QChar(u'0'))
        .arg(greenOf(colour), 2, 16, QChar(u'0'))
        .arg(blueOf(colour), 2, 16, QChar(u'0'));
}

QByteArray viewStateJson(const CountState& state, double remaining, const RowsView& rows, SettingsRecord::RowMode mode,
                         const PhaseReading& reading)
{
    static const QString phaseNames[] = {u"presentation"_s, u"warning"_s, u"discussion"_s, u"overtime"_s};
    const int phase = std::clamp(state.phase, 1, 4);
    // With no row mode chosen the window keeps both rows as they are, which is both at the start.
    const bool upperShown = mode != SettingsRecord::RowMode::Option3;
    const bool lowerShown = mode != SettingsRecord::RowMode::Option2;
    const QJsonObject out{
        {u"elapsed"_s, tenths(state.elapsed)},
        {u"remaining"_s, tenths(remaining)},
        {u"phase"_s, phase},
        {u"phaseName"_s, phaseNames[phase - 1]},
        {u"paused"_s, state.paused},
        {u"rehearsal"_s, state.rehearsal},
        {u"upper"_s, row(rows.upperText, rows.upperForeground, rows.upperBackground, upperShown)},
        {u"lower"_s, row(rows.lowerText, rows.lowerForeground, rows.lowerBackground, lowerShown)},
        {u"reading"_s, QJsonObject{{u"heading"_s, reading.heading},
                                   {u"remaining"_s, clockText(reading.remainingSeconds, reading.overtime)},
                                   {u"elapsedHeading"_s, reading.elapsedHeading},
                                   {u"elapsed"_s, clockText(reading.elapsedSeconds)},
                                   {u"overtime"_s, reading.overtime},
                                   {u"used"_s, std::round(reading.used * 1000.0) / 1000.0},
                                   {u"foreground"_s, cssColour(reading.foreground)},
                                   {u"background"_s, cssColour(reading.background)}}},
    };
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}
