#include "common/Progress.h"

#include <algorithm>

namespace tintavo {

void TJobProgress::Start(long long total) {
    CheckCancelled();
    done_.store(0, std::memory_order_relaxed);
    total_.store(std::max(0LL, total), std::memory_order_relaxed);
}

void TJobProgress::Advance(long long units) {
    CheckCancelled();
    done_.fetch_add(units, std::memory_order_relaxed);
}

void TJobProgress::CheckCancelled() const {
    if (Cancelled()) throw ECancelled();
}

double TJobProgress::Fraction() const {
    const long long total = total_.load(std::memory_order_relaxed);
    if (total <= 0) return 0.0;
    return std::clamp(static_cast<double>(done_.load(std::memory_order_relaxed)) / static_cast<double>(total), 0.0,
                      1.0);
}

}  // namespace tintavo
