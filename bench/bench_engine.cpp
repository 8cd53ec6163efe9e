// Calibration and LUT application speed: Calibrate at the window's 33 points with each chart and
// model, the report with and without the model comparison, and
// ApplyLutToBitmap over an opened image of the largest size (1500 x 1000).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "common/Parallel.h"
#include "engine/Calibration.h"
#include "engine/CalibrationReport.h"
#include "engine/ThinPlateSplines.h"
#include "lut/LUT.h"

namespace {

using namespace tintavo;

std::uint8_t ToByte(double v) { return static_cast<std::uint8_t>(std::nearbyint(255.0 * std::fmin(1.0, std::fmax(0.0, v)))); }

// A chart photographed by a camera with a colour cast, filling the selection.
TBitmap24 ChartImage(TChartType chart, const TSelection& sel, int width, int height) {
    TBitmap24 bmp(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bmp.SetPixel(x, y, 128, 128, 128);
    const TChartInfo& info = ChartInfo(chart);
    const TChartGeometry geometry(sel, info.Columns, info.Rows);
    for (int row = 0; row < info.Rows; ++row)
        for (int col = 0; col < info.Columns; ++col) {
            const TLutColor& c = info.Reference[info.PatchIndex(col, row)];
            int cx, cy;
            geometry.PatchCenter(col, row, cx, cy);
            for (int y = cy - 5; y <= cy + 5; ++y)
                for (int x = cx - 5; x <= cx + 5; ++x)
                    bmp.SetPixel(x, y, ToByte(0.05 + 0.9 * c.R), ToByte(0.95 * c.G + 0.03 * c.B),
                                 ToByte(std::pow(c.B, 0.9)));
        }
    return bmp;
}

void BM_Calibrate(benchmark::State& state, TChartType chart, const char* model) {
    const TSelection sel{10, 10, 1410, 1010};
    const TBitmap24 bmp = ChartImage(chart, sel, 1500, 1000);
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk3D;
    lut->Size3D = CalibrationLutSize;
    TMeasuredPatches measured;
    for (auto _ : state) {
        auto mapping = Calibrate(bmp, sel, chart, true, *lut, measured, model);
        benchmark::DoNotOptimize(lut->Table3D[16][16][16]);
    }
}
// The default spline beside the other models, in one run: "auto" validates every candidate on the
// patches' folds before it fits the chosen one. Folds and fills run on every core, so the CPU
// column is the whole process's processor time.
BENCHMARK_CAPTURE(BM_Calibrate, Classic, TChartType::Classic, "tps")->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_Calibrate, DigitalSG, TChartType::DigitalSG, "tps")->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_Calibrate, Classic_smooth_tps, TChartType::Classic, "smooth-tps")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_Calibrate, DigitalSG_smooth_tps, TChartType::DigitalSG, "smooth-tps")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_Calibrate, Classic_rootpoly3, TChartType::Classic, "rootpoly3")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_Calibrate, Classic_auto, TChartType::Classic, "auto")->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_Calibrate, DigitalSG_auto, TChartType::DigitalSG, "auto")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// The report of the Digital SG chart with every model compared on the same folds, beside the
// default report.
void BM_Report(benchmark::State& state, bool compare) {
    const TSelection sel{10, 10, 1410, 1010};
    TMeasuredPatches measured;
    SamplePatches(ChartImage(TChartType::DigitalSG, sel, 1500, 1000), sel, TChartType::DigitalSG, measured);
    for (auto _ : state) {
        const TCalibrationReport report =
            ComputeCalibrationReport(measured, TChartType::DigitalSG, true, DefaultCalibrationModel, compare);
        benchmark::DoNotOptimize(report.All.CrossValidated.Mean);
    }
}
BENCHMARK_CAPTURE(BM_Report, DigitalSG, false)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_Report, DigitalSG_compare_models, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// The grid fill alone on one thread: its CPU time is the cost of the spline evaluations. At 101
// points (the largest table a calibration is saved at) the fill is most of `calibrate --size 101`.
void BM_FillTableOneThread(benchmark::State& state, TChartType chart, int size) {
    const TSelection sel{10, 10, 1410, 1010};
    TMeasuredPatches measured;
    SamplePatches(ChartImage(chart, sel, 1500, 1000), sel, chart, measured);
    TCalibrationMapping mapping(measured, chart, true);
    auto lut = std::make_unique<TLUT>();
    lut->Size3D = size;
    for (auto _ : state) {
        mapping.FillTable(*lut, 1);
        benchmark::DoNotOptimize(lut->Table3D[size / 2][size / 2][size / 2]);
    }
    state.SetItemsProcessed(state.iterations() * size * size * size);
}
BENCHMARK_CAPTURE(BM_FillTableOneThread, Classic, TChartType::Classic, CalibrationLutSize)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FillTableOneThread, DigitalSG, TChartType::DigitalSG, CalibrationLutSize)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FillTableOneThread, DigitalSG_101, TChartType::DigitalSG, MaxLut3DSize)->Unit(benchmark::kMillisecond);

