// The libjpeg-turbo module: 8-bit JPEG (baseline, extended, progressive,
// arithmetic; not lossless, which goes to DCMTK's module) through libjpeg-turbo's
// libjpeg interface, whose SIMD decoding is several times as fast as the IJG 6b
// copy in DCMTK. It is set up as DCMTK's decoder sets up IJG 6b, so that both give
// the same samples: the same inverse transform (the accurate integer one), the same
// upsampling, and colour turned from YBR into RGB exactly when the file's
// photometric interpretation names YBR, whatever the stream's own markers say.
//
// libjpeg reports errors by calling a function that must not return: it jumps back
// with longjmp, so the function that calls setjmp holds nothing with a destructor.
#include <climits>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

// After <cstdio>: the library's header uses FILE and size_t without declaring them.
#include <jerror.h>
#include <jpeglib.h>

#include "codecs/JpegStream.h"
#include "codecs/ModuleEntry.h"

namespace {

// A progressive stream can hold thousands of scans of a few bytes each, every one
// a pass over the whole frame's coefficients; real encoders write about ten.
constexpr int kMostScans = 500;

struct ErrorJump {
    jpeg_error_mgr manager;  // first: libjpeg hands back a pointer to it
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];  // NOLINT(modernize-avoid-c-arrays): libjpeg writes it
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
    auto* error = reinterpret_cast<ErrorJump*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

// Warnings (a stream that ends early, corrupt data the decoder steps over) are not
// printed; the decoder goes on as IJG 6b does.
void Quietly(j_common_ptr, int) {}

void LimitScans(j_common_ptr info) {
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->is_decompressor && decompress->input_scan_number > kMostScans) {
        auto* error = reinterpret_cast<ErrorJump*>(info->err);
        std::snprintf(error->message, sizeof error->message, "more than %d scans", kMostScans);
        std::longjmp(error->jump, 1);
    }
}

// Where rows go: the output directly when its samples are bytes, else a row that is
// widened into the output.
struct RowTarget {
    std::uint8_t* samples;
    std::size_t rowBytes;  // of the output
    std::uint8_t* row;     // null when rows are decoded straight into the output
    std::size_t rowSamples;
    std::size_t sampleBytes;
};

enum class Outcome { Done, LibraryError, SizeDiffers };

// Everything libjpeg does, behind one setjmp. Only plain data lives here.
Outcome Run(jpeg_decompress_struct& info, ErrorJump& error, std::span<const std::uint8_t> stream, const FrameJob& job,
            const RowTarget& target, bool& convertedToRgb) {
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return Outcome::LibraryError;
    }
    jpeg_create_decompress(&info);
    // Beyond the budget the library would need a backing store, which it lacks: it
    // stops with an error instead of allocating.
    info.mem->max_memory_to_use = static_cast<long>(std::min<std::uint64_t>(job.memoryBudget, LONG_MAX));
    jpeg_progress_mgr progress{};
    progress.progress_monitor = LimitScans;
    info.progress = &progress;
    jpeg_mem_src(&info, stream.data(), static_cast<unsigned long>(stream.size()));
    jpeg_read_header(&info, TRUE);
    if (job.geometry.ybr) {
        info.jpeg_color_space = JCS_YCbCr;
        info.out_color_space = JCS_RGB;
    } else if (info.num_components == 1) {
        // The one component as it is, copied a row at a time; the untransformed
        // path below would copy it a sample at a time.
        info.jpeg_color_space = JCS_GRAYSCALE;
        info.out_color_space = JCS_GRAYSCALE;
    } else {
        info.jpeg_color_space = JCS_UNKNOWN;
        info.out_color_space = JCS_UNKNOWN;
    }
    info.dct_method = JDCT_ISLOW;
    info.scale_num = 1;
    info.scale_denom = 1u << job.probe.reduce;
    // IJG 6b replicates samples subsampled only vertically; libjpeg-turbo would
    // interpolate them.
    bool verticalOnly = false;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        verticalOnly = verticalOnly || (component.h_samp_factor == info.max_h_samp_factor &&
                                        component.v_samp_factor * 2 == info.max_v_samp_factor);
    }
    info.do_fancy_upsampling = verticalOnly ? FALSE : TRUE;
    jpeg_calc_output_dimensions(&info);
    if (info.output_width != job.probe.decodedColumns || info.output_height != job.probe.decodedRows ||
        static_cast<std::size_t>(info.output_components) * info.output_width != target.rowSamples) {
        jpeg_destroy_decompress(&info);
        return Outcome::SizeDiffers;
    }
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        const std::size_t line = info.output_scanline;
        JSAMPROW row = target.row != nullptr ? target.row : target.samples + line * target.rowBytes;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) {
            break;  // suspended: cannot happen with a source in memory
        }
        if (target.row != nullptr) {
            std::uint8_t* out = target.samples + line * target.rowBytes;
            for (std::size_t i = 0; i < target.rowSamples; ++i) {
                StoreSample(out + i * target.sampleBytes, target.row[i], target.sampleBytes);
            }
        }
    }
    convertedToRgb = job.geometry.ybr && info.out_color_space == JCS_RGB;
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return Outcome::Done;
}

bool Probe(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
           FrameProbe& probe, Reason* why) {
    return codec == FrameCodec::Jpeg ? ProbeJpeg(stream, geometry, reduce, probe, why) : NotServedHere(codec, why);
}

bool Decode(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out,
            Reason* why) {
    return codec == FrameCodec::Jpeg ? DecodeJpegTurbo(stream, job, out, why) : NotServedHere(codec, why);
}

}  // namespace

bool DecodeJpegTurbo(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why) {
    JpegFrameHeader header;
    if (!ReadCheckedJpegHeader(stream, job.geometry, header, why)) {
        return false;
    }
    if (!header.EightBitLossy()) {
        return NotServedHere(FrameCodec::Jpeg, why);
    }
    const std::size_t sampleBytes = job.geometry.bitsAllocated / 8u;
    const std::size_t rowSamples = std::size_t{job.probe.decodedColumns} * job.geometry.samplesPerPixel;
    std::vector<std::uint8_t> row;
    if (sampleBytes != 1) {
        row.resize(rowSamples);
    }
    const RowTarget target{out.samples, rowSamples * sampleBytes, row.empty() ? nullptr : row.data(), rowSamples,
                           sampleBytes};
    jpeg_decompress_struct info{};
    ErrorJump error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JumpOnError;
    error.manager.emit_message = Quietly;
    bool converted = false;
    switch (Run(info, error, stream, job, target, converted)) {
    case Outcome::Done: out.convertedToRgb = converted; return true;
    case Outcome::SizeDiffers:
        return Fail(why, Reason(DecodeFailure::JpegCorrupt).About("its size differs from its frame header's"));
    case Outcome::LibraryError: break;
    }
    return Fail(why, Reason(DecodeFailure::JpegCorrupt).About(error.message));
}

extern "C" DORVANELLE_DECODERS_ENTRY const DecoderTable* dorvanelle_decoders_libjpeg_turbo() {
    return &ModuleTable<&Probe, &Decode>::kTable;
}
