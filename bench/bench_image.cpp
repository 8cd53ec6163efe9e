// Opening a 6000 x 4000 JPEG photograph into the 1500 x 1000 working bitmap: the decoding and
// the Lanczos3 reduction timed separately, then the whole Open command.
//
// The photograph is synthetic (smooth shading, edges and sensor-like noise, quality 92, about 5 MB) and is
// written once to $TINTAVO_BENCH_JPEG (default /tmp/tintavo-bench-6000x4000.jpg), where
// bench/compare_vips.sh finds it for libvips.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "common/FileIO.h"
#include "common/Parallel.h"
#include "lut/ImageResize2.h"
#include "picture/Picture.h"

namespace {

using namespace tintavo;

std::string BenchJpegPath() {
    const char* env = std::getenv("TINTAVO_BENCH_JPEG");
    return env && *env ? env : "/tmp/tintavo-bench-6000x4000.jpg";
}

const std::string& BenchJpeg() {
    static const std::string path = [] {
        const std::string p = BenchJpegPath();
        if (!std::filesystem::exists(p)) {
            TBitmap24 b(6000, 4000);
            std::mt19937 rng(42);
            std::normal_distribution<float> noise(0.0f, 6.0f);
            for (int y = 0; y < 4000; ++y) {
                std::uint8_t* row = b.ScanLine(y);
                for (int x = 0; x < 6000; ++x) {
                    // Shaded tiles like a chart on a table, with noise.
                    const bool tile = ((x / 400) + (y / 400)) % 3 == 0;
                    const float base[3] = {tile ? 180.0f : 90.0f + 60.0f * std::sin(x * 0.001f),
                                           tile ? 60.0f : 110.0f + 40.0f * std::cos(y * 0.0013f),
                                           70.0f + 100.0f * (x + y) / 10000.0f};
                    for (int k = 0; k < 3; ++k) {
                        const float v = base[k] + noise(rng);
                        row[3 * x + 2 - k] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
                    }
                }
            }
            SavePicture(p, b, 92);
        }
        return p;
    }();
    return path;
}

// Decoding alone, into a bitmap that is reused between iterations (as the Open command does).
void BM_DecodeJpeg6000x4000(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(BenchJpeg());
    TBitmap24 picture;
    for (auto _ : state) {
        LoadPictureFromMemory(bytes.data(), bytes.size(), "bench", picture);
        benchmark::DoNotOptimize(picture.Bits());
    }
    state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_DecodeJpeg6000x4000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The Lanczos3 reduction 6000 x 4000 -> 1500 x 1000 (MakeWorkingBitmap) on 1 or 2 threads;
// arg 2 = 1: the scalar kernel instead of AVX2.
void BM_ResampleToWorking(benchmark::State& state) {
    TBitmap24 picture, work;
    LoadPicture(BenchJpeg(), picture);
    SetParallelThreadLimit(static_cast<int>(state.range(0)));
    SetResampleScalarOnly(state.range(1) != 0);
    for (auto _ : state) {
        MakeWorkingBitmap(picture, work);
        benchmark::DoNotOptimize(work.Bits());
    }
    SetParallelThreadLimit(0);
    SetResampleScalarOnly(false);
}
BENCHMARK(BM_ResampleToWorking)
    ->ArgNames({"threads", "scalar"})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The whole Open command: read the file, decode, reduce.
void BM_OpenCalibrationPicture(benchmark::State& state) {
    const std::string& file = BenchJpeg();
    TBitmap24 work;
    for (auto _ : state) {
        OpenCalibrationPicture(file, work);
        benchmark::DoNotOptimize(work.Bits());
    }
}
BENCHMARK(BM_OpenCalibrationPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first Open of a run pays for fresh memory (page faults) as well: a new thread each time,
// so its per-thread buffers start empty.
void BM_OpenCalibrationPictureColdBuffers(benchmark::State& state) {
    const std::string& file = BenchJpeg();
    TBitmap24 work;
    for (auto _ : state) {
        std::thread t([&] { OpenCalibrationPicture(file, work); });
        t.join();
        benchmark::DoNotOptimize(work.Bits());
    }
}
BENCHMARK(BM_OpenCalibrationPictureColdBuffers)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
