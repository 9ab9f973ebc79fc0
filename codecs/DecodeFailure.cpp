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

const char* ReasonName(DecodeFailure code) {
    switch (code) {
    case DecodeFailure::FrameNotDecodable: return "frame_not_decodable";
    case DecodeFailure::NoCompressedData: return "no_compressed_data";
    case DecodeFailure::StreamTooSmall: return "stream_too_small";
    case DecodeFailure::OutOfMemory: return "decode_out_of_memory";
    case DecodeFailure::DecoderNotSetUp: return "decoder_not_set_up";
    case DecodeFailure::GeometryMismatch: return "geometry_mismatch";
    case DecodeFailure::PrecisionMismatch: return "precision_mismatch";
    case DecodeFailure::StreamOver4GiB: return "stream_over_4_gib";
    case DecodeFailure::JpegNoFrameHeader: return "jpeg_no_frame_header";
    case DecodeFailure::JpegCorrupt: return "jpeg_corrupt";
    case DecodeFailure::JpegLsHeaderCorrupt: return "jpeg_ls_header_corrupt";
    case DecodeFailure::JpegLsScansDisagree: return "jpeg_ls_scans_disagree";
    case DecodeFailure::JpegLsCorrupt: return "jpeg_ls_corrupt";
    case DecodeFailure::Jpeg2000NoImageSize: return "jpeg2000_no_image_size";
    case DecodeFailure::Jpeg2000TooManyTiles: return "jpeg2000_too_many_tiles";
    case DecodeFailure::Jpeg2000HeaderCorrupt: return "jpeg2000_header_corrupt";
    case DecodeFailure::Jpeg2000Corrupt: return "jpeg2000_corrupt";
    case DecodeFailure::Jpeg2000Subsampled: return "jpeg2000_subsampled";
    case DecodeFailure::RleTooShort: return "rle_too_short";
    case DecodeFailure::RleShortHeader: return "rle_short_header";
    case DecodeFailure::RleSegmentCount: return "rle_segment_count";
    case DecodeFailure::RleSegmentOutside: return "rle_segment_outside";
    case DecodeFailure::RleSegmentCorrupt: return "rle_segment_corrupt";
    case DecodeFailure::DecodersNotLoaded: return "decoders_not_loaded";
    case DecodeFailure::OverMemoryBudget: return "over_memory_budget";
    case DecodeFailure::JpegXlHeaderCorrupt: return "jpeg_xl_header_corrupt";
    case DecodeFailure::JpegXlCorrupt: return "jpeg_xl_corrupt";
    case DecodeFailure::JpegXlUnsupported: return "jpeg_xl_unsupported";
    case DecodeFailure::DecoderStopped: return "decoder_stopped";
    }
    return "unknown";
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

const char* ReasonName(InflateFailure code) {
    switch (code) {
    case InflateFailure::NotSetUp: return "inflater_not_set_up";
    case InflateFailure::TooLarge: return "inflated_too_large";
    case InflateFailure::Truncated: return "deflated_truncated";
    case InflateFailure::Corrupt: return "deflated_corrupt";
    case InflateFailure::OutOfMemory: return "inflate_out_of_memory";
    case InflateFailure::Unreadable: return "deflated_unreadable";
    }
    return "unknown";
}

const char* ReasonSummary(DecodeFailure code) {
    switch (code) {
    case DecodeFailure::FrameNotDecodable: return "no frame of that size and depth can be decoded";
    case DecodeFailure::StreamTooSmall: return "a compressed frame is too small for the frame the file describes";
    case DecodeFailure::OutOfMemory: return "not enough memory to decode a frame";
    case DecodeFailure::DecoderNotSetUp: return "a decoder could not be set up";
    case DecodeFailure::GeometryMismatch: return "the compressed stream's size differs from the file's";
    case DecodeFailure::PrecisionMismatch: return "the compressed stream's bits per sample differ from the file's";
    case DecodeFailure::StreamOver4GiB: return "a compressed stream is larger than 4 GiB";
    case DecodeFailure::JpegCorrupt: return "the JPEG stream is corrupt or truncated";
    case DecodeFailure::JpegLsHeaderCorrupt: return "the JPEG-LS stream's header is corrupt";
    case DecodeFailure::JpegLsCorrupt: return "the JPEG-LS stream is corrupt";
    case DecodeFailure::Jpeg2000TooManyTiles: return "the JPEG 2000 stream is cut into too many tiles";
    case DecodeFailure::Jpeg2000HeaderCorrupt: return "the JPEG 2000 stream's header is corrupt";
    case DecodeFailure::Jpeg2000Corrupt: return "the JPEG 2000 stream is corrupt";
    case DecodeFailure::Jpeg2000Subsampled: return "a JPEG 2000 component is subsampled or missing";
    case DecodeFailure::RleTooShort: return "the RLE data is far too short for the frame";
    case DecodeFailure::RleSegmentCount: return "the RLE frame has the wrong number of segments";
    case DecodeFailure::RleSegmentOutside: return "an RLE segment lies outside the frame";
    case DecodeFailure::RleSegmentCorrupt: return "an RLE segment is corrupt";
    case DecodeFailure::DecodersNotLoaded: return "the decoders for compressed frames could not be loaded";
    default: return nullptr;
    }
}

const char* ReasonSummary(InflateFailure code) {
    return code == InflateFailure::TooLarge ? "the deflated data set inflates to more than is allowed" : nullptr;
}
