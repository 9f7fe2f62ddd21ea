#pragma once

#include <QRect>
#include <QtMath>

/// Pixels for a length in twips (1/1440 inch) at `dpi` dots per inch.
inline int twipsToPixels(int twips, qreal dpi)
{
    return qRound(twips * dpi / 1440.0);
}

/// A rectangle given in twips; its edges are converted, not its size, so that controls that meet in twips
/// still meet in pixels at any DPI.
inline QRect twipsRect(int left, int top, int width, int height, qreal dpi)
{
    const int x = twipsToPixels(left, dpi);
    const int y = twipsToPixels(top, dpi);
    return {x, y, twipsToPixels(left + width, dpi) - x, twipsToPixels(top + height, dpi) - y};
}
