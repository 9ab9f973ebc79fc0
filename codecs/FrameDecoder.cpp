// Checks common to every decoder and the memory budget; the decoding itself is
// the modules'.
#include "codecs/FrameDecoder.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <iterator>

#include "codecs/DecodeFailure.h"
#include "codecs/DecodeMemoryGate.h"
#include "codecs/DecoderLibrary.h"
#include "codecs/DecoderModule.h"
#include "codecs/DecoderTable.h"

namespace {

constexpr std::size_t kFreeBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxRatio = 4096;
constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kMostDefaultBudget = std::uint64_t{1} << 30;

// 0 while the default holds.
std::atomic<std::uint64_t> g_budget{0};

bool Fail(Reason* why, Reason reason) {
    SetReason(why, std::move(reason));
    return false;
}

// The module's record as a reason. Its subject is cut at the first NUL or at the
// end of the array, whichever comes first, so a record without a NUL is still safe.
Reason FromRecord(const DecodeFailureRecord& record) {
    const char* begin = std::begin(record.subject);
    const char* end = std::find(begin, std::end(record.subject), '\0');
    const auto* n = record.numbers;
    return Reason(static_cast<DecodeFailure>(record.code))
        .About(std::string(begin, end))
        .Numbers(n[0], n[1], n[2], n[3], n[4], n[5]);
}

// Refuses what no decoder could decode, before anything is allocated or loaded.
bool Decodable(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::size_t size,
               Reason* why) {
    if (size == 0) {
        return Fail(
            why,
            Reason(DecodeFailure::FrameNotDecodable).Numbers(geometry.rows, geometry.columns, geometry.bitsAllocated));
    }
    if (stream.empty()) {
        return Fail(why, DecodeFailure::NoCompressedData);
    }
    // No codec here packs a frame into a 4096th of its size beyond the first MiB:
    // a few bytes claiming gigabytes are refused before anything is allocated.
    if (size > kFreeBytes && (size - kFreeBytes) / kMaxRatio >= stream.size()) {
        return Fail(why, Reason(DecodeFailure::StreamTooSmall)
                             .Numbers(static_cast<std::int64_t>(stream.size()), static_cast<std::int64_t>(size)));
    }
    // Run-length data can be refused before the frame is allocated: two bytes make
    // the longest run, of 128 bytes.
    if (codec == FrameCodec::Rle && size / 64 > stream.size()) {
        return Fail(why, Reason(DecodeFailure::RleTooShort)
                             .Numbers(static_cast<std::int64_t>(stream.size()), static_cast<std::int64_t>(size)));
    }
    return true;
}

DecodeRequest RequestFor(FrameCodec codec, const DecodeOptions& options) {
    const std::uint64_t budget = options.memoryBudget != 0 ? options.memoryBudget : DecodeMemoryBudget();
    return {static_cast<std::uint8_t>(codec), options.reduce, options.threads, budget};
}

// The module's probe, then the budget.
bool Probe(const DecoderTable& decoders, const DecodeRequest& request, std::span<const std::uint8_t> stream,
           const FrameGeometry& geometry, FrameProbe& probe, Reason* why) {
    probe = FrameProbe{};
    DecodeFailureRecord failure{};
    if (decoders.probeFrame(&request, stream.data(), stream.size(), &geometry, &probe, &failure) == 0) {
        return Fail(why, FromRecord(failure));
    }
    if (probe.bytesNeeded > request.memoryBudget) {
        return Fail(why, Reason(DecodeFailure::OverMemoryBudget)
                             .Numbers(static_cast<std::int64_t>(request.memoryBudget / kMiB),
                                      static_cast<std::int64_t>((probe.bytesNeeded + kMiB - 1) / kMiB)));
    }
    return true;
}

// Empties `out`; its memory is given back only after a failure, so that a caller
// decoding frame after frame reuses it.
void Clear(DecodedFrame& out, bool release = false) {
    out.samples.clear();
    if (release) {
        out.samples.shrink_to_fit();
    }
    out.columns = out.rows = 0;
    out.reduce = 0;
    out.convertedToRgb = false;
}

// The table for the frame's library among `decoders`, or null with a reason.
const DecoderTable* TableFor(std::span<const DecoderTable* const> decoders, FrameCodec codec,
                             std::span<const std::uint8_t> stream, Reason* why) {
    const auto library = static_cast<std::size_t>(DecoderLibraryFor(codec, stream));
    const DecoderTable* table = library < decoders.size() ? decoders[library] : nullptr;
    if (table == nullptr) {
        SetReason(why, Reason(DecodeFailure::DecodersNotLoaded)
                           .About(DecoderModuleFile(static_cast<DecoderLibrary>(library))));
    }
    return table;
}

bool DecodeWith(const DecoderTable& decoders, FrameCodec codec, std::span<const std::uint8_t> stream,
                const FrameGeometry& geometry, const DecodeOptions& options, DecodedFrame& out, Reason* why) {
    const DecodeRequest request = RequestFor(codec, options);
    FrameProbe probe;
    if (!Probe(decoders, request, stream, geometry, probe, why)) {
        return false;
    }
    FrameGeometry decoded = geometry;
    decoded.columns = static_cast<std::uint16_t>(probe.decodedColumns);
    decoded.rows = static_cast<std::uint16_t>(probe.decodedRows);
    const std::size_t size = DecodedFrameSize(decoded);
    if (size == 0 || probe.decodedColumns > geometry.columns || probe.decodedRows > geometry.rows) {
        return Fail(why, Reason(DecodeFailure::FrameNotDecodable)
                             .Numbers(probe.decodedRows, probe.decodedColumns, geometry.bitsAllocated));
    }
    // Decodes running at once share the budget: this one waits until its need, the
    // decoded frame included, fits beside theirs.
    const DecodeMemoryGate::Hold held = DecodeMemoryGate::Process().Enter(probe.bytesNeeded, request.memoryBudget);
    try {
        // A fresh block comes zeroed from its allocator; memory kept from an earlier
        // frame is cleared here.
        if (out.samples.capacity() >= size) {
            out.samples.assign(size, 0);
        } else {
            out.samples = ZeroedBytes(size);
        }
    } catch (const std::exception&) {
        return Fail(why, DecodeFailure::OutOfMemory);
    }
    std::uint8_t converted = 0;
    DecodeFailureRecord failure{};
    if (decoders.decodeFrame(&request, stream.data(), stream.size(), &geometry, &probe, out.samples.data(),
                             out.samples.size(), &converted, &failure) == 0) {
        Clear(out, true);
        return Fail(why, FromRecord(failure));
    }
    out.columns = probe.decodedColumns;
    out.rows = probe.decodedRows;
    out.reduce = probe.reduce;
    out.convertedToRgb = converted != 0;
    return true;
}

}  // namespace

