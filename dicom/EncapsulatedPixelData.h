// Compressed pixel data: a sequence of items after a Pixel Data element of
// undefined length. The first item is the Basic Offset Table (often empty); the
// others are fragments of the frames' compressed streams. This finds every item,
// checking each length against the bytes there, and says which fragments make up
// frame N.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "codecs/FrameDecoder.h"

struct PixelFragment {
    std::size_t itemOffset;  // of the item's tag, from the start of the first fragment's item
    std::size_t valueStart;  // of the value, in the bytes given to ParseFragments
    std::uint32_t length;
};

struct EncapsulatedPixelData {
    std::vector<std::uint32_t> basicOffsets;  // the Basic Offset Table, empty when it is
    std::vector<PixelFragment> fragments;
    std::size_t end = 0;  // bytes the items take, the sequence delimiter included
};

// Parses the items of `value`, which starts just after the Pixel Data header and
// may run to the end of the file. Stops at the sequence delimiter or at the end of
// the bytes; false, with a reason, when there is no offset table item or an item's
// length runs past the end.
bool ParseFragments(std::span<const std::uint8_t> value, EncapsulatedPixelData& out, std::string* why);

// The optional Extended Offset Table (offsets of each frame's item, 64-bit) and its
// lengths, as read from the file; empty when absent.
struct ExtendedOffsets {
    std::vector<std::uint64_t> offsets;
    std::vector<std::uint64_t> lengths;
};

// The fragments (indices into `pixels.fragments`, in order) of frame `frame` of
// `frames`. Tries, in this order: the extended offset table, the basic offset
// table, one fragment per frame when the counts match, and the fragments where a
// codestream starts (JPEG and JPEG-LS FFD8, JPEG 2000 FF4F or a JP2 signature).
// The first way that is consistent with the fragments wins. False with a reason
// when none is.
// `value` is what was given to ParseFragments.
bool FrameFragments(std::span<const std::uint8_t> value, const EncapsulatedPixelData& pixels,
                    const ExtendedOffsets& extended, std::uint32_t frames, std::uint32_t frame, FrameCodec codec, std::vector<std::size_t>& indices, std::string* why);

// The compressed stream of the fragments `indices`: the fragment's own bytes when
// there is one, otherwise their values joined in `joined`.
std::span<const std::uint8_t> FrameStream(std::span<const std::uint8_t> value, const EncapsulatedPixelData& pixels,
                                          const std::vector<std::size_t>& indices, std::vector<std::uint8_t>& joined);
