#include "io/ZeroedMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <array>
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

}  // namespace

void* AllocateZeroed(std::size_t bytes) noexcept {
    if (Mapped(bytes)) return MapAligned(bytes);
    return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void ReleaseZeroed(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    if (Mapped(bytes)) {
        ::munmap(block, PageRounded(bytes));
    } else {
        std::free(block);
    }
}
