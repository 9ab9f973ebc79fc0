// What a CDicomFile keeps besides its public fields: the open file, the window of
// bytes the element walk reads from, the frames read recently, the samples
// rearranged or decoded for the conversion, and the per-file caches that let one
// frame cost one frame.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "dicom/AttributeCapture.h"
#include "dicom/DicomFile.h"
#include "dicom/EncapsulatedPixelData.h"
#include "dicom/GreyWindow.h"
#include "dicom/SampleRangePass.h"
#include "dicom/TransferSyntax.h"
#include "io/ByteSource.h"

struct CDicomFile::Impl {
    // The loaded file (or bytes in memory).
    std::shared_ptr<const ByteSource> file;
    Reason loadFailure;
    // The file's path, for the words of a failed read.
    std::string path;
    // Changes with every load and Reset, so that no cache outlives its file.
    std::uint64_t generation = 0;
    // The file the captured pixel data lies in: a load without a Reset first
    // replaces `file` but leaves the captured pixel data readable.
    std::shared_ptr<const ByteSource> pixelFile;
    // Changes with every captured Pixel Data value.
    std::uint64_t pixelSerial = 0;

    // Bytes [windowStart, windowStart + windowLength) of `file`, read for the walk.
    std::vector<std::uint8_t> window;
    std::uint64_t windowStart = 0;
    std::size_t windowLength = 0;
    // The first bytes of the file, where the layout is decided.
    std::uint8_t head[132] = {};
    std::size_t headLength = 0;

    // Set by the header decoder when the current element has an undefined length,
    // with where its value (or first item) starts.
    bool undefinedLength = false;
    std::uint64_t valueStart = 0;
    // Where the current element starts; a step sets stopWalk to end the walk after it.
    std::uint64_t elementStart = 0;
    bool stopWalk = false;

    // The transfer syntax named by the file meta group in the last walk; null when
    // there was none or the UID is not in the table (the walk then guesses the
    // VR element by element, little-endian).
    std::string syntaxUid;
    const TransferSyntax* syntax = nullptr;
    // The walk has passed the meta group of a big-endian file.
    bool bigEndian = false;
    // (0028,0101) Bits Stored and (0028,0102) High Bit were captured with a value.
    bool bitsStoredGiven = false;
    bool highBitGiven = false;
    // (0028,0006) Planar Configuration: 1 when colour is stored plane by plane.
    std::uint16_t planarConfiguration = 0;
    // The captured Pixel Data was read in a big-endian data set.
    bool bigEndianPixels = false;
    // The data set is read through its inflated bytes since a walk entered it: later walks read it as it is.
    bool inflated = false;
    // Why the data set after the meta group could not be read (a deflate that failed).
    Reason dataSetProblem;
    // Why the last walk stopped before the end of the bytes.
    Reason walkStop;

    // Encapsulated pixel data: where each fragment lies in the file (its item
    // headers were read, not its value), and the extended offset table when the
    // file has one.
    bool itemsWalked = false;
    EncapsulatedPixelData fragments;
    ExtendedOffsets extended;
    Reason itemsProblem;
    // How the frames are found among the fragments and decoded, made when a frame
    // is first decoded and kept while the pixel data and the attributes it is made
    // from stay the same; shared with a range pass on another thread.
    std::shared_ptr<const CompressedFrames> compressed;
    std::uint64_t compressedSerial = 0;  // pixelSerial it was made for
    std::string compressedProblem;       // why the frames cannot be told apart

    // Where the conversion reads its samples (see DicomFrameSource.cpp): one stored
    // frame as read from the file, or `converted`, which holds one frame rearranged
    // or decoded.
    const std::uint8_t* source = nullptr;
    std::uint64_t sourceLength = 0;
    std::int32_t sourceFirstFrame = 0;
    Reason sourceReason;
    std::vector<std::uint8_t> converted;
    std::uint64_t convertedGeneration = 0;
    std::int32_t convertedFrame = -1;
    std::uint64_t convertedPixels = 0;  // pixelSerial of the data converted
    // The captured Pixel Data had an undefined length (encapsulated fragments).
    bool encapsulated = false;

    // Frames read from the file, most recent first.
    struct CachedBytes {
        std::uint64_t offset = 0;  // in the file
        std::uint64_t size = 0;
        std::unique_ptr<std::uint8_t[]> bytes;
    };
    std::deque<CachedBytes> frames;
    // How the last read of pixel bytes ended.
    SourceRead lastRead = SourceRead::Done;

    // Range of the samples of the whole pixel data after the rescale (as the
    // conversion reads them: rearranged or decoded), computed once per file and only
    // when needed.
    bool rangeKnown = false;
    SampleRangeRequest rangeOf;  // what the cached range was computed from
    SampleRange range;
    // A conversion ran without needing the range; it is still to be settled.
    bool rangePending = false;

    // Where the walk stands in the nesting of sequences (and their items): each open
    // one with the offset where it ends, or kOpenEnded until its delimiter.
    struct Open {
        bool item = false;
        std::uint64_t end = 0;
    };
    static constexpr std::uint64_t kOpenEnded = ~std::uint64_t{0};
    std::vector<Open> nesting;
    std::size_t depth = 0;  // of the element just read: 0 at the top level
    // The element's explicit VR, when it had one.
    char vr[2] = {};
    // An element whose value runs past the end of the file: the walk ended there.
    struct CutShort {
        bool found = false;
        std::uint16_t group = 0;
        std::uint16_t element = 0;
        std::uint64_t valueStart = 0;
        std::uint32_t declared = 0;
        std::size_t depth = 0;
    } cutShort;

    // What the capture pass gathers for ImageAttributes, and the top-level pixel data.
    AttributeCapture capture;
    PixelDataInfo topPixels;
    std::shared_ptr<const ByteSource> topPixelFile;
    bool floatPixels = false;
    std::uint16_t floatBits = 0;
    bool topItemsWalked = false;
    EncapsulatedPixelData topFragments;
    Reason topItemsProblem;
    std::uint64_t topItemsStart = 0;
    std::shared_ptr<const ImageAttributes> attributes;
    std::shared_ptr<const FrameSource> frameSource;

    // Grey table of the last window used.
    bool tableKnown = false;
    std::int16_t tableWidth = 0;
    std::int16_t tableCentre = 0;
    std::int16_t tableIntercept = 0;
    bool tableInverted = false;
    GreyTable table{};
};
