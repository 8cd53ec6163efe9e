// Writing and reading LUT files: Cube 3D at 65 and 101 points, 3DL at 65 points.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "formats/Formats3DDecimal.h"
#include "formats/Formats3DInteger.h"

namespace tintavo {
namespace {

std::string BenchFile(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("tintavo-bench-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

std::unique_ptr<TLUT> SampleLut(int n) {
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk3D;
    lut->Size3D = n;
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b) {
                const double x = double(r) / (n - 1), y = double(g) / (n - 1), z = double(b) / (n - 1);
                lut->Table3D[r][g][b] = {std::pow(x, 0.8) * 0.9 + 0.05 * y, y * y * 0.7 + 0.2 * z, std::sqrt(z) * 0.95};
            }
    return lut;
}

template <typename Format>
void WriteBench(benchmark::State& state, const char* ext, int bits) {
    const int n = static_cast<int>(state.range(0));
    auto lut = SampleLut(n);
    Format format;
    const std::string file = BenchFile(std::string("w.") + ext);
    for (auto _ : state) format.Save(file, *lut, bits);
    const auto bytes = std::filesystem::file_size(file);
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["file_MB"] = double(bytes) / 1e6;
    std::filesystem::remove(file);
}

template <typename Format>
void ReadBench(benchmark::State& state, const char* ext, int bits) {
    const int n = static_cast<int>(state.range(0));
    auto lut = SampleLut(n);
    Format format;
    const std::string file = BenchFile(std::string("r.") + ext);
    format.Save(file, *lut, bits);
    auto back = std::make_unique<TLUT>();
    for (auto _ : state) {
        format.Load(file, *back);
        benchmark::DoNotOptimize(back->Table3D[n - 1][n - 1][n - 1]);
    }
    if (back->Size3D != n) state.SkipWithError("size read back differs");
    const auto bytes = std::filesystem::file_size(file);
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    std::filesystem::remove(file);
}

void BM_Cube3DWrite(benchmark::State& state) { WriteBench<TCube3DLutFormat>(state, "cube", 0); }
void BM_Cube3DRead(benchmark::State& state) { ReadBench<TCube3DLutFormat>(state, "cube", 0); }
void BM_3dlWrite(benchmark::State& state) { WriteBench<T3dlLutFormat>(state, "3dl", 12); }
void BM_3dlRead(benchmark::State& state) { ReadBench<T3dlLutFormat>(state, "3dl", 12); }

BENCHMARK(BM_Cube3DWrite)->Arg(65)->Arg(101)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cube3DRead)->Arg(65)->Arg(101)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_3dlWrite)->Arg(65)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_3dlRead)->Arg(65)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tintavo
