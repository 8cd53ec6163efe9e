// Where the chart lies in the picture: the selection the user made and the grid of patch cells
// laid over it. Every patch centre, for the sampling and for the viewer's markers, comes from
// TChartGeometry::PatchCenter.
#pragma once

namespace tintavo {

// Selection corners in pixel coordinates; (X1, Y1) is the corner where the drag started and
// becomes patch column 0, row 0. The corners are not put in order.
struct TSelection {
    int X1 = 0;
    int Y1 = 0;
    int X2 = 0;
    int Y2 = 0;
};

// The chart's patch grid over a selection: the selection cut into Columns x Rows equal cells.
// Today the selection is the dragged rectangle; other shapes of selection belong here too, so
// that everything that needs a patch centre keeps asking this type.
class TChartGeometry {
public:
    TChartGeometry(const TSelection& rect, int columns, int rows);

    const TSelection& Rect() const { return rect_; }
    int Columns() const { return columns_; }
    int Rows() const { return rows_; }

    // The centre of cell (column, row): the cell's start plus half a cell width, in integer
    // arithmetic truncating toward zero, the product formed before the division. A grid without
    // cells raises std::runtime_error("Dimension error").
    void PatchCenter(int column, int row, int& x, int& y) const;

    // The width (horizontal) or height of one cell in whole pixels, whatever the drag direction.
    int CellSize(bool horizontal) const;

private:
    TSelection rect_;
    int columns_;
    int rows_;
};

}  // namespace tintavo
