// JPEG of every process (baseline, extended, progressive, lossless). Streams of 8
// bits or fewer that are not lossless go to libjpeg-turbo (JpegTurboDecoder.cpp);
// the others to DCMTK's IJG-based decoder classes, which take a raw stream without
// parsing any DICOM. The class is chosen by the precision in the stream's frame
// header, not by Bits Stored: some writers put 12-bit data in 16-bit streams.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmjpeg/djcparam.h>
#include <dcmtk/dcmjpeg/djdijg12.h>
#include <dcmtk/dcmjpeg/djdijg16.h>
#include <dcmtk/dcmjpeg/djdijg8.h>
#include <dcmtk/oflog/oflog.h>

#include <memory>
#include <mutex>
#include <vector>

#include "codecs/DecoderParts.h"
#include "codecs/JpegStream.h"

namespace {

// DCMTK logs the library's warnings to the terminal; the reader reports instead.
void SilenceLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] { OFLog::configure(OFLogger::OFF_LOG_LEVEL); });
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

bool UsesTurbo(const JpegFrameHeader& header) { return header.precision <= 8 && !header.Lossless(); }

// The header, checked against the file's geometry.
bool ReadHeader(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, JpegFrameHeader& header,
                Reason* why) {
    if (!ReadJpegFrameHeader(stream, header)) {
        return Fail(why, DecodeFailure::JpegNoFrameHeader);
    }
    if (header.columns != geometry.columns || header.rows != geometry.rows ||
        header.components != geometry.samplesPerPixel) {
        return Fail(why, GeometryMismatch("JPEG", header.columns, header.rows, header.components, geometry));
    }
    if (header.precision < 2 || header.precision > 16 || header.precision > geometry.bitsAllocated ||
        geometry.bitsAllocated > 16) {
        return Fail(
            why,
            Reason(DecodeFailure::PrecisionMismatch).About("JPEG").Numbers(header.precision, geometry.bitsAllocated));
    }
    if (stream.size() > 0xFFFFFFFFu) {
        return Fail(why, Reason(DecodeFailure::StreamOver4GiB).About("JPEG"));
    }
    return true;
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

}  // namespace

bool ProbeJpeg(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
               FrameProbe& probe, Reason* why) {
    JpegFrameHeader header;
    if (!ReadHeader(stream, geometry, header, why)) {
        return false;
    }
    probe.columns = header.columns;
    probe.rows = header.rows;
    probe.components = header.components;
    probe.precision = header.precision;
    // libjpeg-turbo scales by 1/2, 1/4 and 1/8 in its inverse transform.
    SetDecodedSize(probe, geometry, reduce, UsesTurbo(header) ? 4 : 1);
    // A few rows of blocks for each component and the colour conversion.
    probe.bytesNeeded += std::uint64_t{header.columns} * header.components * header.maxVertical * 8 * 8;
    if (header.HoldsWholeFrame()) {
        probe.bytesNeeded += header.CoefficientBytes();
    }
    if (!UsesTurbo(header) && header.precision <= 8 && geometry.bitsAllocated > 8) {
        probe.bytesNeeded += std::uint64_t{header.columns} * header.rows * header.components;  // the 8-bit scratch
    }
    return true;
}

bool DecodeJpeg(std::span<const std::uint8_t> stream, const FrameJob& job, FrameOutput& out, Reason* why) {
    JpegFrameHeader header;
    if (!ReadHeader(stream, job.geometry, header, why)) {
        return false;
    }
    if (UsesTurbo(header)) {
        return DecodeJpegTurbo(stream, job, out, why);
    }
    return DecodeWithDcmtk(stream, header, job.geometry, out, why);
}
