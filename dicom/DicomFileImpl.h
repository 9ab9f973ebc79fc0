// What a CDicomFile keeps besides the current element: the open file, the window of
// bytes the element walk reads from, the walk's state (transfer syntax, nesting), and
// what the capture pass gathers for the attributes and the frame source.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dicom/AttributeCapture.h"
#include "dicom/DicomFile.h"
#include "dicom/EncapsulatedPixelData.h"
#include "dicom/TransferSyntax.h"
#include "io/ByteSource.h"

struct CDicomFile::Impl {
    // The loaded file (or bytes in memory).
    std::shared_ptr<const ByteSource> file;
    Reason loadFailure;
    // The file's path, for the words of a failed read.
    std::string path;

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
    // Where the element just read starts.
    std::uint64_t elementStart = 0;
    // The element's explicit VR, when it had one.
    char vr[2] = {};
    // The walk ends after the current element (VisitElements, a header walk).
    bool stopWalk = false;

    // The transfer syntax named by the file meta group in the last walk; null when
    // there was none or the UID is not in the table (the walk then guesses the
    // VR element by element, little-endian).
    std::string syntaxUid;
    const TransferSyntax* syntax = nullptr;
    // The walk has passed the meta group of a big-endian file.
    bool bigEndian = false;
    // The data set is read through its inflated bytes since a walk entered it: later walks read it as it is.
    bool inflated = false;
    // Why the deflated data set of the loaded source could not be inflated: later
    // walks give the same reason without inflating it again.
    Reason inflateFailure;
    // Why the data set after the meta group could not be read (a deflate that failed).
    Reason dataSetProblem;
    // Why the last walk stopped before the end of the bytes.
    Reason walkStop;

    // Where the walk stands in the nesting of sequences (and their items): each open
    // one with the offset where it ends, or kOpenEnded until its delimiter.
    struct Open {
        bool item = false;
        std::uint64_t end = 0;
    };
    static constexpr std::uint64_t kOpenEnded = ~std::uint64_t{0};
    std::vector<Open> nesting;
    std::size_t depth = 0;  // of the element just read: 0 at the top level
    // An element whose value runs past the end of the file: the walk ended there.
    struct CutShort {
        bool found = false;
        std::uint16_t group = 0;
        std::uint16_t element = 0;
        std::uint64_t valueStart = 0;
        std::uint32_t declared = 0;
        std::size_t depth = 0;
    } cutShort;

    // What the capture pass gathers for ImageAttributes, and the top-level pixel data:
    // where it lies, and for compressed data the items the walk found and the
    // extended offset table.
    AttributeCapture capture;
    PixelDataInfo topPixels;
    std::shared_ptr<const ByteSource> topPixelFile;
    bool floatPixels = false;
    std::uint16_t floatBits = 0;
    bool topItemsWalked = false;
    EncapsulatedPixelData topFragments;
    Reason topItemsProblem;
    std::uint64_t topItemsStart = 0;
    ExtendedOffsets extended;
    std::shared_ptr<const ImageAttributes> attributes;
    std::shared_ptr<const FrameSource> frameSource;
};
