#include "codecs/DecodeFailure.h"

namespace {

std::string Number(const Reason& reason, std::size_t index) { return std::to_string(reason.Number(index)); }

// The library's words after a colon, when it gave any.
std::string WithLibraryWords(const std::string& text, const Reason& reason) {
    return reason.Subject().empty() ? text : text + ": " + reason.Subject();
}

}  // namespace

std::string ReasonText(DecodeFailure code, const Reason& reason) {
    const std::string& kind = reason.Subject();
    switch (code) {
    case DecodeFailure::FrameNotDecodable:
        return "no frame of " + Number(reason, 0) + " x " + Number(reason, 1) + " with " + Number(reason, 2) +
               " bits allocated can be decoded";
    case DecodeFailure::NoCompressedData: return "the frame has no compressed data";
    case DecodeFailure::StreamTooSmall:
        return "the compressed frame (" + Number(reason, 0) + " bytes) is too small to hold the " + Number(reason, 1) +
               " bytes the file describes";
    case DecodeFailure::OutOfMemory:
        return kind.empty() ? "not enough memory to decode the frame"
                            : "not enough memory to decode the " + kind + " frame";
    case DecodeFailure::DecoderNotSetUp: return "the " + kind + " decoder could not be set up";
    case DecodeFailure::GeometryMismatch:
        return "the " + kind + " stream holds " + Number(reason, 0) + " x " + Number(reason, 1) + " x " +
               Number(reason, 2) + ", the file says " + Number(reason, 3) + " x " + Number(reason, 4) + " x " +
               Number(reason, 5);
    case DecodeFailure::PrecisionMismatch:
        return "the " + kind + " stream holds " + Number(reason, 0) + "-bit samples, the file allocates " +
               Number(reason, 1);
    case DecodeFailure::StreamOver4GiB: return "the " + kind + " stream is larger than 4 GiB";
    case DecodeFailure::JpegNoFrameHeader: return "the JPEG stream has no readable frame header";
    case DecodeFailure::JpegCorrupt: return "the JPEG stream is corrupt or truncated (" + reason.Subject() + ")";
    case DecodeFailure::JpegLsHeaderCorrupt: return WithLibraryWords("the JPEG-LS stream's header is corrupt", reason);
    case DecodeFailure::JpegLsScansDisagree:
        return "the JPEG-LS stream's scans are interleaved differently from its first";
    case DecodeFailure::JpegLsCorrupt: return WithLibraryWords("the JPEG-LS stream is corrupt", reason);
    case DecodeFailure::Jpeg2000NoImageSize: return "the JPEG 2000 stream has no readable image size";
    case DecodeFailure::Jpeg2000TooManyTiles:
        return "the JPEG 2000 stream is cut into " + Number(reason, 0) + " tiles, more than " + Number(reason, 1) +
               " for its size";
    case DecodeFailure::Jpeg2000HeaderCorrupt:
        return WithLibraryWords("the JPEG 2000 stream's header is corrupt", reason);
    case DecodeFailure::Jpeg2000Corrupt: return WithLibraryWords("the JPEG 2000 stream is corrupt", reason);
    case DecodeFailure::Jpeg2000Subsampled:
        return "JPEG 2000 component " + Number(reason, 0) + " is subsampled or missing";
    case DecodeFailure::RleTooShort:
        return "the RLE data (" + Number(reason, 0) + " bytes) is far too short for a frame of " + Number(reason, 1) +
               " bytes";
    case DecodeFailure::RleShortHeader: return "the RLE frame is shorter than its 64-byte header";
    case DecodeFailure::RleSegmentCount:
        return "the RLE frame has " + Number(reason, 0) + " segments where " + Number(reason, 1) + " are expected";
    case DecodeFailure::RleSegmentOutside: return "RLE segment " + Number(reason, 0) + " lies outside the frame";
    case DecodeFailure::RleSegmentCorrupt: return "RLE segment " + Number(reason, 0) + " is corrupt";
    case DecodeFailure::DecodersNotLoaded:
        return "the decoders for compressed frames could not be loaded (" + reason.Subject() + ")";
    case DecodeFailure::OverMemoryBudget:
        return "too large to decode within " + Number(reason, 0) + " MiB (needs " + Number(reason, 1) + " MiB)";
    case DecodeFailure::JpegXlHeaderCorrupt: return WithLibraryWords("the JPEG XL stream's header is corrupt", reason);
    case DecodeFailure::JpegXlCorrupt: return WithLibraryWords("the JPEG XL stream is corrupt", reason);
    case DecodeFailure::JpegXlUnsupported: return "the JPEG XL stream holds " + kind + ", which is not shown";
    case DecodeFailure::DecoderStopped: return "the " + kind + " stream is corrupt: its decoder stopped on it";
    }
    return "the frame could not be decoded";
}

Reason GeometryMismatch(const char* kind, std::uint32_t columns, std::uint32_t rows, std::uint32_t samples,
                        const FrameGeometry& geometry) {
    return Reason(DecodeFailure::GeometryMismatch)
        .About(kind)
        .Numbers(columns, rows, samples, geometry.columns, geometry.rows, geometry.samplesPerPixel);
}

std::string ReasonText(InflateFailure code, const Reason& reason) {
    switch (code) {
    case InflateFailure::NotSetUp: return "the deflate decoder could not be set up";
    case InflateFailure::TooLarge:
        return "the deflated data set inflates to more than " + std::to_string(reason.First()) +
               " bytes, which is refused";
    case InflateFailure::Truncated: return "the deflated data set is truncated";
    case InflateFailure::Corrupt: return "the deflated data set is corrupt";
    case InflateFailure::OutOfMemory: return "not enough memory to inflate the data set";
    case InflateFailure::Unreadable: return "the deflated data set could not be read: the file changed on disk";
    }
    return "the deflated data set could not be inflated";
}
