// JPEG XL through libjxl, on as many threads as asked. The frame is decoded from
// memory into the output directly: grey or RGB, 8 or 16 bits, little-endian. libjxl
// gives 16-bit samples scaled to the full 16-bit range whatever the stream's depth;
// they are scaled back, which gives every sample of a lossless stream exactly.
#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/resizable_parallel_runner.h>
#include <jxl/resizable_parallel_runner_cxx.h>

#include <thread>

#include "codecs/ModuleEntry.h"
#include "codecs/IsolatedDecode.h"

namespace {

// libjxl decodes into images of 32-bit floats or integers, one plane a channel,
// and holds a second such set while it renders the output.
constexpr std::uint64_t kLibraryBytesPerSample = 8;

bool ReadBasicInfo(JxlDecoder* decoder, std::span<const std::uint8_t> stream, JxlBasicInfo& info, Reason* why) {
    if (JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder, stream.data(), stream.size()) != JXL_DEC_SUCCESS) {
        return Fail(why, Reason(DecodeFailure::DecoderNotSetUp).About("JPEG XL"));
    }
    JxlDecoderCloseInput(decoder);
    const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
    if (status == JXL_DEC_NEED_MORE_INPUT) {
        return Fail(why, Reason(DecodeFailure::JpegXlHeaderCorrupt).About("the stream ends inside its header"));
    }
    if (status != JXL_DEC_BASIC_INFO || JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS) {
        return Fail(why, DecodeFailure::JpegXlHeaderCorrupt);
    }
    return true;
}

// The header, checked against the file's geometry.
bool ReadHeader(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, FrameProbe& probe, Reason* why) {
    const JxlSignature signature = JxlSignatureCheck(stream.data(), stream.size());
    if (signature != JXL_SIG_CODESTREAM && signature != JXL_SIG_CONTAINER) {
        return Fail(why, Reason(DecodeFailure::JpegXlHeaderCorrupt).About("no JPEG XL signature"));
    }
    // The header is read in a child process too: libjxl prints as it fails on it.
    JxlBasicInfo info{};
    FrameOutput into{reinterpret_cast<std::uint8_t*>(&info), sizeof info, false};
    const auto read = [stream](FrameOutput& shared, Reason* reason) {
        const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
        if (!decoder) {
            return Fail(reason, Reason(DecodeFailure::OutOfMemory).About("JPEG XL"));
        }
        return ReadBasicInfo(decoder.get(), stream, *reinterpret_cast<JxlBasicInfo*>(shared.samples), reason);
    };
    if (!DecodeInChildProcess("JPEG XL", into, read, why)) {
        return false;
    }
    probe.columns = info.xsize;
    probe.rows = info.ysize;
    probe.components = static_cast<std::uint16_t>(info.num_color_channels);
    probe.precision = static_cast<std::uint8_t>(std::min<std::uint32_t>(info.bits_per_sample, 0xFF));
    if (!ProbeFitsGeometry("JPEG XL", probe, geometry, why)) {
        return false;
    }
    if (info.exponent_bits_per_sample != 0) {
        return Fail(why, Reason(DecodeFailure::JpegXlUnsupported).About("floating-point samples"));
    }
    if (info.have_animation != 0) {
        return Fail(why, Reason(DecodeFailure::JpegXlUnsupported).About("an animation"));
    }
    if (info.bits_per_sample == 0 || info.bits_per_sample > geometry.bitsAllocated || geometry.bitsAllocated > 16) {
        return Fail(why, Reason(DecodeFailure::PrecisionMismatch)
                             .About("JPEG XL")
                             .Numbers(info.bits_per_sample, geometry.bitsAllocated));
    }
    return true;
}

std::size_t Threads(std::uint16_t asked) {
    if (asked != 0) {
        return asked;
    }
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

}  // namespace

