#pragma once

#include "platform/colour_value.h"

#include <QColor>

/// The colour a ColourValue (0x00BBGGRR) stands for, opaque.
inline QColor toQColor(ColourValue value)
{
    return QColor(redOf(value), greenOf(value), blueOf(value));
}

/// The ColourValue of a colour; its alpha is dropped.
inline ColourValue colourValueOf(const QColor& colour)
{
    return colourFromRgb(colour.red(), colour.green(), colour.blue());
}
