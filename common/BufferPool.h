// A pool of scratch buffers shared by the threads of one job: a thread takes a buffer, uses it
// alone, and gives it back, so each buffer is allocated (and its pages first touched) once per
// job instead of once per call.
#pragma once

#include <mutex>
#include <utility>
#include <vector>

namespace tintavo {

template <class TBuffer>
class TBufferPool {
public:
    // A free buffer, or a new one from make() when none is free.
    template <class TMake>
    TBuffer Take(TMake make) {
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (!free_.empty()) {
                TBuffer buffer = std::move(free_.back());
                free_.pop_back();
                return buffer;
            }
        }
        return make();
    }
    void GiveBack(TBuffer buffer) {
        std::lock_guard<std::mutex> lock(lock_);
        free_.push_back(std::move(buffer));
    }
    // Frees every buffer given back so far.
    void Clear() {
        std::lock_guard<std::mutex> lock(lock_);
        free_.clear();
    }

private:
    std::mutex lock_;
    std::vector<TBuffer> free_;
};

}  // namespace tintavo
