#include "dicom/SampleRangePass.h"

#include <algorithm>
#include <vector>

namespace {

// Bytes read per call: large enough that the system calls cost nothing next to the
// copy, small enough that the block stays in the core's cache while it is scanned.
constexpr std::size_t kBlockBytes = std::size_t{512} << 10;

void Widen(SampleRange& range, SampleRange part) {
    range.min = std::min(range.min, part.min);
    range.max = std::max(range.max, part.max);
}

bool Cancelled(const std::atomic<bool>* cancel) { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }

}  // namespace

SampleRangeOutcome ScanSampleRange(const SampleRangeRequest& request, const std::atomic<bool>* cancel) {
    SampleRangeOutcome outcome;
    if (!request) {
        return outcome;
    }
    const ByteSource& source = *request.source;
    const std::uint64_t bytes = request.length / 2 * 2;  // an odd last byte is no sample
    if (request.offset > source.Size() || bytes > source.Size() - request.offset) {
        outcome.read = SourceRead::Changed;
        return outcome;
    }
    if (const std::uint8_t* memory = source.Memory()) {
        for (std::uint64_t done = 0; done < bytes; done += kBlockBytes) {
            if (Cancelled(cancel)) {
                outcome.cancelled = true;
                return outcome;
            }
            const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, bytes - done));
            Widen(outcome.range, RescaledSampleRange(memory + request.offset + done, size / 2, request.intercept));
        }
        return outcome;
    }
    std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, bytes)));
    for (std::uint64_t done = 0; done < bytes; done += kBlockBytes) {
        if (Cancelled(cancel)) {
            outcome.cancelled = true;
            return outcome;
        }
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, bytes - done));
        outcome.read = source.ReadAt(request.offset + done, block.data(), size);
        if (outcome.read != SourceRead::Done) {
            return outcome;
        }
        Widen(outcome.range, RescaledSampleRange(block.data(), size / 2, request.intercept));
    }
    return outcome;
}
