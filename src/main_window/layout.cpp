#include "main_window/layout.h"

namespace {

// The smaller of the two limits; on equality the height's limit, as the comparison was always made.
double smallerOf(double byHeight, double byWidth)
{
    return byHeight > byWidth ? byWidth : byHeight;
}

// The limits come after the choice of form, so a huge or empty window keeps the form it compared to.
double limitedSize(double size)
{
    if (size > 2048.0)
        return 2048.0;
    if (size < 1.0)
        return 1.0;
    return size;
}

} // namespace

RowLayout layoutRows(double width, double height, bool bothRows)
{
    RowLayout out;
    const double rowHeight = bothRows ? height / 2.0 : height;
    out.lowerTop = bothRows ? rowHeight : 0.0;
    out.width = width;
    out.height = rowHeight;

    // A one-line row holds 25 half-width characters, 12.5 em, on one line; the two-line form's heading line
    // of eight full-width characters is given 9 em, and its two lines 2.2 em of height.
    out.oneLineSize = smallerOf(rowHeight - 1.0, width / 12.5 - 1.0);
    out.twoLineSize = smallerOf((rowHeight - 1.0) / 2.2, width / 9.0 - 1.0);

    // A tie keeps the one-line form.
    double size = out.oneLineSize;
    out.fmtIndex = 0;
    if (out.oneLineSize < out.twoLineSize) {
        size = out.twoLineSize;
        out.fmtIndex = 1;
    }

    out.typeSize = limitedSize(size);
    return out;
}

RowLayout layoutRowsInForm(double width, double height, bool bothRows, int fmtIndex)
{
    RowLayout out = layoutRows(width, height, bothRows);
    out.fmtIndex = fmtIndex;
    out.typeSize = limitedSize(fmtIndex == 0 ? out.oneLineSize : out.twoLineSize);
    return out;
}
