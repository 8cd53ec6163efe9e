// The sample photographs under samples/ open into the working image, and the selection
// rectangles documented in samples/README.md put every patch centre on its own patch: the
// measured colours are the chart's reference colours as the renderer's camera saw them.
#include "picture/Picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine/Calibration.h"

using namespace tintavo;

namespace {

// The camera of samples/README.md.
const double kMatrix[9] = {0.92, 0.10, -0.02, 0.05, 0.88, 0.07, 0.02, -0.06, 1.04};
const double kGamma[3] = {1.15, 1.0, 0.9};
const double kVignette = 0.12;

struct SampleCase {
    const char* file;
    TChartType chart;
    TSelection selection;
    double grid[4];  // patch grid in the 3000 x 2000 picture
};

void CheckSample(const SampleCase& c) {
    const std::string file = std::string(TINTAVO_SOURCE_DIR) + "/samples/" + c.file;
    TBitmap24 work;
    OpenCalibrationPicture(file, work);
    ASSERT_EQ(work.Width(), 1500);
    ASSERT_EQ(work.Height(), 1000);

    TMeasuredPatches measured;
    SamplePatches(work, c.selection, c.chart, measured);
    const int columns = ChartColumns(c.chart), rows = ChartRows(c.chart);
    ASSERT_EQ(measured.PatchCount, columns * rows);
    const TLutColor* reference = ChartReference(c.chart);
    double worst = 0;
    for (int row = 0; row < rows; ++row)
        for (int col = 0; col < columns; ++col) {
            const int index = c.chart == TChartType::Classic ? row * columns + col : col * rows + row;
            const double in[3] = {reference[index].R, reference[index].G, reference[index].B};
            const double x = c.grid[0] + (col + 0.5) * (c.grid[2] - c.grid[0]) / columns - 1500;
            const double y = c.grid[1] + (row + 0.5) * (c.grid[3] - c.grid[1]) / rows - 1000;
            const double light = 1 - kVignette * (x * x + y * y) / (1500.0 * 1500 + 1000.0 * 1000);
            const double got[3] = {measured.MeasuredColors[index].R, measured.MeasuredColors[index].G,
                                   measured.MeasuredColors[index].B};
            for (int k = 0; k < 3; ++k) {
                double v = kMatrix[3 * k] * in[0] + kMatrix[3 * k + 1] * in[1] + kMatrix[3 * k + 2] * in[2];
                v = std::pow(std::clamp(v, 0.0, 1.0), kGamma[k]) * light;
                worst = std::max(worst, std::fabs(got[k] - v) * 255);
                EXPECT_NEAR(got[k], v, 4.0 / 255) << c.file << " patch " << index << " channel " << k;
            }
        }
    ::testing::Test::RecordProperty(std::string(c.file) + "_worst_error_8bit", std::to_string(worst));
}

}  // namespace

TEST(SamplePictures, ClassicSelectionHitsEveryPatch) {
    CheckSample({"classic.jpg", TChartType::Classic, {300, 200, 1200, 800}, {600, 400, 2400, 1600}});
}

TEST(SamplePictures, DigitalSGSelectionHitsEveryPatch) {
    CheckSample({"sg.jpg", TChartType::DigitalSG, {300, 179, 1200, 821}, {600, 357, 2400, 1643}});
}
