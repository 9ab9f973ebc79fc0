// Why a frame could not be decoded or a data set inflated, as codes with their
// plain words. The details travel with the code in the Reason: the numbers listed
// beside each code, and as Subject the name of the stream's kind ("JPEG 2000") or
// the library's own words where noted.
#pragma once

#include <string>

#include "codecs/FrameDecoder.h"
#include "io/Reason.h"

enum class DecodeFailure {
    FrameNotDecodable,      // rows, columns, bits allocated: no frame of that shape can be decoded into
    NoCompressedData,       // the frame has no bytes at all
    StreamTooSmall,         // stream bytes, frame bytes: far too few bytes for the frame
    OutOfMemory,            // Subject: the kind, or empty for any
    DecoderNotSetUp,        // Subject: the kind
    GeometryMismatch,       // Subject: the kind; stream columns, rows, samples, then the file's
    PrecisionMismatch,      // Subject: the kind; bits per sample in the stream, bits allocated
    StreamOver4GiB,         // Subject: the kind
    JpegNoFrameHeader,      //
    JpegCorrupt,            // Subject: the library's words
    JpegLsHeaderCorrupt,    // Subject: the library's words
    JpegLsScansDisagree,    // a later scan is laid out differently from the first
    JpegLsCorrupt,          // Subject: the library's words
    Jpeg2000NoImageSize,    //
    Jpeg2000TooManyTiles,   // tiles, most tiles allowed for the image's size
    Jpeg2000HeaderCorrupt,  // Subject: the library's first error, if any
    Jpeg2000Corrupt,        // Subject: the library's first error, if any
    Jpeg2000Subsampled,     // the component, counted from 1
    RleTooShort,            // stream bytes, frame bytes: fewer than the longest runs could fill
    RleShortHeader,         //
    RleSegmentCount,        // segments in the frame, segments expected
    RleSegmentOutside,      // the segment, counted from 1
    RleSegmentCorrupt,      // the segment, counted from 1
    DecodersNotLoaded,      // Subject: the folders looked in, or the loader's words
    OverMemoryBudget,       // the budget in MiB, the MiB the decode needs
    JpegXlHeaderCorrupt,    // Subject: what the library stopped at
    JpegXlCorrupt,          // Subject: what the library stopped at
    JpegXlUnsupported,      // Subject: what the frame holds that cannot be shown as samples
    DecoderStopped,         // Subject: the kind; its library stopped on the stream (a child process died)
};
std::string ReasonText(DecodeFailure code, const Reason& reason);
const char* ReasonSummary(DecodeFailure code);
const char* ReasonName(DecodeFailure code);

// The stream of `kind` holds columns x rows x samples where the file says otherwise.
Reason GeometryMismatch(const char* kind, std::uint32_t columns, std::uint32_t rows, std::uint32_t samples,
                        const FrameGeometry& geometry);

enum class InflateFailure {
    NotSetUp,
    TooLarge,  // the cap in bytes
    Truncated,
    Corrupt,
    OutOfMemory,
    Unreadable,  // the file could not be read while inflating
};
std::string ReasonText(InflateFailure code, const Reason& reason);
const char* ReasonSummary(InflateFailure code);
const char* ReasonName(InflateFailure code);