std::uint64_t DefaultDecodeMemoryBudget(std::uint64_t physicalBytes) {
    return physicalBytes == 0 ? kMostDefaultBudget : std::min(physicalBytes / 4, kMostDefaultBudget);
}

std::uint64_t DecodeMemoryBudget() {
    const std::uint64_t set = g_budget.load(std::memory_order_relaxed);
    if (set != 0) {
        return set;
    }
    static const std::uint64_t fallback = [] {
        const long pages = ::sysconf(_SC_PHYS_PAGES);
        const long pageSize = ::sysconf(_SC_PAGE_SIZE);
        return DefaultDecodeMemoryBudget(
            pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) : 0);
    }();
    return fallback;
}

void SetDecodeMemoryBudget(std::uint64_t bytes) { g_budget.store(bytes, std::memory_order_relaxed); }

bool ProbeFrameWith(std::span<const DecoderTable* const> decoders, FrameCodec codec,
                    std::span<const std::uint8_t> stream, const FrameGeometry& geometry, const DecodeOptions& options,
                    FrameProbe& probe, Reason* why) {
    probe = FrameProbe{};
    if (!Decodable(codec, stream, geometry, DecodedFrameSize(geometry), why)) {
        return false;
    }
    const DecoderTable* table = TableFor(decoders, codec, stream, why);
    return table != nullptr && Probe(*table, RequestFor(codec, options), stream, geometry, probe, why);
}

bool DecodeFrameWith(std::span<const DecoderTable* const> decoders, FrameCodec codec,
                     std::span<const std::uint8_t> stream, const FrameGeometry& geometry, const DecodeOptions& options,
                     DecodedFrame& out, Reason* why) {
    Clear(out);
    if (!Decodable(codec, stream, geometry, DecodedFrameSize(geometry), why)) {
        return false;
    }
    const DecoderTable* table = TableFor(decoders, codec, stream, why);
    return table != nullptr && DecodeWith(*table, codec, stream, geometry, options, out, why);
}

bool ProbeFrame(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry,
                const DecodeOptions& options, FrameProbe& probe, Reason* why) {
    probe = FrameProbe{};
    if (!Decodable(codec, stream, geometry, DecodedFrameSize(geometry), why)) {
        return false;
    }
    const DecoderTable* decoders = LoadedDecoders(DecoderLibraryFor(codec, stream), why);
    return decoders != nullptr && Probe(*decoders, RequestFor(codec, options), stream, geometry, probe, why);
}

bool DecodeFrame(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry,
                 const DecodeOptions& options, DecodedFrame& out, Reason* why) {
    Clear(out);
    // What can be refused without the decoders is refused before they are loaded.
    if (!Decodable(codec, stream, geometry, DecodedFrameSize(geometry), why)) {
        return false;
    }
    const DecoderTable* decoders = LoadedDecoders(DecoderLibraryFor(codec, stream), why);
    return decoders != nullptr && DecodeWith(*decoders, codec, stream, geometry, options, out, why);
}

bool DecodeFrame(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry,
                 DecodedFrame& out, Reason* why) {
    return DecodeFrame(codec, stream, geometry, DecodeOptions{}, out, why);
}
