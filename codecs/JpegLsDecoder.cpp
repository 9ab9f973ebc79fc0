// JPEG-LS through CharLS's C interface, which reports errors as codes rather than
// exceptions. Frames coded without interleaving come out plane by plane and are
// interleaved here.
#include <charls/charls.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "codecs/ModuleEntry.h"
#include "codecs/JpegStream.h"

namespace {

struct DecoderDeleter {
    void operator()(charls_jpegls_decoder* d) const { charls_jpegls_decoder_destroy(d); }
};

// CharLS sizes and lays out its output by the first scan and decodes later scans
// without checking that they agree: a later scan that interleaves when the first
// did not makes it write past the frame. Every scan it will decode must code one
// component without interleaving, or all of them in the first scan's mode.
bool ScansShareOneLayout(std::span<const std::uint8_t> stream, charls_interleave_mode mode, std::int32_t components) {
    const bool interleaved = mode != charls::interleave_mode::none;
    const auto scans = ReadJpegLsScans(stream, interleaved ? 1 : static_cast<std::size_t>(components));
    const auto expected = static_cast<std::uint8_t>(interleaved ? components : 1);
    for (const JpegLsScan& scan : scans) {
        if (scan.interleave != static_cast<std::uint8_t>(mode) || scan.components != expected) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ProbeJpegLs(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
                 FrameProbe& probe, Reason* why) {
    std::unique_ptr<charls_jpegls_decoder, DecoderDeleter> decoder(charls_jpegls_decoder_create());
    if (!decoder) {
        return Fail(why, Reason(DecodeFailure::OutOfMemory).About("JPEG-LS"));
    }
    auto code = charls_jpegls_decoder_set_source_buffer(decoder.get(), stream.data(), stream.size());
    if (code == charls::jpegls_errc::success) {
        code = charls_jpegls_decoder_read_header(decoder.get());
    }
    charls_frame_info info{};
    if (code == charls::jpegls_errc::success) {
        code = charls_jpegls_decoder_get_frame_info(decoder.get(), &info);
    }
    if (code != charls::jpegls_errc::success) {
        return Fail(why, Reason(DecodeFailure::JpegLsHeaderCorrupt).About(charls_get_error_message(code)));
    }
    probe.columns = info.width;
    probe.rows = info.height;
    probe.components = static_cast<std::uint16_t>(std::clamp(info.component_count, 0, 0xFFFF));
    probe.precision = static_cast<std::uint8_t>(std::clamp(info.bits_per_sample, 0, 0xFF));
    if (!ProbeFitsGeometry("JPEG-LS", probe, geometry, why)) {
        return false;
    }
    SetDecodedSize(probe, geometry, reduce, 1);
    // A copy of the stream that ends with EOI, a frame in the decoder's own layout
    // when it differs, and the decoder's lines.
    const std::uint64_t pixels = std::uint64_t{info.width} * info.height * geometry.samplesPerPixel;
    probe.bytesNeeded += stream.size() + pixels * (info.bits_per_sample > 8 ? 2 : 1) +
                         std::uint64_t{info.width} * geometry.samplesPerPixel * 4 * 4;
    return true;
}

bool DecodeJpegLs(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why) {
    const FrameGeometry& geometry = job.geometry;
    const auto failWith = [why](DecodeFailure failure, charls::jpegls_errc code) {
        return Fail(why, Reason(failure).About(charls_get_error_message(code)));
    };
    // CharLS 2.4 can loop for ever on scan data that ends without a marker (a
    // truncated stream): such a stream is decoded from a copy that ends with EOI,
    // where the decoder stops with an error.
    std::vector<std::uint8_t> ended;
    std::size_t last = stream.size();
    while (last > 0 && stream[last - 1] == 0) {
        --last;  // fragments are padded to an even length
    }
    if (last < 2 || stream[last - 2] != 0xFF || stream[last - 1] != 0xD9) {
        ended.assign(stream.begin(), stream.end());
        ended.push_back(0xFF);
        ended.push_back(0xD9);
        stream = ended;
    }
    std::unique_ptr<charls_jpegls_decoder, DecoderDeleter> decoder(charls_jpegls_decoder_create());
    if (!decoder) {
        return Fail(why, Reason(DecodeFailure::OutOfMemory).About("JPEG-LS"));
    }
    auto code = charls_jpegls_decoder_set_source_buffer(decoder.get(), stream.data(), stream.size());
    if (code == charls::jpegls_errc::success) {
        code = charls_jpegls_decoder_read_header(decoder.get());
    }
    charls_frame_info info{};
    if (code == charls::jpegls_errc::success) {
        code = charls_jpegls_decoder_get_frame_info(decoder.get(), &info);
    }
    charls_interleave_mode mode{};
    if (code == charls::jpegls_errc::success) {
        code = charls_jpegls_decoder_get_interleave_mode(decoder.get(), &mode);
    }
    if (code != charls::jpegls_errc::success) {
        return failWith(DecodeFailure::JpegLsHeaderCorrupt, code);
    }
    if (info.width != geometry.columns || info.height != geometry.rows ||
        info.component_count != geometry.samplesPerPixel) {
        return Fail(why, GeometryMismatch("JPEG-LS", info.width, info.height,
                                          static_cast<std::uint32_t>(info.component_count), geometry));
    }
    if (!ScansShareOneLayout(stream, mode, info.component_count)) {
        return Fail(why, DecodeFailure::JpegLsScansDisagree);
    }
    const int streamBytes = info.bits_per_sample > 8 ? 2 : 1;
    if (info.bits_per_sample > geometry.bitsAllocated || geometry.bitsAllocated > 16) {
        return Fail(why, Reason(DecodeFailure::PrecisionMismatch)
                             .About("JPEG-LS")
                             .Numbers(info.bits_per_sample, geometry.bitsAllocated));
    }
    const std::size_t bytes = geometry.bitsAllocated / 8u;
    const bool planar = mode == charls::interleave_mode::none && geometry.samplesPerPixel > 1;
    // The decoder's own layout matches the file's unless the sample width or the
    // plane order differ; then it decodes into a scratch buffer.
    const bool direct = static_cast<std::size_t>(streamBytes) == bytes && !planar;
    std::vector<std::uint8_t> scratch;
    if (!direct) {
        scratch.resize(std::size_t{info.width} * info.height * geometry.samplesPerPixel * streamBytes);
    }
    std::uint8_t* target = direct ? out.samples : scratch.data();
    const std::size_t targetSize = direct ? out.size : scratch.size();
    code = charls_jpegls_decoder_decode_to_buffer(decoder.get(), target, targetSize, 0);
    if (code != charls::jpegls_errc::success) {
        return failWith(DecodeFailure::JpegLsCorrupt, code);
    }
    if (direct) {
        return true;
    }
    const std::size_t pixels = std::size_t{info.width} * info.height;
    const std::size_t samples = geometry.samplesPerPixel;
    for (std::size_t s = 0; s < samples; ++s) {
        for (std::size_t p = 0; p < pixels; ++p) {
            const std::size_t from = planar ? s * pixels + p : p * samples + s;
            const std::uint32_t value =
                streamBytes == 2 ? std::uint32_t{scratch[2 * from]} | (std::uint32_t{scratch[2 * from + 1]} << 8)
                                 : scratch[from];
            StoreSample(out.samples + (p * samples + s) * bytes, value, bytes);
        }
    }
    return true;
}

namespace {

bool Probe(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
           FrameProbe& probe, Reason* why) {
    switch (codec) {
    case FrameCodec::JpegLs: return ProbeJpegLs(stream, geometry, reduce, probe, why);
    default: return NotServedHere(codec, why);
    }
}

bool Decode(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out,
            Reason* why) {
    switch (codec) {
    case FrameCodec::JpegLs: return DecodeJpegLs(stream, job, out, why);
    default: return NotServedHere(codec, why);
    }
}

}  // namespace

extern "C" DORVANELLE_DECODERS_ENTRY const DecoderTable* dorvanelle_decoders_charls() {
    return &ModuleTable<&Probe, &Decode>::kTable;
}
