// The header of a JPEG stream of any process, checked against the file's geometry,
// and the memory its decode needs. Both JPEG modules (libjpeg-turbo and DCMTK's)
// probe alike, so that a stream gets the same answer whichever module reads it.
#include "codecs/DecoderParts.h"
#include "codecs/JpegStream.h"

bool ReadCheckedJpegHeader(std::span<const std::uint8_t> stream, const FrameGeometry& geometry,
                           JpegFrameHeader& header, Reason* why) {
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

bool ProbeJpeg(std::span<const std::uint8_t> stream, const FrameGeometry& geometry, std::uint8_t reduce,
               FrameProbe& probe, Reason* why) {
    JpegFrameHeader header;
    if (!ReadCheckedJpegHeader(stream, geometry, header, why)) {
        return false;
    }
    probe.columns = header.columns;
    probe.rows = header.rows;
    probe.components = header.components;
    probe.precision = header.precision;
    // libjpeg-turbo scales by 1/2, 1/4 and 1/8 in its inverse transform.
    SetDecodedSize(probe, geometry, reduce, header.EightBitLossy() ? 4 : 1);
    // A few rows of blocks for each component and the colour conversion.
    probe.bytesNeeded += std::uint64_t{header.columns} * header.components * header.maxVertical * 8 * 8;
    if (header.HoldsWholeFrame()) {
        probe.bytesNeeded += header.CoefficientBytes();
    }
    if (!header.EightBitLossy() && header.precision <= 8 && geometry.bitsAllocated > 8) {
        probe.bytesNeeded += std::uint64_t{header.columns} * header.rows * header.components;  // the 8-bit scratch
    }
    return true;
}
