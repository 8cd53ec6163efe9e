// Where the chart lies in the picture: the selection the user made and the grid of patch cells
// laid over it. Every patch centre, for the sampling and for the viewer's markers, comes from
// TChartGeometry.
//
// A selection is either the rectangle of a drag or four corners that follow the chart as it was
// photographed (tilted, rotated, in perspective). Corners are given in chart order: corner 1 is
// the outer corner of the patch grid at column 0, row 0; corner 2 the one after the last column
// of row 0; corner 3 after the last column of the last row; corner 4 at column 0 of the last
// row. The four corners enclose the same region as a selection rectangle (the patches and the
// gaps between them); it is cut into Columns x Rows cells and the patch centres are the
// projective images of the cell centres.
//
// Coordinates are picture pixels with pixel (i, j) covering [i, i + 1) x [j, j + 1); a
// rectangle's integer corners keep their meaning as pixel columns and rows.
#pragma once

#include <array>

namespace tintavo {

// Selection corners in pixel coordinates; (X1, Y1) is the corner where the drag started and
// becomes patch column 0, row 0. The corners are not put in order.
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

// The chart's patch grid over a selection: the selection cut into Columns x Rows equal cells.
class TChartGeometry {
public:
    // The dragged rectangle.
    TChartGeometry(const TSelection& rect, int columns, int rows);
    // Four corners in chart order; checked as TSquareToQuad does. Corners that are exactly an
    // upright rectangle with whole-pixel corners, its first row running along x, are that
    // rectangle: they sample exactly as the same rectangle dragged with the mouse.
    static TChartGeometry FromCorners(const TQuad& corners, int columns, int rows);

    bool IsRectangle() const { return !isQuad_; }
    const TSelection& Rect() const { return rect_; }  // for a rectangle only; corners give (0, 0, 0, 0)
    // The four corners in chart order; a rectangle gives (X1, Y1), (X2, Y1), (X2, Y2), (X1, Y2).
    TQuad Corners() const;
    int Columns() const { return columns_; }
    int Rows() const { return rows_; }

    // The centre of cell (column, row). A rectangle: the cell's start plus half a cell width, in
    // integer arithmetic truncating toward zero, the product formed before the division; the
    // sampling window is centred on that pixel. Corners: the projective image of the cell centre;
    // the sampling window is centred on it to a fraction of a pixel. A grid without cells raises
    // std::runtime_error("Dimension error").
    TPointF PatchCenterPoint(int column, int row) const;
    // The same as a pixel: for corners, the pixel the centre lies in.
    void PatchCenter(int column, int row, int& x, int& y) const;

    // The width (horizontal) or height of one cell in whole pixels, whatever the drag direction;
    // for corners the smaller of the two grid edges running that way, divided by the cells.
    int CellSize(bool horizontal) const;

    // Corner handles, for a window that lets the user fit the selection to a tilted chart. The
    // index (0..3, chart order) of the corner nearest to `point` within `reach` pixels, or -1.
    int CornerNear(const TPointF& point, double reach) const;
    // The selection with corner `corner` (0..3) moved to `to`: four corners again (or the
    // rectangle they still are, as FromCorners makes it). Raises as FromCorners does when the
    // move would fold the quadrilateral.
    TChartGeometry WithCornerMovedTo(int corner, const TPointF& to) const;

private:
    bool isQuad_ = false;
    TSelection rect_;
    TQuad corners_{};
    TSquareToQuad map_{TQuad{}};
    int columns_;
    int rows_;
};

// The eight ways of reading a quadrilateral's corners as chart corners: corner k of the result is
// corner (start + k) of `corners` (or (start - k) when mirrored), indices modulo 4. start 0
// without mirroring gives the corners unchanged.
TQuad ReorderedCorners(const TQuad& corners, int start, bool mirrored);

// The chart's clockwise rotation as seen in the picture, to the nearest quarter turn: 0, 90, 180
// or 270, from the direction of its first row (corner 1 to corner 2; y grows downwards).
int ChartOrientation(const TQuad& corners);

}  // namespace tintavo
