// JPEG 2000 and High-Throughput JPEG 2000 through OpenJPEG, read from memory
// through stream callbacks, on as many threads as asked and at a reduced
// resolution when asked. A stream that starts with the JP2 signature box ("jP  ")
// is a JP2 or JPH file, any other a bare codestream. The colour transform of the
// codestream, if any, is undone by OpenJPEG, so three components come out as RGB.
//
// OpenJPH decodes HTJ2K with a fifth of OpenJPEG's processor time, but aborts the
// process on malformed headers (an assertion reached by the codec fuzz target in a
// few hundred inputs). OpenJPEG 2.5.0 asserts in its HT block decoder too, so every
// stream with High-Throughput blocks is decoded in a child process
// (codecs/IsolatedDecode.h).
#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "codecs/ModuleEntry.h"
#include "codecs/IsolatedDecode.h"
#include "codecs/Jpeg2000Header.h"

namespace {

struct MemoryStream {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

OPJ_SIZE_T ReadBytes(void* buffer, OPJ_SIZE_T count, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    const std::size_t left = s->size - s->position;
    if (left == 0) {
        return static_cast<OPJ_SIZE_T>(-1);  // end of stream
    }
    const std::size_t n = count < left ? count : left;
    std::memcpy(buffer, s->data + s->position, n);
    s->position += n;
    return n;
}

OPJ_OFF_T SkipBytes(OPJ_OFF_T count, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    if (count < 0) {
        const auto back = static_cast<std::size_t>(-count);
        s->position = back > s->position ? 0 : s->position - back;
        return count;
    }
    const std::size_t left = s->size - s->position;
    const std::size_t n = static_cast<std::size_t>(count) < left ? static_cast<std::size_t>(count) : left;
    s->position += n;
    return static_cast<OPJ_OFF_T>(n);
}

OPJ_BOOL SeekTo(OPJ_OFF_T offset, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    if (offset < 0 || static_cast<std::uint64_t>(offset) > s->size) {
        return OPJ_FALSE;
    }
    s->position = static_cast<std::size_t>(offset);
    return OPJ_TRUE;
}

// OpenJPEG's messages: the first error is kept as the reason, nothing is printed.
void KeepError(const char* message, void* user) {
    auto* text = static_cast<std::string*>(user);
    if (text->empty() && message != nullptr) {
        *text = message;
        while (!text->empty() && (text->back() == '\n' || text->back() == ' ')) {
            text->pop_back();
        }
    }
}
void Ignore(const char*, void*) {}

bool IsJp2File(std::span<const std::uint8_t> stream) {
    static const std::uint8_t kSignatureBox[] = {0, 0, 0, 12, 'j', 'P', ' ', ' '};
    return stream.size() >= sizeof kSignatureBox &&
           std::memcmp(stream.data(), kSignatureBox, sizeof kSignatureBox) == 0;
}

struct CodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};

// A tile's own bookkeeping in OpenJPEG (coding parameters of each component),
// allocated for every tile when the header is read.
constexpr std::uint64_t kBytesPerTileComponent = 2048;

// The tile count a decoder accepts for an image: a forged SIZ segment must not make
// the header alone cost hundreds of megabytes.
std::uint64_t MostTiles(const Jpeg2000Header& header) {
    const std::uint64_t area = std::uint64_t{header.width} * header.height;
    return area / 4096 > 4096 ? area / 4096 : 4096;
}

unsigned Threads(std::uint16_t asked) {
    if (asked != 0) {
        return asked;
    }
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

}  // namespace

bool ProbeJpeg2000(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
                   FrameProbe& probe, Reason* why) {
    Jpeg2000Header header;
    if (!ReadJpeg2000Header(stream, header)) {
        return Fail(why, DecodeFailure::Jpeg2000NoImageSize);
    }
    probe.columns = header.width;
    probe.rows = header.height;
    probe.components = header.components;
    probe.precision = header.precision;
    if (!ProbeFitsGeometry("JPEG 2000", probe, geometry, why)) {
        return false;
    }
    if (header.tiles > MostTiles(header)) {
        return Fail(
            why, Reason(DecodeFailure::Jpeg2000TooManyTiles)
                     .Numbers(static_cast<std::int64_t>(header.tiles), static_cast<std::int64_t>(MostTiles(header))));
    }
    SetDecodedSize(probe, geometry, reduce, static_cast<std::uint8_t>(header.decompositionLevels + 1));
    // OpenJPEG holds the image as 32-bit samples, and the tile being decoded as
    // 32-bit samples too, at the resolution decoded.
    const std::uint64_t samples = std::uint64_t{probe.decodedColumns} * probe.decodedRows * header.components;
    const std::uint64_t tileSamples =
        std::uint64_t{ReducedSize(std::min(header.tileWidth, header.width), probe.reduce)} *
        ReducedSize(std::min(header.tileHeight, header.height), probe.reduce) * header.components;
    probe.bytesNeeded +=
        4 * samples + 4 * tileSamples + header.tiles * header.components * kBytesPerTileComponent + 2 * stream.size();
    return true;
}

namespace {

bool DecodeWithOpenJpeg(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why) {
    const FrameGeometry& geometry = job.geometry;
    // OpenJPEG's first error, given with the failures that follow its own work.
    std::string error;
    // The sizes are checked before OpenJPEG reads the header, which allocates
    // for every tile.
    Jpeg2000Header size;
    if (!ReadJpeg2000Header(stream, size)) {
        return Fail(why, DecodeFailure::Jpeg2000NoImageSize);
    }
    if (size.width != geometry.columns || size.height != geometry.rows || size.components != geometry.samplesPerPixel) {
        return Fail(why, GeometryMismatch("JPEG 2000", size.width, size.height, size.components, geometry));
    }
    if (size.tiles > MostTiles(size)) {
        return Fail(why,
                    Reason(DecodeFailure::Jpeg2000TooManyTiles)
                        .Numbers(static_cast<std::int64_t>(size.tiles), static_cast<std::int64_t>(MostTiles(size))));
    }
    std::unique_ptr<opj_codec_t, CodecDeleter> codec(
        opj_create_decompress(IsJp2File(stream) ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    MemoryStream memory{stream.data(), stream.size(), 0};
    std::unique_ptr<opj_stream_t, StreamDeleter> input(opj_stream_create(64 * 1024, OPJ_TRUE));
    if (!codec || !input) {
        return Fail(why, Reason(DecodeFailure::OutOfMemory).About("JPEG 2000"));
    }
    opj_set_error_handler(codec.get(), KeepError, &error);
    opj_set_warning_handler(codec.get(), Ignore, nullptr);
    opj_set_info_handler(codec.get(), Ignore, nullptr);
    opj_stream_set_read_function(input.get(), ReadBytes);
    opj_stream_set_skip_function(input.get(), SkipBytes);
    opj_stream_set_seek_function(input.get(), SeekTo);
    opj_stream_set_user_data(input.get(), &memory, nullptr);
    opj_stream_set_user_data_length(input.get(), stream.size());

    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    parameters.cp_reduce = job.probe.reduce;
    if (!opj_setup_decoder(codec.get(), &parameters)) {
        return Fail(why, Reason(DecodeFailure::DecoderNotSetUp).About("JPEG 2000"));
    }
    // Without thread support in the library the decode runs on the calling thread.
    const unsigned threads = Threads(job.threads);
    if (threads > 1 && opj_has_thread_support()) {
        (void)opj_codec_set_threads(codec.get(), static_cast<int>(threads));
    }
    opj_image_t* header = nullptr;
    if (!opj_read_header(input.get(), codec.get(), &header)) {
        opj_image_destroy(header);
        return Fail(why, Reason(DecodeFailure::Jpeg2000HeaderCorrupt).About(error));
    }
    std::unique_ptr<opj_image_t, ImageDeleter> image(header);
    // The size is checked before decoding, so a forged header cannot make the
    // decoder allocate more than the file's frame.
    const std::uint32_t width = image->x1 - image->x0;
    const std::uint32_t height = image->y1 - image->y0;
    if (image->x1 < image->x0 || image->y1 < image->y0 || width != geometry.columns || height != geometry.rows ||
        image->numcomps != geometry.samplesPerPixel) {
        return Fail(why, GeometryMismatch("JPEG 2000", width, height, image->numcomps, geometry));
    }
    if (!opj_decode(codec.get(), input.get(), image.get()) || !opj_end_decompress(codec.get(), input.get())) {
        return Fail(why, Reason(DecodeFailure::Jpeg2000Corrupt).About(error));
    }
    const std::size_t bytes = geometry.bitsAllocated / 8u;
    const std::size_t samples = geometry.samplesPerPixel;
    const std::uint32_t columns = job.probe.decodedColumns;
    const std::uint32_t rows = job.probe.decodedRows;
    const std::size_t pixels = std::size_t{columns} * rows;
    for (std::size_t c = 0; c < samples; ++c) {
        const opj_image_comp_t& comp = image->comps[c];
        if (comp.data == nullptr || comp.w != columns || comp.h != rows || comp.dx != 1 || comp.dy != 1) {
            return Fail(why, Reason(DecodeFailure::Jpeg2000Subsampled).Numbers(static_cast<std::int64_t>(c + 1)));
        }
        if (comp.prec > geometry.bitsAllocated) {
            return Fail(
                why,
                Reason(DecodeFailure::PrecisionMismatch).About("JPEG 2000").Numbers(comp.prec, geometry.bitsAllocated));
        }
        std::uint8_t* target = out.samples + c * bytes;
        for (std::size_t p = 0; p < pixels; ++p) {
            // Signed samples are stored in two's complement of the allocated width.
            StoreSample(target + p * samples * bytes, static_cast<std::uint32_t>(comp.data[p]), bytes);
        }
    }
    return true;
}

}  // namespace

bool DecodeJpeg2000(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why) {
    Jpeg2000Header header;
    if (ReadJpeg2000Header(stream, header) && header.highThroughput) {
        // OpenJPEG 2.5.0's High-Throughput block decoder asserts on some corrupt
        // blocks: such streams are decoded where an abort costs only the frame.
        return DecodeInChildProcess(
            "HTJ2K", out,
            [&](FrameOutput& shared, Reason* reason) { return DecodeWithOpenJpeg(stream, job, shared, reason); }, why);
    }
    return DecodeWithOpenJpeg(stream, job, out, why);
}

// HTJ2K differs from JPEG 2000 in its block coder only, which OpenJPEG 2.5 reads.
bool ProbeHtJpeg2000(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
                     FrameProbe& probe, Reason* why) {
    return ProbeJpeg2000(stream, geometry, reduce, probe, why);
}

bool DecodeHtJpeg2000(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why) {
    return DecodeInChildProcess(
        "HTJ2K", out,
        [&](FrameOutput& shared, Reason* reason) { return DecodeWithOpenJpeg(stream, job, shared, reason); }, why);
}

namespace {

bool Probe(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
           FrameProbe& probe, Reason* why) {
    switch (codec) {
    case FrameCodec::Jpeg2000: return ProbeJpeg2000(stream, geometry, reduce, probe, why);
    case FrameCodec::HtJpeg2000: return ProbeHtJpeg2000(stream, geometry, reduce, probe, why);
    default: return NotServedHere(codec, why);
    }
}

bool Decode(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out,
            Reason* why) {
    switch (codec) {
    case FrameCodec::Jpeg2000: return DecodeJpeg2000(stream, job, out, why);
    case FrameCodec::HtJpeg2000: return DecodeHtJpeg2000(stream, job, out, why);
    default: return NotServedHere(codec, why);
    }
}

}  // namespace

extern "C" DORVANELLE_DECODERS_ENTRY const DecoderTable* dorvanelle_decoders_openjpeg() {
    return &ModuleTable<&Probe, &Decode>::kTable;
}
