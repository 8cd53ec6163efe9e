// Opening a 6000 x 4000 JPEG photograph into the 1500 x 1000 working bitmap: the decoding and
// the Lanczos3 reduction timed separately, then the whole Open command.
//
// The photograph is synthetic (smooth shading, edges and sensor-like noise, quality 92, about 5 MB) and is
// written once to $TINTAVO_BENCH_JPEG (default /tmp/tintavo-bench-6000x4000.jpg), where
// bench/compare_vips.sh finds it for libvips. The Open command is also timed on a 12000 x 8000
// picture (/tmp/tintavo-bench-12000x8000.jpg), with the memory it leaves behind.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include <sys/resource.h>

#include "common/FileIO.h"
#include "common/Parallel.h"
#include "lut/ImageResize2.h"
#include "lut/LUT.h"
#include "picture/Picture.h"

namespace {

using namespace tintavo;

// A synthetic photograph of the given size, written once: shaded tiles like a chart on a table,
// with sensor-like noise, quality 92.
std::string MakeBenchJpeg(const std::string& path, int width, int height) {
    if (!std::filesystem::exists(path)) {
        TBitmap24 b(width, height);
        std::mt19937 rng(42);
        std::normal_distribution<float> noise(0.0f, 6.0f);
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = b.ScanLine(y);
            for (int x = 0; x < width; ++x) {
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
        SavePicture(path, b, 92);
    }
    return path;
}

const std::string& BenchJpeg() {
    static const std::string path = [] {
        const char* env = std::getenv("TINTAVO_BENCH_JPEG");
        return MakeBenchJpeg(env && *env ? env : "/tmp/tintavo-bench-6000x4000.jpg", 6000, 4000);
    }();
    return path;
}

// Close to the largest picture the program accepts (100 megapixels).
const std::string& BenchJpeg96MP() {
    static const std::string path = MakeBenchJpeg("/tmp/tintavo-bench-12000x8000.jpg", 12000, 8000);
    return path;
}

// A field of /proc/self/status ("VmRSS": resident now, "VmHWM": the peak) in MB.
double StatusMB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(key.size())) / 1024.0;
    return 0.0;
}

// Starts a new peak (Linux: writing 5 to clear_refs resets VmHWM to the current resident size).
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// User and system time of every thread of the process so far, in ms.
double ProcessCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
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

