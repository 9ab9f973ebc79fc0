// Gathers the values of the top-level elements that describe the pixels, in
// walking order, and makes the ImageAttributes of them when the walk ends: pairs
// the windows with their explanations, puts a palette together from its three
// descriptors and tables, lays the functional groups of an enhanced multi-frame
// file over the top-level values, and derives what the file leaves out.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "dicom/ImageAttributes.h"
#include "dicom/NestedSequence.h"

class AttributeCapture {
public:
    // Bytes of the value of top-level element `tag` that Value wants; 0 for a tag it
    // does not capture.
    static std::uint32_t BytesWanted(std::uint32_t tag);
    // Whether the top-level sequence `tag` is read with its items (Sequence).
    static bool WantsSequence(std::uint32_t tag);

    // The first bytes of a top-level element's value (as many as BytesWanted, or all
    // there are). A tag given again replaces its earlier value.
    void Value(std::uint32_t tag, const std::uint8_t* value, std::uint32_t length, bool bigEndian);
    void Sequence(std::uint32_t tag, NestedSequence items, bool bigEndian);

    // The attributes of what was captured, with the pixel data found by the walk.
    ImageAttributes Finish(const PixelDataInfo& pixelData, bool floatPixels, std::uint16_t floatBits) const;

private:
    struct Captured {
        std::string bytes;
        bool bigEndian = false;
    };
    const Captured* Find(std::uint32_t tag) const;

    std::map<std::uint32_t, Captured> m_values;
    std::map<std::uint32_t, NestedSequence> m_sequences;
    bool m_sequencesBigEndian = false;
};
