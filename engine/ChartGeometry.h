// Where the patches of a chart lie in the picture: either the selection rectangle of a drag, or
// four corners that follow the chart as it was photographed (tilted, rotated, in perspective).
//
// Corners are given in chart order: corner 1 is the outer corner of the patch grid at column 0,
// row 0; corner 2 the one after the last column of row 0; corner 3 after the last column of the
// last row; corner 4 at column 0 of the last row. The four corners enclose the same region as a
// selection rectangle (the patches and the gaps between them); it is cut into Columns x Rows
// cells and the patch centres are the projective images of the cell centres.
//
// Coordinates are picture pixels with pixel (i, j) covering [i, i + 1) x [j, j + 1); a
// rectangle's integer corners keep their meaning as pixel columns and rows.
#pragma once

#include <array>

namespace tintavo {

// Selection corners in image pixel coordinates; (X1, Y1) is the corner where the drag started
// and becomes patch column 0, row 0.
struct TSelection {
    int X1 = 0;
    int Y1 = 0;
    int X2 = 0;
    int Y2 = 0;
};

struct TPointF {
    double X = 0;
    double Y = 0;
};

using TQuad = std::array<TPointF, 4>;

// The projective map of the unit square onto a quadrilateral: (0, 0), (1, 0), (1, 1), (0, 1) go
// to corners 1 to 4.
class TSquareToQuad {
public:
    // Raises std::invalid_argument("The four corners do not form a convex quadrilateral in
    // chart order.") unless the corners are a parallelogram (any, even a degenerate one) or a
    // strictly convex quadrilateral, taken round in either direction.
    explicit TSquareToQuad(const TQuad& corners);
    TPointF Map(double u, double v) const;

private:
    long double m_[9];  // row-major; the bottom row holds the projective terms
};

class TChartGeometry {
public:
    // An empty rectangle at (0, 0).
    TChartGeometry() = default;
    static TChartGeometry FromRectangle(const TSelection& selection);
    // Checks the corners as TSquareToQuad does. Corners that are exactly an upright rectangle with
    // whole-pixel corners, its first row running along x, are that rectangle: they sample exactly
    // as the same rectangle dragged with the mouse.
    static TChartGeometry FromCorners(const TQuad& corners);

    bool IsRectangle() const { return !isQuad_; }
    const TSelection& Rectangle() const { return rect_; }  // for a rectangle only
    // The four corners in chart order; a rectangle gives (X1, Y1), (X2, Y1), (X2, Y2), (X1, Y2).
    TQuad Corners() const;

    // The centre of cell (column, row) of a Columns x Rows grid. A rectangle answers with its own
    // integer rule (offsets from corner 1 formed as products before a division truncating toward
    // zero; the sampling window is centred on that pixel); other corners with the projective image
    // of the cell centre, on which the sampling window is centred to a fraction of a pixel.
    TPointF PatchCentre(int column, int row, int columns, int rows) const;

private:
    bool isQuad_ = false;
    TSelection rect_;
    TQuad corners_{};
    TSquareToQuad map_{TQuad{TPointF{0, 0}, TPointF{0, 0}, TPointF{0, 0}, TPointF{0, 0}}};
};

// The eight ways of reading a quadrilateral's corners as chart corners: corner k of the result is
// corner (start + k) of `corners` (or (start - k) when mirrored), indices modulo 4. start 0
// without mirroring gives the corners unchanged.
TQuad ReorderedCorners(const TQuad& corners, int start, bool mirrored);

}  // namespace tintavo
