#include "io/ZeroedMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapLargeBlocks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMapLargeBlocks = false;
#else
constexpr bool kMapLargeBlocks = true;
#endif
#else
constexpr bool kMapLargeBlocks = true;
#endif

// The size of a transparent huge page on x86-64 and arm64 with 4 KiB pages; blocks
// from this size on are mapped, and aligned to it so that whole huge pages fit.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Whether the kernel gives transparent huge pages to blocks that ask for them. Where
// it never does, a mapped block would be faulted in 4 KiB at a time on every use,
// slower than calloc's reuse of freed memory.
bool HugePagesOffered() {
    static const bool offered = [] {
        std::FILE* file = std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "re");
        if (file == nullptr) return false;
        std::array<char, 128> line{};
        const bool read = std::fgets(line.data(), static_cast<int>(line.size()), file) != nullptr;
        std::fclose(file);
        return read && std::strstr(line.data(), "[never]") == nullptr;
    }();
    return offered;
}

bool Mapped(std::size_t bytes) { return kMapLargeBlocks && bytes >= kHugePage && HugePagesOffered(); }

std::size_t PageRounded(std::size_t bytes) {
    static const std::size_t page = [] {
        const long size = ::sysconf(_SC_PAGESIZE);
        return size > 0 ? static_cast<std::size_t>(size) : std::size_t{4096};
    }();
    return (bytes + page - 1) / page * page;
}

// Maps `bytes` (page-rounded) at a huge-page boundary: maps one huge page more and
// gives back what lies before the boundary and after the block.
void* MapAligned(std::size_t bytes) {
    const std::size_t length = PageRounded(bytes);
    if (length < bytes || length > SIZE_MAX - kHugePage) return nullptr;
    void* area = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(area);
    const std::size_t head = (kHugePage - start % kHugePage) % kHugePage;
    const std::size_t tail = kHugePage - head;
    std::uint8_t* block = static_cast<std::uint8_t*>(area) + head;
    if (head != 0) ::munmap(area, head);
    if (tail != 0) ::munmap(block + length, tail);
    // Advice only: without huge pages the block is still zeroed memory.
    ::madvise(block, length, MADV_HUGEPAGE);
    return block;
}

// The last mapped block given back, kept for the next request of its length: the
// viewer draws a new bitmap of the same size at every change of window, and clearing
// a block it has touched already is quicker than having the kernel map and zero a
// fresh one. The block's first bytes hold its length while it waits here. Blocks
// beyond the bitmap of a large colour picture go straight back to the kernel.
constexpr std::size_t kMostKept = std::size_t{64} << 20;
std::atomic<void*> g_kept{nullptr};

void* TakeKept(std::size_t length) {
    void* kept = g_kept.exchange(nullptr);
    if (kept == nullptr) return nullptr;
    std::size_t keptLength = 0;
    std::memcpy(&keptLength, kept, sizeof keptLength);
    if (keptLength == length) return kept;
    // Another length: left for a request of its own (stepping frames asks for a frame
    // and a bitmap in turn).
    void* none = nullptr;
    if (!g_kept.compare_exchange_strong(none, kept)) ::munmap(kept, keptLength);
    return nullptr;
}

}  // namespace

void* AllocateZeroed(std::size_t bytes) noexcept {
    if (!Mapped(bytes)) return std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (void* kept = TakeKept(PageRounded(bytes))) {
        std::memset(kept, 0, bytes);
        return kept;
    }
    return MapAligned(bytes);
}

void ReleaseZeroed(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    if (!Mapped(bytes)) {
        std::free(block);
        return;
    }
    const std::size_t length = PageRounded(bytes);
    std::memcpy(block, &length, sizeof length);
    void* none = nullptr;
    if (length > kMostKept || !g_kept.compare_exchange_strong(none, block)) ::munmap(block, length);
}
