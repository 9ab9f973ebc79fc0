// Deflated data sets through zlib's raw inflate.
#include <zlib.h>

#include <climits>
#include <new>

#include "codecs/DecodeFailure.h"
#include "codecs/FrameDecoder.h"

std::size_t InflateCap(std::size_t inputSize) {
    constexpr std::size_t kMaxInflated = std::size_t{2} << 30;
    return inputSize >= kMaxInflated / 64 ? kMaxInflated : inputSize * 64;
}

std::uint64_t InflateByPositionCap(std::uint64_t inputSize) {
    constexpr std::uint64_t kMost = (std::uint64_t{4} << 30) - 1;
    return inputSize >= kMost / 256 ? kMost : inputSize * 256;
}

bool InflateDataSet(std::span<const std::uint8_t> deflated, std::size_t cap, std::vector<std::uint8_t>& out,
                    Reason* why) {
    out.clear();
    const auto fail = [why, &out](Reason reason) {
        out.clear();
        out.shrink_to_fit();
        SetReason(why, std::move(reason));
        return false;
    };
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
        return fail(InflateFailure::NotSetUp);
    }
    struct End {
        z_stream* z;
        ~End() { inflateEnd(z); }
    } end{&z};

    std::size_t consumed = 0;
    int status = Z_OK;
    try {
        out.resize(deflated.size() * 4 < cap ? deflated.size() * 4 + 1024 : cap);
        std::size_t produced = 0;
        while (status != Z_STREAM_END) {
            if (produced == out.size()) {
                if (out.size() >= cap) {
                    return fail(Reason(InflateFailure::TooLarge).Numbers(static_cast<std::int64_t>(cap)));
                }
                out.resize(out.size() * 2 < cap ? out.size() * 2 : cap);
            }
            const std::size_t inChunk = deflated.size() - consumed < UINT_MAX ? deflated.size() - consumed : UINT_MAX;
            const std::size_t outChunk = out.size() - produced < UINT_MAX ? out.size() - produced : UINT_MAX;
            z.next_in = const_cast<Bytef*>(deflated.data() + consumed);
            z.avail_in = static_cast<uInt>(inChunk);
            z.next_out = out.data() + produced;
            z.avail_out = static_cast<uInt>(outChunk);
            status = inflate(&z, Z_NO_FLUSH);
            consumed += inChunk - z.avail_in;
            produced += outChunk - z.avail_out;
            if (status == Z_BUF_ERROR && z.avail_out != 0) {
                return fail(InflateFailure::Truncated);
            }
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
                return fail(InflateFailure::Corrupt);
            }
        }
        out.resize(produced);
    } catch (const std::bad_alloc&) {
        return fail(InflateFailure::OutOfMemory);
    }
    return true;
}
