// Unit ColorCheckersData: the known charts in one table (grid, patch numbering, reference
// colours, names) and their reference colours.
//
// ColorChecker Classic: 24 patches, 6 columns x 4 rows, numbered row-major
// (index = row x 6 + column). ColorChecker Digital SG: 140 patches, 14 columns x 10 rows,
// numbered column-major (index = column x 10 + row). Row 0 and column 0 are at the corner where
// the user started dragging the selection.
//
// A new chart is its reference table in ColorCheckersData.cpp, one entry in the chart table
// there and its name in TChartType; the window, the command line, the sampling, the report and
// the chart renderer all read the table.
//
// The values are kept in the RGB encoding of the 8-bit pixels of the photographed chart (no
// linearisation). They are written on the 0..255 scale and brought to 0..1 once, when the
// program starts (NormalizeReferences); from then on every consumer sees 0..1 values.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "lut/LUT.h"

namespace tintavo {

constexpr int MaxPatches = 140;  // capacity of every reference table
constexpr int ClassicPatchCount = 24;
constexpr int SGPatchCount = 140;

// Read-only after start-up. Classic entries 24..139 are (0, 0, 0) and never used.
extern const TLutColor (&ClassicReference)[MaxPatches];
extern const TLutColor (&SGReference)[MaxPatches];

// Brings both tables from 0..255 to 0..1: negative components become 0, the others are divided
// by 255, and Digital SG components above 1 become 1. Runs once from this unit's static
// initialisation; later calls do nothing, so code that runs during static initialisation of
// another unit may call it before reading the tables.
void NormalizeReferences();

// The known charts, in the order of the chart table (the window lists them in this order).
enum class TChartType { Classic, DigitalSG };

// How a chart numbers its patches; column 0 and row 0 are at the selection's start corner.
enum class TPatchOrder {
    RowMajor,     // index = row x Columns + column
    ColumnMajor,  // index = column x Rows + row
};

struct TChartInfo {
    TChartType Type;
    const char* DisplayName;  // as the window and the report show it: "ColorChecker Classic"
    const char* CommandName;  // as the command line takes it: "classic"
    const char* ShortName;    // names the window's controls: "rbnColorChecker" + "Classic"
    int Columns;
    int Rows;
    TPatchOrder Order;
    const TLutColor* Reference;  // MaxPatches entries, 0..1; the first PatchCount() are the chart's
    const char* FirstPatchName;  // how a user finds patch 0 on the chart: "dark skin"

    constexpr int PatchCount() const { return Columns * Rows; }
    // The patch index of grid cell (column, row), and the cell of a patch index: the one place
    // that knows how charts number their patches.
    constexpr int PatchIndex(int column, int row) const {
        return Order == TPatchOrder::RowMajor ? row * Columns + column : column * Rows + row;
    }
    constexpr void PatchCell(int index, int& column, int& row) const {
        if (Order == TPatchOrder::RowMajor) {
            column = index % Columns;
            row = index / Columns;
        } else {
            column = index / Rows;
            row = index % Rows;
        }
    }
};

// Every known chart, indexed by TChartType. The reference colours are normalised before the
// table is handed out.
std::span<const TChartInfo> Charts();
const TChartInfo& ChartInfo(TChartType chart);
// The chart with this command-line name (letter case ignored), or null.
const TChartInfo* FindChartByCommandName(std::string_view name);
// The command-line names joined for usage texts: ChartCommandNames("|", "|") is "classic|sg",
// ChartCommandNames(", ", " or ") is "classic or sg".
std::string ChartCommandNames(std::string_view separator, std::string_view last);

// Shorthands for the table's fields.
int ChartColumns(TChartType chart);     // 6 or 14
int ChartRows(TChartType chart);        // 4 or 10
int ChartPatchCount(TChartType chart);  // 24 or 140
// The chart's reference table (MaxPatches entries; only the first ChartPatchCount are used).
const TLutColor* ChartReference(TChartType chart);

}  // namespace tintavo