bool ProbeJpegXl(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
                 FrameProbe& probe, Reason* why) {
    if (!ReadHeader(stream, geometry, probe, why)) {
        return false;
    }
    SetDecodedSize(probe, geometry, reduce, 1);
    probe.bytesNeeded += std::uint64_t{probe.columns} * probe.rows * probe.components * kLibraryBytesPerSample;
    return true;
}

namespace {

bool DecodeWithLibjxl(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why) {
    const FrameGeometry& geometry = job.geometry;
    const FrameProbe& header = job.probe;  // read and checked by ProbeJpegXl
    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    const JxlResizableParallelRunnerPtr runner = JxlResizableParallelRunnerMake(nullptr);
    if (!decoder || !runner) {
        return Fail(why, Reason(DecodeFailure::OutOfMemory).About("JPEG XL"));
    }
    JxlResizableParallelRunnerSetThreads(runner.get(), Threads(job.threads));
    if (JxlDecoderSetParallelRunner(decoder.get(), JxlResizableParallelRunner, runner.get()) != JXL_DEC_SUCCESS ||
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), stream.data(), stream.size()) != JXL_DEC_SUCCESS) {
        return Fail(why, Reason(DecodeFailure::DecoderNotSetUp).About("JPEG XL"));
    }
    JxlDecoderCloseInput(decoder.get());
    const bool wide = geometry.bitsAllocated == 16;
    const JxlPixelFormat format{geometry.samplesPerPixel, wide ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_LITTLE_ENDIAN,
                                0};
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            std::size_t size = 0;
            if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &size) != JXL_DEC_SUCCESS || size != out.size ||
                JxlDecoderSetImageOutBuffer(decoder.get(), &format, out.samples, out.size) != JXL_DEC_SUCCESS) {
                return Fail(why, Reason(DecodeFailure::JpegXlCorrupt).About("its size differs from its header's"));
            }
        } else if (status == JXL_DEC_FULL_IMAGE) {
            break;  // the first frame is the image
        } else if (status == JXL_DEC_NEED_MORE_INPUT) {
            return Fail(why, Reason(DecodeFailure::JpegXlCorrupt).About("the stream is truncated"));
        } else if (status != JXL_DEC_SUCCESS && status != JXL_DEC_BASIC_INFO) {
            return Fail(why, DecodeFailure::JpegXlCorrupt);
        } else if (status == JXL_DEC_SUCCESS) {
            return Fail(why, Reason(DecodeFailure::JpegXlCorrupt).About("the stream holds no image"));
        }
    }
    if (wide && header.precision < 16) {
        // Back from 0..65535 to the stream's own range, rounding to the nearest.
        const std::uint32_t most = (1u << header.precision) - 1;
        for (std::size_t i = 0; i + 1 < out.size; i += 2) {
            const std::uint32_t scaled = out.samples[i] | (std::uint32_t{out.samples[i + 1]} << 8);
            StoreSample(out.samples + i, (scaled * most + 32767) / 65535, 2);
        }
    }
    return true;
}

}  // namespace

// libjxl stops the process on its own assertions and prints as it fails: it
// decodes in a child process.
bool DecodeJpegXl(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why) {
    return DecodeInChildProcess(
        "JPEG XL", out,
        [&](FrameOutput& shared, Reason* reason) { return DecodeWithLibjxl(stream, job, shared, reason); }, why);
}

namespace {

bool Probe(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
           FrameProbe& probe, Reason* why) {
    switch (codec) {
    case FrameCodec::JpegXl: return ProbeJpegXl(stream, geometry, reduce, probe, why);
    default: return NotServedHere(codec, why);
    }
}

bool Decode(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out,
            Reason* why) {
    switch (codec) {
    case FrameCodec::JpegXl: return DecodeJpegXl(stream, job, out, why);
    default: return NotServedHere(codec, why);
    }
}

}  // namespace

extern "C" DORVANELLE_DECODERS_ENTRY const DecoderTable* dorvanelle_decoders_libjxl() {
    return &ModuleTable<&Probe, &Decode>::kTable;
}