// The spline's kernel over the squared distances of a 101-point grid line to 45 control points
// spread over the cube: the fast path and the extended-precision values it falls back on.
void BM_Kernel3Batch(benchmark::State& state) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> s;
    for (int k = 0; k < 45; ++k) {
        const double px = unit(rng), py = unit(rng), pz = unit(rng), x = unit(rng), y = unit(rng);
        for (int i = 0; i < MaxLut3DSize; ++i) {
            const double dz = pz - i / 100.0;
            s.push_back((px - x) * (px - x) + (py - y) * (py - y) + dz * dz);
        }
    }
    std::vector<double> out(s.size());
    for (auto _ : state) {
        Kernel3Batch(s.data(), out.data(), static_cast<int>(s.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(s.size()));
}
BENCHMARK(BM_Kernel3Batch)->Unit(benchmark::kMicrosecond);

// A photograph-like test image: smooth gradients with some grain (neighbouring pixels fall
// into nearby LUT cells), or pure noise (every pixel in a random cell, the worst case for caches).
TBitmap24 TestImage(bool noise) {
    TBitmap24 image(1500, 1000);
    std::mt19937 rng(1);
    for (int y = 0; y < image.Height(); ++y) {
        std::uint8_t* p = image.ScanLine(y);
        for (int x = 0; x < image.Width(); ++x, p += 3) {
            if (noise) {
                p[0] = static_cast<std::uint8_t>(rng());
                p[1] = static_cast<std::uint8_t>(rng());
                p[2] = static_cast<std::uint8_t>(rng());
                continue;
            }
            const int grain = static_cast<int>(rng() % 9) - 4;
            p[2] = static_cast<std::uint8_t>(std::clamp(x * 255 / 1499 + grain, 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(y * 255 / 999 + grain, 0, 255));
            p[0] = static_cast<std::uint8_t>(std::clamp(128 + static_cast<int>(100 * std::sin(x * 0.01 + y * 0.02)) + grain, 0, 255));
        }
    }
    return image;
}

void BM_ApplyLutToBitmap(benchmark::State& state, TLutKind kind, bool noise) {
    const TSelection sel{10, 10, 1410, 1010};
    auto lut = std::make_unique<TLUT>();
    lut->Size3D = CalibrationLutSize;
    TMeasuredPatches measured;
    Calibrate(ChartImage(TChartType::Classic, sel, 1500, 1000), sel, TChartType::Classic, false, *lut, measured);
    lut->SetIdentity1D(1024);
    for (int i = 0; i < 1024; ++i) lut->Table1D[i].G = std::sqrt(lut->Table1D[i].G);
    lut->LutKind = kind;

    const TBitmap24 image = TestImage(noise);
    TBitmap24 work;
    for (auto _ : state) {
        state.PauseTiming();
        work.Assign(image);
        state.ResumeTiming();
        ApplyLutToBitmap(*lut, work);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(image.Width()) * image.Height());
}
BENCHMARK_CAPTURE(BM_ApplyLutToBitmap, lk3D_photo, lk3D, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ApplyLutToBitmap, lk3D_noise, lk3D, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ApplyLutToBitmap, lk1DThen3D_photo, lk1DThen3D, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_ApplyLutToBitmap, lk1D_photo, lk1D, false)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same 3D table on one thread, rated by its processor time: what one CPU does (run under
// taskset -c 0), unaffected by other programs taking turns on a busy machine.
void BM_ApplyLutToBitmapOneThread(benchmark::State& state) {
    SetParallelThreadLimit(1);
    BM_ApplyLutToBitmap(state, lk3D, false);
    SetParallelThreadLimit(0);
}
BENCHMARK(BM_ApplyLutToBitmapOneThread)->Unit(benchmark::kMillisecond);

}  // namespace
