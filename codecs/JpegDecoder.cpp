// The DCMTK module: JPEG of 12 and 16 bits and lossless JPEG of any precision
// through DCMTK's IJG-based decoder classes, which take a raw stream without
// parsing any DICOM, and the run-length scheme (RleDecoder.cpp). 8-bit JPEG that is
// not lossless goes to libjpeg-turbo's module instead (JpegTurboDecoder.cpp). The
// class is chosen by the precision in the stream's frame header, not by Bits
// Stored: some writers put 12-bit data in 16-bit streams.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmjpeg/djcparam.h>
#include <dcmtk/dcmjpeg/djdijg12.h>
#include <dcmtk/dcmjpeg/djdijg16.h>
#include <dcmtk/dcmjpeg/djdijg8.h>
#include <dcmtk/oflog/config.h>
#include <dcmtk/oflog/oflog.h>

#include <memory>
#include <mutex>
#include <vector>

#include "codecs/JpegStream.h"
#include "codecs/ModuleEntry.h"

namespace {

// DCMTK logs the library's warnings to the terminal; the reader reports instead.
void SilenceLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        OFLog::configure(OFLogger::OFF_LOG_LEVEL);
        // Configuring leaves the logger's per-thread buffers on the calling thread,
        // often a frame loader's worker that ends before the program; free them now.
        dcmtk::log4cplus::threadCleanup();
    });
}

std::unique_ptr<DJDecoder> MakeDecoder(std::uint8_t precision, const DJCodecParameter& parameters, bool ybr) {
    if (precision <= 8) {
        return std::make_unique<DJDecompressIJG8Bit>(parameters, ybr);
    }
    if (precision <= 12) {
        return std::make_unique<DJDecompressIJG12Bit>(parameters, ybr);
    }
    return std::make_unique<DJDecompressIJG16Bit>(parameters, ybr);
}

bool DecodeWithDcmtk(std::span<const std::uint8_t> stream, const JpegFrameHeader& header, const FrameGeometry& geometry,
                     FrameOutput& out, Reason* why) {
    SilenceLibraryLog();
    // Colour is turned from YBR into RGB when the file's photometric interpretation
    // says YBR, and left alone otherwise.
    const DJCodecParameter parameters(ECC_lossyYCbCr, EDC_photometricInterpretation, EUC_default, EPC_default);
    std::unique_ptr<DJDecoder> decoder = MakeDecoder(header.precision, parameters, geometry.ybr);
    if (decoder->init().bad()) {
        return Fail(why, Reason(DecodeFailure::DecoderNotSetUp).About("JPEG"));
    }
    const std::size_t bytes = geometry.bitsAllocated / 8u;
    const std::size_t decoderBytes = decoder->bytesPerSample();
    std::vector<std::uint8_t> scratch;
    if (decoderBytes != bytes) {
        scratch.resize(out.size / bytes * decoderBytes);
    }
    std::uint8_t* target = scratch.empty() ? out.samples : scratch.data();
    const std::size_t targetSize = scratch.empty() ? out.size : scratch.size();
    // The decoder only reads its input; its interface lacks const.
    auto* input = const_cast<std::uint8_t*>(stream.data());
    const OFCondition result = decoder->decode(input, static_cast<Uint32>(stream.size()), target,
                                               static_cast<Uint32>(targetSize), geometry.isSigned ? OFTrue : OFFalse);
    if (result.bad()) {
        return Fail(why, Reason(DecodeFailure::JpegCorrupt).About(result.text()));
    }
    out.convertedToRgb = geometry.ybr && decoder->getDecompressedColorModel() == EPI_RGB;
    if (!scratch.empty()) {
        // 8-bit samples in a file that allocates 16 bits (wider streams are refused above).
        for (std::size_t i = 0; i < scratch.size(); ++i) {
            StoreSample(out.samples + i * bytes, scratch[i], bytes);
        }
    }
    return true;
}

bool Probe(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
           FrameProbe& probe, Reason* why) {
    switch (codec) {
    case FrameCodec::Jpeg: return ProbeJpeg(stream, geometry, reduce, probe, why);
    case FrameCodec::Rle: return ProbeRle(stream, geometry, reduce, probe, why);
    default: return NotServedHere(codec, why);
    }
}

bool Decode(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out,
            Reason* why) {
    switch (codec) {
    case FrameCodec::Jpeg: return DecodeJpegDcmtk(stream, job, out, why);
    case FrameCodec::Rle: return DecodeRle(stream, job, out, why);
    default: return NotServedHere(codec, why);
    }
}

}  // namespace

bool DecodeJpegDcmtk(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why) {
    JpegFrameHeader header;
    if (!ReadCheckedJpegHeader(stream, job.geometry, header, why)) {
        return false;
    }
    return DecodeWithDcmtk(stream, header, job.geometry, out, why);
}

extern "C" DORVANELLE_DECODERS_ENTRY const DecoderTable* dorvanelle_decoders_dcmtk() {
    // Loading the module ran DCMTK's logging set-up, which leaves per-thread buffers
    // on the loading thread; the table is asked for on that same thread, so the log
    // is configured and those buffers freed here, whichever codec comes first.
    SilenceLibraryLog();
    return &ModuleTable<&Probe, &Decode>::kTable;
}
