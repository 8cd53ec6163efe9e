// TPixelBuffer: the memory of a bitmap or of another large working buffer of the pixel code.
//
// Fresh memory costs a page fault for every 4 KB the first time it is touched, and on some
// machines a fault costs several microseconds: a 72 MB picture took half a second to touch.
// Keeping buffers for the life of the program avoids that, but keeps the memory. So a large
// buffer is taken from the system in whole 2 MB pieces, aligned and marked for huge pages (one
// fault then maps 2 MB where the system allows it), and given back to the system as soon as it
// is freed. Small buffers come from the ordinary heap. Builds with AddressSanitizer take every
// buffer from the heap, so that the sanitizer watches them all.
//
// The bytes of a new buffer are zero.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tintavo {

class TPixelBuffer {
public:
    TPixelBuffer() = default;
    explicit TPixelBuffer(std::size_t bytes);
    ~TPixelBuffer() { Release(); }
    TPixelBuffer(TPixelBuffer&& other) noexcept;
    TPixelBuffer& operator=(TPixelBuffer&& other) noexcept;
    TPixelBuffer(const TPixelBuffer&) = delete;
    TPixelBuffer& operator=(const TPixelBuffer&) = delete;

    std::uint8_t* Data() { return data_; }
    const std::uint8_t* Data() const { return data_; }
    std::size_t Size() const { return size_; }

    // Gives the memory back; the buffer becomes empty.
    void Release();

    // Buffers of at least this many bytes are taken straight from the system.
    static constexpr std::size_t LargeBytes = 256u << 10;

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0;  // bytes mapped from the system, 0 for heap memory
};

// A block of `bytes` zero bytes for an object that holds large tables in place (a TLUT is 27 MB):
// taken from the system in huge pages like a large TPixelBuffer, given back by FreeLargeBlock
// with the same size. Raises std::bad_alloc.
void* AllocateLargeBlock(std::size_t bytes);
void FreeLargeBlock(void* block, std::size_t bytes) noexcept;

}  // namespace tintavo
