#pragma once

/// Where the layout pass puts the two display rows and at what type size. Every length is in points.
struct RowLayout {
    double lowerTop = 0.0;    ///< top edge of the lower row: half the inner height with both rows, else 0
    double width = 0.0;       ///< width of both rows
    double height = 0.0;      ///< height of both rows
    double oneLineSize = 0.0; ///< the largest type size at which the one-line form fits (F1)
    double twoLineSize = 0.0; ///< the same for the two-line form (F2)
    int fmtIndex = 0;         ///< 0 one-line form, 1 two-line form
    double typeSize = 1.0;    ///< the type size of both rows, 1 to 2048 points, fraction kept
};

/// Lays the rows over an inner area of `width` × `height` points. With both rows shown they split the
/// height; with one row both rows take the whole area, so whichever is shown fills the window.
RowLayout layoutRows(double width, double height, bool bothRows);

/// The same area laid out for text written in the form `fmtIndex` whatever its shape: the type size is the largest
/// at which that form fits. For a window that shows the rows another window's layout pass chose the form of.
RowLayout layoutRowsInForm(double width, double height, bool bothRows, int fmtIndex);
