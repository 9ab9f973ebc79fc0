#include "dicom/SampleRangePass.h"

#include <algorithm>
#include <vector>

#include "dicom/SampleLayout.h"

namespace {

// Bytes read per call: large enough that the system calls cost nothing next to the
// copy, small enough that the block stays in the core's cache while it is scanned.
constexpr std::size_t kBlockBytes = std::size_t{512} << 10;

void Widen(SampleRange& range, SampleRange part) {
    range.min = std::min(range.min, part.min);
    range.max = std::max(range.max, part.max);
}

bool Cancelled(const std::atomic<bool>* cancel) { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }

// Brings stored samples into the conversion's layout, in place.
void Rearrange(const SampleRangeRequest& request, std::uint8_t* data, std::size_t size) {
    if (request.bigEndian) {
        SwapSampleBytes(data, size, 16);
    }
    if (request.signBit >= 0 && request.signBit < 15) {
        SignExtendSamples(data, size, request.signBit);
    }
}

SampleRangeOutcome ScanCompressed(const SampleRangeRequest& request, const std::atomic<bool>* cancel) {
    SampleRangeOutcome outcome;
    const CompressedFrames& frames = *request.compressed;
    std::vector<std::uint8_t> stream;
    DecodedFrame decoded;
    for (const FragmentSpan& span : frames.frames) {
        if (Cancelled(cancel)) {
            outcome.cancelled = true;
            return outcome;
        }
        const auto bytes = ReadFrameStream(*request.source, frames.fragments, span, stream, outcome.read);
        if (outcome.read != SourceRead::Done) {
            return outcome;
        }
        // A frame that does not decode shows its own reason; the others give the range.
        if (!DecodeFrame(frames.codec, bytes, frames.geometry, decoded, nullptr)) {
            continue;
        }
        Rearrange(request, decoded.samples.data(), decoded.samples.size());
        Widen(outcome.range,
              RescaledSampleRange(decoded.samples.data(), decoded.samples.size() / 2, request.intercept));
    }
    return outcome;
}

}  // namespace

SampleRangeOutcome ScanSampleRange(const SampleRangeRequest& request, const std::atomic<bool>* cancel) {
    SampleRangeOutcome outcome;
    if (!request) {
        return outcome;
    }
    if (request.compressed != nullptr) {
        return ScanCompressed(request, cancel);
    }
    const ByteSource& source = *request.source;
    const std::uint64_t bytes = request.length / 2 * 2;  // an odd last byte is no sample
    if (request.offset > source.Size() || bytes > source.Size() - request.offset) {
        outcome.read = SourceRead::Changed;
        return outcome;
    }
    const std::uint8_t* memory = source.Memory();
    const bool asStored = !request.bigEndian && request.signBit < 0;
    if (memory != nullptr && asStored) {
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
        Rearrange(request, block.data(), size);
        Widen(outcome.range, RescaledSampleRange(block.data(), size / 2, request.intercept));
    }
    return outcome;
}
