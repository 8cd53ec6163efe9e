#include "lut/PixelBuffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define TINTAVO_HEAP_BUFFERS_ONLY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TINTAVO_HEAP_BUFFERS_ONLY 1
#endif
#endif

namespace tintavo {

#ifndef TINTAVO_HEAP_BUFFERS_ONLY
namespace {

constexpr std::size_t HugePage = 2u << 20;

// `bytes` rounded up to whole huge pages, at an address that is a multiple of a huge page:
// more is mapped than needed and the ragged ends are unmapped again.
std::uint8_t* MapHugePages(std::size_t bytes, std::size_t& mapped) {
    mapped = (bytes + HugePage - 1) / HugePage * HugePage;
    void* p = ::mmap(nullptr, mapped + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    auto* raw = static_cast<std::uint8_t*>(p);
    const std::size_t skip = (HugePage - reinterpret_cast<std::uintptr_t>(raw) % HugePage) % HugePage;
    if (skip > 0) ::munmap(raw, skip);
    ::munmap(raw + skip + mapped, HugePage - skip);
    std::uint8_t* aligned = raw + skip;
#ifdef MADV_HUGEPAGE
    ::madvise(aligned, mapped, MADV_HUGEPAGE);  // only advice: small pages where it is not taken
#endif
    return aligned;
}

}  // namespace
#endif

TPixelBuffer::TPixelBuffer(std::size_t bytes) {
    if (bytes == 0) return;
#ifndef TINTAVO_HEAP_BUFFERS_ONLY
    if (bytes >= LargeBytes) {
        data_ = MapHugePages(bytes, mapped_);
        size_ = bytes;
        return;
    }
#endif
    data_ = static_cast<std::uint8_t*>(std::calloc(bytes, 1));
    if (data_ == nullptr) throw std::bad_alloc();
    size_ = bytes;
}

TPixelBuffer::TPixelBuffer(TPixelBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

TPixelBuffer& TPixelBuffer::operator=(TPixelBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

void TPixelBuffer::Release() {
    if (data_ == nullptr) return;
    if (mapped_ > 0) ::munmap(data_, mapped_);
    else std::free(data_);
    data_ = nullptr;
    size_ = 0;
    mapped_ = 0;
}

void* AllocateLargeBlock(std::size_t bytes) {
#ifndef TINTAVO_HEAP_BUFFERS_ONLY
    if (bytes >= TPixelBuffer::LargeBytes) {
        std::size_t mapped = 0;
        return MapHugePages(bytes, mapped);
    }
#endif
    void* block = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void FreeLargeBlock(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
#ifndef TINTAVO_HEAP_BUFFERS_ONLY
    if (bytes >= TPixelBuffer::LargeBytes) {
        ::munmap(block, (bytes + HugePage - 1) / HugePage * HugePage);
        return;
    }
#endif
    (void)bytes;
    std::free(block);
}

}  // namespace tintavo
