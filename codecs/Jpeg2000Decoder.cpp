// JPEG 2000 through OpenJPEG, read from memory through stream callbacks. A stream
// that starts with the JP2 signature box ("jP  ") is a JP2 file, any other a bare
// codestream. The colour transform of the codestream, if any, is undone by
// OpenJPEG, so three components come out as RGB.
#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "codecs/DecoderParts.h"

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

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// The image and tile sizes of the codestream's SIZ segment, which directly
// follows its start marker (inside the "jp2c" box of a JP2 file).
struct ImageAndTiles {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t components = 0;
    std::uint64_t tiles = 0;
};

bool ReadImageAndTiles(std::span<const std::uint8_t> stream, ImageAndTiles& out) {
    static const std::uint8_t kStart[] = {0xFF, 0x4F, 0xFF, 0x51};
    const auto at = std::search(stream.begin(), stream.end(), std::begin(kStart), std::end(kStart));
    if (stream.end() - at < 4 + 40) {
        return false;
    }
    const std::uint8_t* siz = &*at + 4;
    const std::uint32_t x1 = Be32(siz + 4), y1 = Be32(siz + 8), x0 = Be32(siz + 12), y0 = Be32(siz + 16);
    const std::uint32_t tileWidth = Be32(siz + 20), tileHeight = Be32(siz + 24);
    const std::uint32_t tileX0 = Be32(siz + 28), tileY0 = Be32(siz + 32);
    if (x1 <= x0 || y1 <= y0 || tileWidth == 0 || tileHeight == 0 || tileX0 > x0 || tileY0 > y0) {
        return false;
    }
    out.width = x1 - x0;
    out.height = y1 - y0;
    out.components = static_cast<std::uint16_t>(siz[36] << 8 | siz[37]);
    out.tiles = ((std::uint64_t{x1} - tileX0 + tileWidth - 1) / tileWidth) *
                ((std::uint64_t{y1} - tileY0 + tileHeight - 1) / tileHeight);
    return true;
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

}  // namespace

bool DecodeJpeg2000(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, FrameOutput& out,
                    Reason* why) {
    // OpenJPEG's first error, given with the failures that follow its own work.
    std::string error;
    // The sizes are checked before OpenJPEG reads the header, which allocates
    // for every tile: a forged SIZ segment must not cost hundreds of megabytes.
    ImageAndTiles size;
    if (!ReadImageAndTiles(stream, size)) {
        return Fail(why, DecodeFailure::Jpeg2000NoImageSize);
    }
    if (size.width != geometry.columns || size.height != geometry.rows || size.components != geometry.samplesPerPixel) {
        return Fail(why, GeometryMismatch("JPEG 2000", size.width, size.height, size.components, geometry));
    }
    const std::uint64_t area = std::uint64_t{size.width} * size.height;
    const std::uint64_t maxTiles = area / 4096 > 4096 ? area / 4096 : 4096;
    if (size.tiles > maxTiles) {
        return Fail(why, Reason(DecodeFailure::Jpeg2000TooManyTiles)
                             .Numbers(static_cast<std::int64_t>(size.tiles), static_cast<std::int64_t>(maxTiles)));
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
    if (!opj_setup_decoder(codec.get(), &parameters)) {
        return Fail(why, Reason(DecodeFailure::DecoderNotSetUp).About("JPEG 2000"));
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
    const std::size_t pixels = std::size_t{width} * height;
    for (std::size_t c = 0; c < samples; ++c) {
        const opj_image_comp_t& comp = image->comps[c];
        if (comp.data == nullptr || comp.w != width || comp.h != height || comp.dx != 1 || comp.dy != 1) {
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
