#pragma once

#include "timing/phase_reading.h"

#include <QRect>
#include <QString>

class QPainter;

/// Where the speaker's window puts each part of a reading, for a window of a given size.
struct SpeakerFaceLayout {
    QRect heading;
    /// The box the remaining time's digits are fitted into.
    QRect digits;
    QRect elapsed;
    QRect bar;
};

SpeakerFaceLayout speakerFaceLayout(const QRect& area);

/// Paints a reading over the whole of `area` for a speaker who reads it from a few metres: the phase's background,
/// the remaining time as large as the area allows, the period's heading and the time since the start small, a thin
/// bar of the period used along the bottom, and in a pause 一時停止 across the digits, which are dimmed. The texts
/// are in the face `family`.
void paintSpeakerFace(QPainter& painter, const QRect& area, const PhaseReading& reading, const QString& family);
