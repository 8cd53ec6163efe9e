#include "common/Parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace tintavo {

namespace {

std::atomic<int> gThreadLimit{0};
std::atomic<bool> gRefuseThreads{false};

int DefaultThreads() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

}  // namespace

void SetParallelThreadLimit(int threads) { gThreadLimit.store(std::max(0, threads), std::memory_order_relaxed); }

void RefuseThreadStartsForTesting(bool refuse) { gRefuseThreads.store(refuse); }

int ParallelThreadLimit() {
    const int limit = gThreadLimit.load(std::memory_order_relaxed);
    return limit > 0 ? limit : DefaultThreads();
}

void ParallelFor(int count, const std::function<void(int, int)>& body, const TParallelOptions& options) {
    if (count <= 0) return;
    int threads = options.MaxThreads > 0 ? options.MaxThreads : ParallelThreadLimit();
    if (options.Work >= 0 && options.Work < MinParallelWork) threads = 1;
    threads = std::max(1, std::min(threads, count));
    if (threads == 1) {
        body(0, count);
        return;
    }

    auto bound = [&](int t) { return static_cast<int>(static_cast<long long>(count) * t / threads); };
    std::vector<std::exception_ptr> errors(static_cast<std::size_t>(threads));
    auto runStrip = [&](int t) {
        try {
            body(bound(t), bound(t + 1));
        } catch (...) {
            errors[static_cast<std::size_t>(t)] = std::current_exception();
        }
    };

    std::vector<std::thread> pool;
    std::vector<int> refused;  // strips whose thread could not be started
    pool.reserve(static_cast<std::size_t>(threads - 1));
    for (int t = 1; t < threads; ++t) {
        try {
            if (gRefuseThreads.load(std::memory_order_relaxed))
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            pool.emplace_back(runStrip, t);
        } catch (const std::system_error&) {
            refused.push_back(t);
        }
    }
    runStrip(0);
    for (int t : refused) runStrip(t);
    for (std::thread& th : pool) th.join();
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
}

}  // namespace tintavo
