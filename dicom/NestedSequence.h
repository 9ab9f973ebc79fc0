// The items of one sequence, read with their nesting: the element walk lists a
// file flat, but the attributes of an enhanced multi-frame file (its functional
// groups) and of Modality and VOI LUT sequences live in items, items in items,
// which the capture reads through this.
//
// Bounded whatever the file claims: at most kMaxDepth levels, kMaxElements
// elements and kMaxKeptBytes bytes of kept values; what lies beyond is not read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "io/ByteSource.h"

struct NestedItem;

struct NestedElement {
    std::uint32_t tag = 0;     // group << 16 | element
    std::uint32_t length = 0;  // as the file gives it; 0xFFFFFFFF when undefined
    // The first bytes of the value (all of it for lookup-table data and short values).
    std::vector<std::uint8_t> value;
    std::vector<NestedItem> items;  // for a sequence
};

struct NestedItem {
    std::vector<NestedElement> elements;
    // The first element with `tag`, or null.
    const NestedElement* Find(std::uint32_t tag) const;
    // The first item of the sequence `tag`, or null.
    const NestedItem* FirstItemOf(std::uint32_t tag) const;
};

struct NestedSequence {
    std::vector<NestedItem> items;
};

struct NestedLimits {
    static constexpr int kMaxDepth = 8;
    static constexpr std::size_t kMaxElements = std::size_t{1} << 22;
    static constexpr std::size_t kMaxKeptBytes = std::size_t{64} << 20;
    // Bytes kept of an ordinary value (an orientation of six 16-byte decimal numbers
    // takes 101), and of lookup-table data (65536 16-bit entries).
    static constexpr std::uint32_t kShortValue = 128;
    static constexpr std::uint32_t kTableValue = 2 * 65536;
};

// Reads the items of the sequence whose value starts at `start` in `source`:
// `length` bytes, or up to its sequence delimiter when the length is undefined
// (nullopt). Elements are explicit or implicit VR as their bytes say, numbers
// big-endian when `bigEndian`. Reads what it can: a value that runs past the end
// of the source ends the reading, keeping the items read before it.
NestedSequence ReadNestedSequence(const ByteSource& source, std::uint64_t start, std::optional<std::uint32_t> length,
                                  bool bigEndian);
