// Compressed pixel data: a sequence of items after a Pixel Data element of
// undefined length. The first item is the Basic Offset Table (often empty); the
// others are fragments of the frames' compressed streams. This finds every item by
// reading item headers only (and the offset table's values, and the first bytes of
// each fragment, where a codestream's start marker would be), checking each length
// against the bytes there, and says which fragments make up frame N. A frame's
// bytes are read by position when it is decoded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "codecs/FrameDecoder.h"
#include "io/ByteSource.h"
#include "io/Reason.h"

// Why the items cannot be walked or a frame's fragments cannot be found.
enum class FragmentFailure {
    Unreadable,
    NotItems,
    ItemPastEnd,
    OffsetTableLength,
    NoOffsetTable,
    NoFragments,
    FrameOutside,  // First: the frame asked for
    FramesNotTold,
    DelimiterInside,  // First: where in the frame's compressed bytes
};
std::string ReasonText(FragmentFailure code, const Reason& reason);
const char* ReasonSummary(FragmentFailure code);
const char* ReasonName(FragmentFailure code);

struct PixelFragment {
    std::uint64_t itemOffset;  // of the item's tag, from the start of the first fragment's item
    std::uint64_t valueStart;  // of the value, in the bytes given to ParseFragments (or the source)
    std::uint32_t length;
    std::array<std::uint8_t, 8> head;  // the value's first bytes (zeros past its end)
};

struct EncapsulatedPixelData {
    std::vector<std::uint32_t> basicOffsets;  // the Basic Offset Table, empty when it is
    std::vector<PixelFragment> fragments;
    std::uint64_t end = 0;  // bytes the items take, the sequence delimiter included
};

// Parses the items of `value`, which starts just after the Pixel Data header and
// may run to the end of the file. Stops at the sequence delimiter or at the end of
// the bytes; false, with a reason, when there is no offset table item or an item's
// length runs past the end.
bool ParseFragments(std::span<const std::uint8_t> value, EncapsulatedPixelData& out, Reason* why);
// The same for items that start at `start` in `source`, read by position: fragment
// positions are then offsets in the source. `read` says how the reads ended; a read
// that fails is a failure too.
bool WalkFragments(const ByteSource& source, std::uint64_t start, EncapsulatedPixelData& out, SourceRead& read,
                   Reason* why);

// Where the compressed bytes of a frame hold those of a sequence delimiter
// (FFFE,E0DD): a fragment whose length or bytes a writer got wrong. -1 when they do not.
std::int64_t SequenceDelimiterIn(std::span<const std::uint8_t> stream);

// The optional Extended Offset Table (offsets of each frame's item, 64-bit) and its
// lengths, as read from the file; empty when absent.
struct ExtendedOffsets {
    std::vector<std::uint64_t> offsets;
    std::vector<std::uint64_t> lengths;
};

// The fragments of every frame of `frames`, as [first, last) indices into
// `pixels.fragments`. Tries, in this order: the extended offset table, the basic
// offset table, one fragment per frame when the counts match, and the fragments
// where a codestream starts (JPEG and JPEG-LS FFD8, JPEG 2000 FF4F or a JP2
// signature). The first way that is consistent with the fragments wins. False with
// a reason when none is.
struct FragmentSpan {
    std::size_t first;
    std::size_t last;
};
bool FrameSpans(const EncapsulatedPixelData& pixels, const ExtendedOffsets& extended, std::uint32_t frames,
                FrameCodec codec, std::vector<FragmentSpan>& spans, Reason* why);

// The fragments (indices into `pixels.fragments`, in order) of frame `frame` of
// `frames`, found as FrameSpans finds them.
bool FrameFragments(const EncapsulatedPixelData& pixels, const ExtendedOffsets& extended, std::uint32_t frames,
                    std::uint32_t frame, FrameCodec codec, std::vector<std::size_t>& indices, Reason* why);

// The compressed stream of the fragments `indices`: the fragment's own bytes when
// there is one, otherwise their values joined in `joined`.
std::span<const std::uint8_t> FrameStream(std::span<const std::uint8_t> value, const EncapsulatedPixelData& pixels,
                                          const std::vector<std::size_t>& indices, std::vector<std::uint8_t>& joined);
// The same read by position from the source that WalkFragments walked: the values
// of fragments [span.first, span.last) joined in `out`, or in memory where they lie
// when the source is in memory and the frame is one fragment. Empty unless `read`
// is Done.
std::span<const std::uint8_t> ReadFrameStream(const ByteSource& source, const EncapsulatedPixelData& pixels,
                                              FragmentSpan span, std::vector<std::uint8_t>& out, SourceRead& read);
