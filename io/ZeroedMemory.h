// Memory for decoded frames and bitmaps: every byte 0 when handed out, without
// clearing it a second time. Where the kernel offers transparent huge pages, a frame
// or bitmap of 2 MiB or more is mapped straight from the kernel, whose pages come
// zeroed, on 2 MiB boundaries with huge pages asked for: writing a 2048 x 2048 frame
// then takes a few page faults instead of one per 4 KiB page, and no pass of zeroes
// before the decoder's own. Other blocks come from calloc. Builds under AddressSanitizer take everything
// from calloc, so that the sanitizer watches the bounds of every block and a fuzz
// run's allocation limit counts them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

// `bytes` zeroed bytes, or null when the memory cannot be had. A 0-byte request
// still gets an address.
void* AllocateZeroed(std::size_t bytes) noexcept;
// Gives back a block of AllocateZeroed; `bytes` is the length it was asked for.
void ReleaseZeroed(void* block, std::size_t bytes) noexcept;

// An allocator of zeroed memory whose value-initialisation is left to that zero:
// `ZeroedBytes v(n)` is n zero bytes written once, by the kernel or calloc. Bytes
// that a vector gains back within its capacity (shrunk, then grown again) keep
// what they held; code that reuses a vector that way clears it itself (assign).
template <class T>
struct ZeroedAllocator {
    using value_type = T;

    ZeroedAllocator() noexcept = default;
    template <class U>
    ZeroedAllocator(const ZeroedAllocator<U>& /*other*/) noexcept {}

    T* allocate(std::size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        void* block = AllocateZeroed(n * sizeof(T));
        if (block == nullptr) throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t n) noexcept { ReleaseZeroed(block, n * sizeof(T)); }

    // Default-initialises: a fresh block is zero already.
    template <class U>
    void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }

    template <class U>
    bool operator==(const ZeroedAllocator<U>& /*other*/) const noexcept {
        return true;
    }
};

// The bytes of a decoded frame.
using ZeroedBytes = std::vector<std::uint8_t, ZeroedAllocator<std::uint8_t>>;