// The whole Open command: read the file, decode, reduce; arg 0 = 24 megapixels (6000 x 4000),
// 1 = 96 megapixels (12000 x 8000). Run alone in its process (--benchmark_filter) for the memory
// counters: resident_MB is what the process holds after the opens beyond what it held before
// (the 1500 x 1000 working bitmap is 4.3 MB of it), peak_MB the most it held during them.
void BM_OpenCalibrationPicture(benchmark::State& state) {
    const std::string& file = state.range(0) == 0 ? BenchJpeg() : BenchJpeg96MP();
    TBitmap24 work;
    const double before = StatusMB("VmRSS");
    ResetPeak();
    for (auto _ : state) {
        OpenCalibrationPicture(file, work);
        benchmark::DoNotOptimize(work.Bits());
    }
    state.counters["resident_MB"] = StatusMB("VmRSS") - before;
    state.counters["peak_MB"] = StatusMB("VmHWM") - before;
}
BENCHMARK(BM_OpenCalibrationPicture)->ArgName("big")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The Open command on a new thread each time. Nothing is kept per thread between opens, so this
// costs what the one above costs; were buffers kept per thread, the first open on a thread
// would pay for fresh memory (page faults) here.
void BM_OpenCalibrationPictureColdBuffers(benchmark::State& state) {
    const std::string& file = BenchJpeg();
    TBitmap24 work;
    const double before = ProcessCpuMs();
    for (auto _ : state) {
        std::thread t([&] { OpenCalibrationPicture(file, work); });
        t.join();
        benchmark::DoNotOptimize(work.Bits());
    }
    state.counters["process_cpu_ms"] = (ProcessCpuMs() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_OpenCalibrationPictureColdBuffers)->Unit(benchmark::kMillisecond)->UseRealTime();

// A 6000 x 4000 16-bit TIFF of the same scene (written once to $TINTAVO_BENCH_TIFF16, default
// /tmp/tintavo-bench-6000x4000-16.tif), with the noise below a 16-bit level as well.
const std::string& BenchTiff16() {
    static const std::string path = [] {
        const char* env = std::getenv("TINTAVO_BENCH_TIFF16");
        const std::string file = env && *env ? env : "/tmp/tintavo-bench-6000x4000-16.tif";
        if (!std::filesystem::exists(file)) {
            TPreciseImage image(6000, 4000);
            std::mt19937 rng(43);
            std::normal_distribution<float> noise(0.0f, 6.0f / 255.0f);
            for (int y = 0; y < image.Height(); ++y) {
                float* row = image.Row(y);
                for (int x = 0; x < image.Width(); ++x) {
                    const bool tile = ((x / 400) + (y / 400)) % 3 == 0;
                    const float base[3] = {tile ? 0.7f : 0.35f + 0.23f * std::sin(x * 0.001f),
                                           tile ? 0.24f : 0.43f + 0.16f * std::cos(y * 0.0013f),
                                           0.27f + 0.39f * (x + y) / 10000.0f};
                    for (int k = 0; k < 3; ++k) row[3 * x + k] = std::clamp(base[k] + noise(rng), 0.0f, 1.0f);
                }
            }
            SavePreciseImage(file, image, TSampleDepth::Bits16);
        }
        return file;
    }();
    return path;
}

// Opening the 16-bit TIFF: arg 1 keeps the precise working image (the default for a deep
// picture), arg 0 makes the 8-bit working image alone, as for every picture before.
void BM_OpenTiff16(benchmark::State& state) {
    const std::string& file = BenchTiff16();
    TWorkingPicture picture;
    const TPrecision precision = state.range(0) ? TPrecision::Auto : TPrecision::Never;
    const double before = ProcessCpuMs();
    for (auto _ : state) {
        OpenCalibrationPicture(file, picture, precision);
        benchmark::DoNotOptimize(picture.Bitmap.Bits());
    }
    // Every thread's processor time: on a busy machine the fair figure.
    state.counters["process_cpu_ms"] = (ProcessCpuMs() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_OpenTiff16)->ArgName("precise")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A curved 33-point cube, as a calibration makes.
std::unique_ptr<TLUT> BenchCube() {
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk3D;
    lut->Size3D = 33;
    for (int r = 0; r < 33; ++r)
        for (int g = 0; g < 33; ++g)
            for (int b = 0; b < 33; ++b) {
                const double x = r / 32.0, y = g / 32.0, z = b / 32.0;
                lut->Table3D[r][g][b] = {0.9 * std::pow(x, 0.8) + 0.1 * z, 0.05 + 0.9 * y * y + 0.05 * x,
                                         0.5 * std::pow(z + y * x, 1.3)};
            }
    return lut;
}

// A 33-point cube applied to the decoded 16-bit 6000 x 4000 TIFF in floating point (the work of
// apply between reading and writing): arg 0 trilinear, 1 tetrahedral; threads 1 or 2.
// bench/compare_ocio.sh times OpenColorIO's CPU processor on the same samples beside it.
void BM_ApplyLutToImage6000x4000(benchmark::State& state) {
    static TPreciseImage decoded;
    if (decoded.Empty()) LoadPreciseImage(BenchTiff16(), decoded);
    const auto lut = BenchCube();
    const TLutInterpolation interp = state.range(0) ? TLutInterpolation::Tetrahedral : TLutInterpolation::Trilinear;
    SetParallelThreadLimit(static_cast<int>(state.range(1)));
    TPreciseImage image = decoded;
    double applyCpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(image.Row(0), decoded.Row(0), sizeof(float) * 3 * 6000 * 4000);
        const double before = ProcessCpuMs();
        state.ResumeTiming();
        ApplyLutToImage(*lut, image, interp);
        benchmark::DoNotOptimize(image.Row(0));
        state.PauseTiming();
        applyCpu += ProcessCpuMs() - before;
        state.ResumeTiming();
    }
    state.counters["process_cpu_ms"] = applyCpu / static_cast<double>(state.iterations());
    SetParallelThreadLimit(0);
    state.counters["Mpix/s"] = benchmark::Counter(24.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ApplyLutToImage6000x4000)
    ->ArgNames({"tetrahedral", "threads"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 2})
    ->Args({1, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
