#include "io/ImageMemoryLimit.h"

#include <unistd.h>

std::uint64_t PhysicalMemoryBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

bool ImageFitsInMemory(std::uint64_t samples, std::uint64_t physicalBytes) {
    return samples <= kMostImageSamples && (physicalBytes == 0 || samples <= physicalBytes / 4);
}

bool ImageFitsInMemory(std::uint64_t samples) {
    static const std::uint64_t physical = PhysicalMemoryBytes();
    return ImageFitsInMemory(samples, physical);
}
