#pragma once

#include <QtGlobal>

/// A colour as the settings file and the swatches hold it: 0x00BBGGRR, red in the low byte, top byte zero.
using ColourValue = quint32;

constexpr int redOf(ColourValue c)
{
    return int(c & 0xFFu);
}
constexpr int greenOf(ColourValue c)
{
    return int((c >> 8) & 0xFFu);
}
constexpr int blueOf(ColourValue c)
{
    return int((c >> 16) & 0xFFu);
}
constexpr ColourValue colourFromRgb(int r, int g, int b)
{
    return ColourValue(r & 0xFF) | (ColourValue(g & 0xFF) << 8) | (ColourValue(b & 0xFF) << 16);
}
