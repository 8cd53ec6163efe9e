// One parallel loop for the whole core: the calibration grid, LUT application and resampling
// all split their work into contiguous strips of an index range and run one strip per thread.
//
// Every index is handled by exactly one call of the body, with the same arithmetic whatever the
// number of threads, so results are bit-identical to a single-threaded run. The caller's thread
// takes the first strip. An exception thrown by any strip reaches the caller (the one of the
// lowest strip when several throw) after every strip has finished. A thread that the system
// refuses to start never terminates the program: its strip runs on the caller's thread instead.
#pragma once

#include <functional>

namespace tintavo {

struct TParallelOptions {
    // Upper bound on threads for this loop; 0 means the process-wide limit (ParallelThreadLimit).
    int MaxThreads = 0;
    // Estimated cost of the whole loop in arbitrary units (roughly one per simple operation), or
    // a negative value when unknown. Starting a thread costs tens of microseconds, so a loop
    // below MinParallelWork runs on the caller's thread alone.
    long long Work = -1;
};

constexpr long long MinParallelWork = 200'000;

// Runs body(begin, end) over [0, count) in at most one strip per thread.
void ParallelFor(int count, const std::function<void(int begin, int end)>& body,
                 const TParallelOptions& options = {});

// The process-wide default number of threads: one per core unless set. SetParallelThreadLimit(0)
// restores the default. Tests use it to compare one thread with many.
void SetParallelThreadLimit(int threads);
int ParallelThreadLimit();

// Test hook: while set, every attempt to start a worker thread fails as if the system had
// refused it (std::system_error), so tests can prove that the loop survives it.
void RefuseThreadStartsForTesting(bool refuse);

}  // namespace tintavo
