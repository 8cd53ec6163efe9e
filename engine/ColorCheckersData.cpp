#include "engine/ColorCheckersData.h"

#include <cctype>
#include <iterator>
#include <mutex>
#include <stdexcept>

namespace tintavo {

namespace {

// The tables on the 0..255 scale as measured; NormalizeReferences rescales them in place.
// Classic: row-major, index = row x 6 + column.
TLutColor ClassicTable[MaxPatches] = {
    {116.0, 81.0, 67.0},  // 0: row 0, column 0
    {199.0, 147.0, 129.0},  // 1: row 0, column 1
    {91.0, 122.0, 156.0},  // 2: row 0, column 2
    {90.0, 108.0, 64.0},  // 3: row 0, column 3
    {130.0, 128.0, 176.0},  // 4: row 0, column 4
    {92.0, 190.0, 172.0},  // 5: row 0, column 5
    {224.0, 124.0, 47.0},  // 6: row 1, column 0
    {68.0, 91.0, 170.0},  // 7: row 1, column 1
    {198.0, 82.0, 97.0},  // 8: row 1, column 2
    {94.0, 58.0, 106.0},  // 9: row 1, column 3
    {159.0, 189.0, 63.0},  // 10: row 1, column 4
    {230.0, 162.0, 39.0},  // 11: row 1, column 5
    {35.0, 63.0, 147.0},  // 12: row 2, column 0
    {67.0, 149.0, 74.0},  // 13: row 2, column 1
    {180.0, 49.0, 57.0},  // 14: row 2, column 2
    {238.0, 198.0, 20.0},  // 15: row 2, column 3
    {193.0, 84.0, 151.0},  // 16: row 2, column 4
    {0.0, 136.0, 170.0},  // 17: row 2, column 5
    {245.0, 245.0, 243.0},  // 18: row 3, column 0
    {200.0, 202.0, 202.0},  // 19: row 3, column 1
    {161.0, 163.0, 163.0},  // 20: row 3, column 2
    {121.0, 121.0, 122.0},  // 21: row 3, column 3
    {82.0, 84.0, 86.0},  // 22: row 3, column 4
    {49.0, 49.0, 51.0},  // 23: row 3, column 5
};

// Digital SG: column-major, index = column x 10 + row.
TLutColor SGTable[MaxPatches] = {
    // column 0, rows 0..9
    {242.81, 244.08, 241.52},
    {25.95, 26.52, 26.99},
    {110.21, 110.29, 109.97},
    {242.53, 244.27, 241.88},
    {24.73, 25.51, 26.4},
    {110.61, 110.76, 110.51},
    {243.04, 244.49, 241.86},
    {26.01, 26.57, 27.21},
    {110.54, 110.61, 110.33},
    {243.16, 244.24, 241.41},
    // column 1, rows 0..9
    {110.29, 110.49, 110.26},
    {134.54, 19.42, 86.41},
    {167.6, 121.04, 172.35},
    {94.18, 23.34, 122.05},
    {-45.8, 121.32, 193.02},
    {-29.32, 155.89, 184.5},
    {-5.18, 51.23, 50.25},
    {-25.53, 157.98, 157.89},
    {55.2, 45.54, 35.6},
    {110.59, 110.69, 110.39},
    // column 2, rows 0..9
    {26.12, 26.86, 27.58},
    {54.85, 40.18, 72.0},
    {66.67, 81.66, 150.12},
    {-10.08, 48.18, 93.31},
    {-16.28, 149.36, 193.31},
    {-8.68, 51.21, 70.87},
    {42.7, 144.15, 197.15},
    {-31.26, 134.31, 127.57},
    {69.23, 156.61, 100.47},
    {24.08, 24.77, 25.38},
    // column 3, rows 0..9
    {242.94, 244.35, 241.79},
    {188.11, 207.39, 222.04},
    {240.38, 196.39, 207.3},
    {157.41, 220.05, 207.49},
    {246.79, 197.6, 194.76},
    {212.8, 210.61, 152.3},
    {221.46, 114.99, 79.22},
    {204.43, 131.53, 115.33},
    {-12.96, 133.75, 86.1},
    {243.32, 244.66, 241.99},
    // column 4, rows 0..9
    {110.19, 110.39, 110.17},
    {106.39, 55.59, 38.7},
    {238.15, 104.12, -0.23},
    {-18.92, 38.65, 127.13},
    {242.98, 244.34, 241.61},
    {25.5, 26.22, 27.0},
    {246.65, 165.75, 140.48},
    {251.26, 148.16, 128.55},
    {-0.69, 52.47, 35.81},
    {110.51, 110.71, 110.44},
    // column 5, rows 0..9
    {24.23, 24.88, 25.56},
    {200.33, 129.24, 112.47},
    {-15.41, 72.42, 153.02},
    {59.94, 134.13, 50.26},
    {191.53, 190.97, 191.24},
    {64.95, 65.69, 66.06},
    {194.16, 133.3, 100.68},
    {192.46, 136.27, 117.91},
    {-1.81, 157.6, 120.44},
    {25.95, 26.44, 26.92},
    // column 6, rows 0..9
    {242.71, 244.11, 241.45},
    {40.14, 105.9, 141.4},
    {198.29, 52.36, 72.85},
    {181.37, -4.77, 28.01},
    {149.32, 149.77, 150.13},
    {85.74, 86.66, 86.84},
    {139.72, 82.93, 54.3},
    {194.77, 134.56, 118.9},
    {115.9, 151.69, 63.84},
    {243.54, 244.79, 242.04},
    // column 7, rows 0..9
    {110.37, 110.56, 110.37},
    {77.02, 88.93, 36.81},
    {60.97, 32.81, 83.55},
    {260.3, 187.61, -3.1},
    {109.9, 110.04, 109.74},
    {136.77, 137.12, 137.56},
    {200.85, 144.51, 125.85},
    {198.64, 135.39, 116.49},
    {48.57, 133.84, 38.65},
    {110.59, 110.57, 110.19},
    // column 8, rows 0..9
    {24.44, 25.0, 25.6},
    {91.77, 110.43, 160.14},
    {168.67, 177.75, 43.35},
    {184.04, 57.29, 132.59},
    {75.19, 75.61, 75.55},
    {178.75, 178.45, 178.82},
    {158.75, 77.19, 38.95},
    {117.77, 65.62, 40.49},
    {68.32, 164.1, 55.22},
    {24.56, 24.94, 25.35},
    // column 9, rows 0..9
    {242.84, 244.34, 241.89},
    {60.5, 179.52, 160.19},
    {244.87, 144.29, -1.25},
    {-38.14, 122.2, 155.0},
    {36.15, 38.21, 39.61},
    {218.76, 220.71, 221.24},
    {212.84, 124.66, 99.74},
    {216.62, 134.08, 103.45},
    {203.71, 125.64, 53.32},
    {243.49, 244.94, 242.34},
    // column 10, rows 0..9
    {110.45, 110.63, 110.42},
    {251.41, 198.55, 173.8},
    {189.65, 232.83, 208.97},
    {210.09, 203.37, 219.07},
    {155.27, 215.05, 221.96},
    {165.11, 165.63, 166.15},
    {100.28, 100.12, 99.42},
    {44.22, 44.31, 44.68},
    {156.64, 146.15, 40.44},
    {110.58, 110.67, 110.3},
    // column 11, rows 0..9
    {26.92, 27.75, 28.55},
    {94.25, 22.02, 40.0},
    {209.58, -2.39, 28.47},
    {207.56, 108.02, 131.58},
    {221.35, 109.4, 110.84},
    {265.73, 90.91, -1.17},
    {207.43, 173.71, -7.06},
    {186.01, 136.29, 40.03},
    {169.4, 182.45, 16.55},
    {24.92, 25.67, 26.44},
    // column 12, rows 0..9
    {110.49, 110.61, 110.4},
    {189.32, 14.27, 77.37},
    {75.91, 25.32, 54.43},
    {194.31, -3.47, 41.24},
    {246.35, 36.25, 45.78},
    {297.91, 173.5, -0.46},
    {271.56, 189.1, -6.37},
    {188.6, 173.1, -2.27},
    {70.32, 36.09, 24.98},
    {110.68, 110.74, 110.35},
    // column 13, rows 0..9
    {242.47, 243.85, 241.14},
    {110.63, 110.82, 110.59},
    {24.47, 24.76, 25.4},
    {243.1, 244.83, 242.39},
    {110.6, 110.83, 110.56},
    {24.99, 25.62, 26.18},
    {243.42, 245.01, 242.48},
    {110.67, 110.79, 110.54},
    {24.05, 24.48, 25.05},
    {243.17, 244.71, 242.06},
};

// The chart table, in TChartType order.
constexpr TChartInfo ChartTable[] = {
    {TChartType::Classic, "ColorChecker Classic", "classic", "Classic", 6, 4, TPatchOrder::RowMajor, ClassicTable,
     "dark skin"},
    {TChartType::DigitalSG, "ColorChecker Digital SG", "sg", "SG", 14, 10, TPatchOrder::ColumnMajor, SGTable,
     "the top-left patch when the chart's lettering reads upright"},
};

constexpr bool ChartTableIsConsistent() {
    for (int i = 0; i < static_cast<int>(std::size(ChartTable)); ++i) {
        const TChartInfo& c = ChartTable[i];
        if (static_cast<int>(c.Type) != i || c.PatchCount() < 1 || c.PatchCount() > MaxPatches) return false;
        // The numbering visits every cell once.
        for (int index = 0; index < c.PatchCount(); ++index) {
            int column = 0, row = 0;
            c.PatchCell(index, column, row);
            if (column < 0 || column >= c.Columns || row < 0 || row >= c.Rows || c.PatchIndex(column, row) != index)
                return false;
        }
    }
    return true;
}
static_assert(ChartTableIsConsistent(), "chart table: entries in TChartType order, at most MaxPatches patches");

std::once_flag normalizeOnce;

// Components below 0 become 0, the others are divided by 255 and kept at most 1 (only the
// Digital SG values exceed 255).
void NormalizeTable(TLutColor* table) {
    for (int i = 0; i < MaxPatches; ++i) {
        double* components[3] = {&table[i].R, &table[i].G, &table[i].B};
        for (double* v : components) {
            if (*v < 0.0) {
                *v = 0.0;
                continue;
            }
            *v = static_cast<double>(static_cast<long double>(*v) / 255.0L);
            if (*v > 1.0) *v = 1.0;
        }
    }
}

// Runs the conversion while this unit is initialised, before any window exists.
[[maybe_unused]] const bool referencesNormalized = (NormalizeReferences(), true);

}  // namespace

const TLutColor (&ClassicReference)[MaxPatches] = ClassicTable;
const TLutColor (&SGReference)[MaxPatches] = SGTable;

void NormalizeReferences() {
    std::call_once(normalizeOnce, [] {
        // The tables are this unit's own writable arrays; the chart table hands them out read-only.
        for (const TChartInfo& chart : ChartTable) NormalizeTable(const_cast<TLutColor*>(chart.Reference));
    });
}

std::span<const TChartInfo> Charts() {
    NormalizeReferences();  // already done at start-up; a no-op unless called during static init
    return ChartTable;
}

const TChartInfo& ChartInfo(TChartType chart) {
    const std::span<const TChartInfo> charts = Charts();
    const auto i = static_cast<std::size_t>(chart);
    if (i >= charts.size()) throw std::out_of_range("Unknown chart type");
    return charts[i];
}

std::string ChartCommandNames(std::string_view separator, std::string_view last) {
    const std::span<const TChartInfo> charts = Charts();
    std::string names;
    for (std::size_t i = 0; i < charts.size(); ++i) {
        if (i > 0) names.append(i + 1 == charts.size() ? last : separator);
        names.append(charts[i].CommandName);
    }
    return names;
}

const TChartInfo* FindChartByCommandName(std::string_view name) {
    for (const TChartInfo& chart : Charts()) {
        const std::string_view known = chart.CommandName;
        if (known.size() != name.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < name.size() && same; ++k)
            same = std::tolower(static_cast<unsigned char>(name[k])) == known[k];
        if (same) return &chart;
    }
    return nullptr;
}

int ChartColumns(TChartType chart) { return ChartInfo(chart).Columns; }
int ChartRows(TChartType chart) { return ChartInfo(chart).Rows; }
int ChartPatchCount(TChartType chart) { return ChartInfo(chart).PatchCount(); }
const TLutColor* ChartReference(TChartType chart) { return ChartInfo(chart).Reference; }

}  // namespace tintavo
