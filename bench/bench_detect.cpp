// Chart detection speed on 1500 x 1000 working images made the way Open makes them (rendered
// at 3000 x 2000, reduced with the resampler): charts of both types in each rotation, small and
// large, tilted, among clutter, and a cluttered picture without a chart (every candidate lattice
// is then tried and rejected). The contrib module's colour-chart detector (chart type given) runs
// on the same pictures as the peer. Run on one core: taskset -c 0 build/bench/bench_detect. The CPU
// column is the whole process's time (OpenCV may use threads of its own); on a busy machine the
// wall-clock Time column holds the waits for the core as well.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <utility>

#include <opencv2/core.hpp>
#include <opencv2/mcc.hpp>

#include "engine/ChartDetect.h"
#include "picture/Picture.h"
#include "tools/SceneRender.h"

namespace {

using namespace tintavo;

// Scenes of the varied set (seed 9) at 3000 x 2000, kept once made.
const TBitmap24& WorkingScene(int index, bool withChart, TChartType chart) {
    static std::map<std::pair<int, bool>, TBitmap24> cache;
    auto found = cache.find({index, withChart});
    if (found != cache.end()) return found->second;
    scene::TVariedScene v = scene::VariedScene(9, index, withChart, chart);
    if (v.Scene.Width != 3000) {
        // The same pose on a 3000 x 2000 picture.
        const double sx = 3000.0 / v.Scene.Width, sy = 2000.0 / v.Scene.Height;
        for (TPointF& p : v.Scene.Grid) p.X *= sx, p.Y *= sy;
        v.Scene.Blur *= sx;
        v.Scene.Width = 3000, v.Scene.Height = 2000;
    }
    TBitmap24 picture, work;
    scene::RenderScene(v.Scene, picture);
    MakeWorkingBitmap(picture, work);
    return cache.emplace(std::pair{index, withChart}, std::move(work)).first->second;
}

void BM_DetectChart(benchmark::State& state, int index, bool withChart, TChartType chart) {
    const TBitmap24& work = WorkingScene(index, withChart, chart);
    for (auto _ : state) {
        const auto found = DetectChart(work);
        if (found.has_value() != withChart) state.SkipWithError("wrong detection result");
        benchmark::DoNotOptimize(found);
    }
}

// The peer, told the chart type; it reports a chart or none.
void BM_ContribDetector(benchmark::State& state, int index, bool withChart, TChartType chart) {
    const TBitmap24& work = WorkingScene(index, withChart, chart);
    const cv::Mat bgr(work.Height(), work.Width(), CV_8UC3, const_cast<std::uint8_t*>(work.Bits()),
                      static_cast<std::size_t>(work.Stride()));
    for (auto _ : state) {
        auto detector = cv::mcc::CCheckerDetector::create();
        const bool found = detector->process(bgr, chart == TChartType::Classic ? cv::mcc::MCC24 : cv::mcc::SG140, 1);
        benchmark::DoNotOptimize(found);
    }
}

BENCHMARK_CAPTURE(BM_DetectChart, Classic0, 0, true, TChartType::Classic)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_DetectChart, Classic1, 1, true, TChartType::Classic)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_DetectChart, Classic2, 2, true, TChartType::Classic)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_DetectChart, Classic3, 3, true, TChartType::Classic)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_DetectChart, DigitalSG0, 4, true, TChartType::DigitalSG)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_DetectChart, DigitalSG1, 5, true, TChartType::DigitalSG)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_DetectChart, DigitalSG2, 6, true, TChartType::DigitalSG)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_DetectChart, DigitalSG3, 7, true, TChartType::DigitalSG)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_DetectChart, NoChart0, 0, false, TChartType::Classic)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_DetectChart, NoChart1, 1, false, TChartType::Classic)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_ContribDetector, Classic0, 0, true, TChartType::Classic)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_ContribDetector, DigitalSG0, 4, true, TChartType::DigitalSG)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_ContribDetector, NoChart0, 0, false, TChartType::Classic)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
