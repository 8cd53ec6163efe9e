#include "engine/ChartGeometry.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace tintavo {

namespace {

// One axis of the patch-centre rule. 64-bit intermediates give the 32-bit result without
// overflow for any corner pair.
inline int CellCenter(int start, int end, int index, int count) {
    const std::int64_t span = static_cast<std::int64_t>(end) - start;
    return static_cast<int>(start + (index * span) / count + (span / count) / 2);
}

}  // namespace

TChartGeometry::TChartGeometry(const TSelection& rect, int columns, int rows)
    : rect_(rect), columns_(columns), rows_(rows) {}

void TChartGeometry::PatchCenter(int column, int row, int& x, int& y) const {
    if (columns_ < 1 || rows_ < 1) throw std::runtime_error("Dimension error");
    x = CellCenter(rect_.X1, rect_.X2, column, columns_);
    y = CellCenter(rect_.Y1, rect_.Y2, row, rows_);
}

int TChartGeometry::CellSize(bool horizontal) const {
    if (columns_ < 1 || rows_ < 1) throw std::runtime_error("Dimension error");
    const std::int64_t span = horizontal ? static_cast<std::int64_t>(rect_.X2) - rect_.X1
                                         : static_cast<std::int64_t>(rect_.Y2) - rect_.Y1;
    return static_cast<int>(std::llabs(span) / (horizontal ? columns_ : rows_));
}

}  // namespace tintavo
