// The DICOM run-length scheme through DCMTK's PackBits decoder. A frame is a
// 64-byte header (segment count and up to 15 offsets) and one segment per byte
// plane: for each sample of a pixel, its most significant byte first.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcrledec.h>

#include <cstring>

#include "codecs/DecoderParts.h"

namespace {

constexpr std::size_t kHeaderSize = 64;
constexpr std::uint32_t kMaxSegments = 15;

std::uint32_t ReadLE32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

}  // namespace

bool ProbeRle(std::span<const std::uint8_t> /*stream*/, const FrameGeometry& geometry, std::uint8_t reduce,
              FrameProbe& probe, Reason* /*why*/) {
    // The scheme has no header of sizes: the frame is what the file says.
    probe.columns = geometry.columns;
    probe.rows = geometry.rows;
    probe.components = geometry.samplesPerPixel;
    probe.precision = static_cast<std::uint8_t>(geometry.bitsAllocated);
    SetDecodedSize(probe, geometry, reduce, 1);
    probe.bytesNeeded += std::uint64_t{geometry.rows} * geometry.columns;  // one byte plane at a time
    return true;
}

bool DecodeRle(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why) {
    const FrameGeometry& geometry = job.geometry;
    if (stream.size() < kHeaderSize) {
        return Fail(why, DecodeFailure::RleShortHeader);
    }
    const std::size_t bytesPerSample = geometry.bitsAllocated / 8u;
    const std::uint32_t expected = static_cast<std::uint32_t>(geometry.samplesPerPixel * bytesPerSample);
    const std::uint32_t segments = ReadLE32(stream.data());
    if (segments != expected || segments > kMaxSegments) {
        return Fail(why, Reason(DecodeFailure::RleSegmentCount).Numbers(segments, expected));
    }
    const std::size_t pixels = std::size_t{geometry.rows} * geometry.columns;
    const std::size_t pixelBytes = expected;
    DcmRLEDecoder decoder(pixels);
    if (decoder.fail()) {
        return Fail(why, Reason(DecodeFailure::OutOfMemory).About("RLE"));
    }
    for (std::uint32_t s = 0; s < segments; ++s) {
        const std::uint32_t begin = ReadLE32(stream.data() + 4 + 4 * s);
        const std::uint64_t end = s + 1 < segments ? ReadLE32(stream.data() + 8 + 4 * s) : stream.size();
        if (begin < kHeaderSize || begin > end || end > stream.size()) {
            return Fail(why, Reason(DecodeFailure::RleSegmentOutside).Numbers(s + 1));
        }
        decoder.clear();
        // The decoder does not write to its input; its interface only lacks const.
        auto* data = const_cast<std::uint8_t*>(stream.data() + begin);
        (void)decoder.decompress(data, static_cast<std::size_t>(end - begin));
        // Runs past the plane's end (padding some writers leave) are ignored once
        // the plane is full.
        if (decoder.fail() && decoder.size() < pixels) {
            return Fail(why, Reason(DecodeFailure::RleSegmentCorrupt).Numbers(s + 1));
        }
        // A short segment leaves the rest of its plane at zero, as other readers do.
        const std::size_t produced = decoder.size() < pixels ? decoder.size() : pixels;
        const auto* plane = static_cast<const std::uint8_t*>(decoder.getOutputBuffer());
        // Segment s holds byte (s % bytesPerSample), most significant first, of sample s / bytesPerSample.
        const std::size_t sample = s / bytesPerSample;
        const std::size_t byteInSample = bytesPerSample - 1 - s % bytesPerSample;
        std::uint8_t* target = out.samples + sample * bytesPerSample + byteInSample;
        for (std::size_t p = 0; p < produced; ++p) {
            target[p * pixelBytes] = plane[p];
        }
    }
    return true;
}
