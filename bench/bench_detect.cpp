// Chart detection speed on 1500 x 1000 working images made the way Open makes them (rendered
// at 3000 x 2000, reduced with the resampler): charts of both types in each rotation, small and
// large, tilted, among clutter, and a cluttered picture without a chart (every candidate lattice
// is then tried and rejected). Run on one core: taskset -c 0 build/bench/bench_detect
#include <benchmark/benchmark.h>

#include <map>
#include <stdexcept>
#include <utility>

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

BENCHMARK_CAPTURE(BM_DetectChart, Classic0, 0, true, TChartType::Classic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DetectChart, Classic1, 1, true, TChartType::Classic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DetectChart, Classic2, 2, true, TChartType::Classic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DetectChart, Classic3, 3, true, TChartType::Classic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DetectChart, DigitalSG0, 4, true, TChartType::DigitalSG)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DetectChart, DigitalSG1, 5, true, TChartType::DigitalSG)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DetectChart, DigitalSG2, 6, true, TChartType::DigitalSG)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DetectChart, DigitalSG3, 7, true, TChartType::DigitalSG)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DetectChart, NoChart0, 0, false, TChartType::Classic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DetectChart, NoChart1, 1, false, TChartType::Classic)->Unit(benchmark::kMillisecond);

}  // namespace
