#include "common/Parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tintavo {
namespace {

struct ThreadLimitGuard {
    explicit ThreadLimitGuard(int n) { SetParallelThreadLimit(n); }
    ~ThreadLimitGuard() { SetParallelThreadLimit(0); }
};

TEST(ParallelFor, EveryIndexExactlyOnceWhateverTheThreadCount) {
    for (int threads : {1, 2, 3, 7, 64}) {
        for (int count : {1, 2, 5, 100, 1001}) {
            std::vector<std::atomic<int>> hits(static_cast<std::size_t>(count));
            ParallelFor(count, [&](int b, int e) {
                ASSERT_LE(0, b);
                ASSERT_LE(b, e);
                ASSERT_LE(e, count);
                for (int i = b; i < e; ++i) hits[static_cast<std::size_t>(i)]++;
            }, {threads, -1});
            for (int i = 0; i < count; ++i) EXPECT_EQ(hits[static_cast<std::size_t>(i)], 1) << threads << " " << count << " " << i;
        }
    }
}

TEST(ParallelFor, SmallWorkAndEmptyRangesStayOnTheCallersThread) {
    const auto caller = std::this_thread::get_id();
    int calls = 0;
    ParallelFor(1000, [&](int b, int e) {
        ++calls;
        EXPECT_EQ(std::this_thread::get_id(), caller);
        EXPECT_EQ(b, 0);
        EXPECT_EQ(e, 1000);
    }, {8, MinParallelWork - 1});
    EXPECT_EQ(calls, 1);
    ParallelFor(0, [&](int, int) { ++calls; });
    EXPECT_EQ(calls, 1);
}

TEST(ParallelFor, ErrorsOfWorkersReachTheCallerAfterAllStripsFinish) {
    std::atomic<int> finished{0};
    try {
        ParallelFor(4, [&](int b, int) {
            if (b == 3) throw std::runtime_error("strip 3 failed");
            if (b == 1) throw std::invalid_argument("strip 1 failed");
            finished++;
        }, {4, -1});
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "strip 1 failed");  // the lowest failing strip wins
    }
    EXPECT_EQ(finished.load(), 2);
}

TEST(ParallelFor, ThreadLimitIsProcessWideAndRestorable) {
    {
        ThreadLimitGuard one(1);
        EXPECT_EQ(ParallelThreadLimit(), 1);
        const auto caller = std::this_thread::get_id();
        ParallelFor(100, [&](int, int) { EXPECT_EQ(std::this_thread::get_id(), caller); });
    }
    EXPECT_GE(ParallelThreadLimit(), 1);
    EXPECT_EQ(ParallelThreadLimit(), static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
}

// A worker that the system refuses to start must not terminate the program: its strip runs on
// the caller's thread instead.
TEST(ParallelFor, RefusedThreadsRunOnTheCaller) {
    RefuseThreadStartsForTesting(true);
    const auto caller = std::this_thread::get_id();
    std::vector<int> hits(50, 0);
    int strips = 0;
    ParallelFor(50, [&](int b, int e) {
        ++strips;
        EXPECT_EQ(std::this_thread::get_id(), caller);
        for (int i = b; i < e; ++i) hits[static_cast<std::size_t>(i)]++;
    }, {8, -1});
    RefuseThreadStartsForTesting(false);
    EXPECT_EQ(strips, 8);
    for (int h : hits) EXPECT_EQ(h, 1);
}

}  // namespace
}  // namespace tintavo
