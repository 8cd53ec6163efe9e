// Progress and cancellation of one long job (tabulating a large table, writing it), shared
// between the thread that runs the job and the one that watches it.
//
// The job says how much there is to do (Start) and reports units as it finishes them (Advance,
// from any of its threads). Any thread may Cancel; the job's next Advance then raises
// ECancelled, which leaves the job the way every other error does: temporaries released,
// nothing written. The watcher reads Fraction whenever it likes; no callback crosses threads.
#pragma once

#include <atomic>
#include <stdexcept>

namespace tintavo {

// A job stopped by its user.
class ECancelled : public std::runtime_error {
public:
    ECancelled() : std::runtime_error("Cancelled.") {}
};

class TJobProgress {
public:
    // Begins a stage of `total` units; the fraction done goes back to 0.
    void Start(long long total);
    // `units` more are done. Raises ECancelled once the job has been cancelled.
    void Advance(long long units = 1);
    // Raises ECancelled once the job has been cancelled.
    void CheckCancelled() const;

    void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
    // Done / total of the current stage, 0..1 (0 before any stage).
    double Fraction() const;

private:
    std::atomic<long long> done_{0};
    std::atomic<long long> total_{0};
    std::atomic<bool> cancelled_{false};
};

}  // namespace tintavo
