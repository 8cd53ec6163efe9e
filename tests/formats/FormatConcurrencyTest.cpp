// Several threads loading different files through the registry's one object per format.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "formats/Formats3DDecimal.h"
#include "formats/LUTFormat.h"
#include "FrameworkTestUtil.h"

namespace tintavo {
namespace {

using testfw::TempDir;

// What one load gave: kind, sizes, comments and the entries in use.
struct TLoaded {
    TLutKind Kind = lk1D;
    int Size1D = 0;
    int Size3D = 0;
    std::vector<std::string> Comments;
    std::vector<double> Entries;

    explicit TLoaded(const TLUT& lut)
        : Kind(lut.LutKind), Size1D(lut.Size1D), Size3D(lut.Size3D), Comments(lut.Comments) {
        const bool uses3D = Kind == lk3D || Kind == lk1DThen3D;
        const bool uses1D = Kind == lk1D || Kind == lk1DThen3D;
        for (int r = 0; uses3D && r < Size3D; ++r)
            for (int g = 0; g < Size3D; ++g)
                for (int b = 0; b < Size3D; ++b) Add(lut.Table3D[r][g][b]);
        for (int i = 0; uses1D && i < Size1D; ++i) Add(lut.Table1D[i]);
    }
    void Add(const TLutColor& c) { Entries.insert(Entries.end(), {c.R, c.G, c.B}); }
    bool operator==(const TLoaded& other) const {
        return Kind == other.Kind && Size1D == other.Size1D && Size3D == other.Size3D &&
               Comments == other.Comments && Entries == other.Entries;
    }
};

struct TJob {
    int FormatIndex;
    std::string File;
    TLoaded Expected;  // the file loaded on one thread
};

// Tables differ per file (size and values), so a load that picked up another thread's size,
// position or scale shows in the entries.
void FillDistinct(TLUT& lut, bool is3D, int size, int seed) {
    if (is3D) {
        lut.SetIdentity3D(size);
        for (int r = 0; r < size; ++r)
            for (int g = 0; g < size; ++g)
                for (int b = 0; b < size; ++b) {
                    TLutColor& c = lut.Table3D[r][g][b];
                    c.R = (c.R * (seed + 1) + 0.1 * g) / (seed + 2);
                    c.B = 1.0 - c.B * 0.5;
                }
    } else {
        lut.SetIdentity1D(size);
        for (int i = 0; i < size; ++i) lut.Table1D[i].G = 1.0 - lut.Table1D[i].G / (seed + 1);
    }
}

// As fresh as a new TLUT in what a load sets.
void Reset(TLUT& lut) {
    lut.LutKind = lk1D;
    lut.Size1D = lut.Size3D = 0;
    lut.Comments.clear();
}

TEST(ConcurrentLoadTest, ThreadsLoadDifferentFilesThroughTheSameFormatObjects) {
    TempDir dir;
    // Two files of different sizes per format: cube, 3dl, Nucoda (its own load), Lustre 3D,
    // Davinci DAT (sized in Prepare), Cube 1D, Codex 1D (channel state), Clipster (XML).
    struct TPlan {
        int ProfileNumber;
        int Sizes[2];
    };
    const TPlan plans[] = {{8, {9, 17}}, {2, {17, 33}}, {14, {9, 13}}, {3, {33, 33}}, {10, {17, 33}},
                           {25, {300, 1100}}, {23, {700, 1024}}, {4, {17, 17}}};
    std::vector<TJob> jobs;
    auto scratch = std::make_unique<TLUT>();
    int seed = 0;
    for (const TPlan& plan : plans) {
        const TLutOutputProfile& profile = *GetOutputProfile(plan.ProfileNumber - 1);
        const TLUTFormat& format = *GetLutFormat(profile.FormatIndex);
        for (int size : plan.Sizes) {
            const std::string file = dir.File("f" + std::to_string(seed) + "." + profile.Extension);
            FillDistinct(*scratch, format.Is3D, size, seed++);
            format.Save(file, *scratch, profile.DefaultBits);
            Reset(*scratch);
            format.Load(file, *scratch);
            jobs.push_back({profile.FormatIndex, file, TLoaded(*scratch)});
        }
    }

    // Every thread runs every job, each starting at another one, so that the two files of a
    // format are being read through its one object at the same time.
    constexpr int Threads = 4;
    constexpr int Rounds = 6;
    std::atomic<int> failures{0};
    std::atomic<int> loads{0};
    std::vector<std::string> firstProblem(Threads);
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&, t] {
            auto lut = std::make_unique<TLUT>();  // one per thread
            for (int round = 0; round < Rounds; ++round)
                for (std::size_t k = 0; k < jobs.size(); ++k) {
                    const TJob& job = jobs[(k + static_cast<std::size_t>(t)) % jobs.size()];
                    const TLUTFormat& format = *GetLutFormat(job.FormatIndex);
                    Reset(*lut);
                    try {
                        format.Load(job.File, *lut);
                        ++loads;
                        if (TLoaded(*lut) == job.Expected) continue;
                        if (firstProblem[t].empty()) firstProblem[t] = format.Name + ": other entries";
                    } catch (const std::exception& e) {
                        if (firstProblem[t].empty()) firstProblem[t] = format.Name + ": " + e.what();
                    }
                    ++failures;
                }
        });
    for (auto& th : threads) th.join();
    for (int t = 0; t < Threads; ++t) EXPECT_EQ("", firstProblem[t]) << "thread " << t;
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(Threads * Rounds * static_cast<int>(jobs.size()), loads.load());
}

// A class that does not make fresh objects of its own class would parse with its base class's
// rules; the first load says so instead.
class TForgetfulCube : public TCube3DLutFormat {
protected:
    void ParseLine(const std::string&, TLUT&) override {}
};

TEST(ConcurrentLoadTest, AFormatWithoutItsOwnParserIsCaught) {
    TempDir dir;
    testfw::WriteBytes(dir.File("a.cube"), "LUT_3D_SIZE 2\n");
    auto lut = std::make_unique<TLUT>();
    EXPECT_THROW(TForgetfulCube().Load(dir.File("a.cube"), *lut), std::logic_error);
}

}  // namespace
}  // namespace tintavo
