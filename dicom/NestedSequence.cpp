#include "dicom/NestedSequence.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "dicom/DicomFile.h"
#include "dicom/VrCodes.h"
#include "io/ByteOrder.h"

namespace {

constexpr std::uint32_t kUndefined = 0xFFFFFFFFu;
constexpr std::uint32_t kItem = 0xFFFEE000u;
constexpr std::uint32_t kItemEnd = 0xFFFEE00Du;
constexpr std::uint32_t kSequenceEnd = 0xFFFEE0DDu;
constexpr std::uint32_t kPixelData = 0x7FE00010u;
constexpr std::uint32_t kLutData = 0x00283006u;
constexpr std::size_t kWindow = std::size_t{64} << 10;
// The end of a sequence or item of undefined length: its delimiter ends it.
constexpr std::uint64_t kOpenEnded = ~std::uint64_t{0};

struct Header {
    std::uint32_t tag = 0;
    bool sequenceVr = false;  // explicit SQ
    bool explicitVr = false;
    std::uint32_t length = 0;
    std::uint64_t valueStart = 0;
};

class Reader {
public:
    Reader(const ByteSource& source, bool bigEndian) : m_source(source), m_big(bigEndian), m_size(source.Size()) {}

    // Items from `at` up to `end` (or the sequence delimiter); where reading goes on after them.
    std::uint64_t Items(std::uint64_t at, std::uint64_t end, int depth, std::vector<NestedItem>& out) {
        while (!m_stop && at < end) {
            Header h;
            if (!ReadHeader(at, h)) return Stop();
            if (h.tag == kSequenceEnd) return h.valueStart;
            if (h.tag != kItem) return Stop();  // not an item: the bytes are not what they claim
            NestedItem& item = out.emplace_back();
            if (h.length == kUndefined) {
                at = Elements(h.valueStart, kOpenEnded, depth, item.elements);
            } else {
                const std::uint64_t itemEnd = h.valueStart + h.length;
                Elements(h.valueStart, itemEnd, depth, item.elements);
                at = itemEnd;
            }
        }
        return at;
    }

private:
    std::uint64_t Stop() {
        m_stop = true;
        return m_size;
    }

    // The elements of one item, from `at` up to `end` (or the item delimiter).
    std::uint64_t Elements(std::uint64_t at, std::uint64_t end, int depth, std::vector<NestedElement>& out) {
        while (!m_stop && at < end) {
            Header h;
            if (!ReadHeader(at, h)) return Stop();
            if (h.tag == kItemEnd) return h.valueStart;
            if (h.tag >> 16 == 0xFFFE) return Stop();
            if (++m_elements > NestedLimits::kMaxElements) return Stop();
            NestedElement& e = out.emplace_back();
            e.tag = h.tag;
            e.length = h.length;
            if (IsSequence(h)) {
                if (depth + 1 > NestedLimits::kMaxDepth) return Stop();
                const std::uint64_t sequenceEnd = h.length == kUndefined ? kOpenEnded : h.valueStart + h.length;
                const std::uint64_t after = Items(h.valueStart, sequenceEnd, depth + 1, e.items);
                at = sequenceEnd != kOpenEnded ? sequenceEnd : after;
            } else if (h.length == kUndefined) {
                at = SkipFragments(h.valueStart);
            } else {
                if (h.valueStart + h.length > m_size) return Stop();
                const std::uint32_t cap = h.tag == kLutData || (h.tag >> 16 == 0x0028 && (h.tag & 0xFFFF) >= 0x1201 &&
                                                                (h.tag & 0xFFFF) <= 0x1223)
                                              ? NestedLimits::kTableValue
                                              : NestedLimits::kShortValue;
                const std::uint32_t keep = std::min(h.length, cap);
                if (m_kept + keep > NestedLimits::kMaxKeptBytes) return Stop();
                e.value.resize(keep);
                if (keep != 0 && m_source.ReadAt(h.valueStart, e.value.data(), keep) != SourceRead::Done) return Stop();
                m_kept += keep;
                at = h.valueStart + h.length;
            }
        }
        return at;
    }

    // Compressed pixel data of an icon: its items hold fragments, not elements.
    std::uint64_t SkipFragments(std::uint64_t at) {
        while (!m_stop) {
            Header h;
            if (!ReadHeader(at, h)) return Stop();
            if (h.tag == kSequenceEnd) return h.valueStart;
            if (h.tag != kItem || h.length == kUndefined) return Stop();
            at = h.valueStart + h.length;
        }
        return at;
    }

    bool IsSequence(const Header& h) const {
        if (h.sequenceVr) return true;
        if (h.tag == kPixelData) return false;
        // Only pixel data has an undefined length without being a sequence (UN of undefined
        // length is a sequence in implicit VR).
        if (h.length == kUndefined) return true;
        if (h.explicitVr) return false;
        const DicomDictionaryEntry* entry =
            FindDictionaryEntry(static_cast<std::uint16_t>(h.tag >> 16), static_cast<std::uint16_t>(h.tag & 0xFFFF));
        return entry != nullptr && std::string_view(entry->vr) == "SQ";
    }

    bool ReadHeader(std::uint64_t at, Header& h) {
        if (at > m_size || m_size - at < 8) return false;
        const std::uint8_t* p = Bytes(at, m_size - at >= 12 ? 12 : 8);
        if (p == nullptr) return false;
        h.tag = std::uint32_t{Read16(p, m_big)} << 16 | Read16(p + 2, m_big);
        if (h.tag >> 16 != 0xFFFE && IsKnownVrCode(p[4], p[5])) {
            h.explicitVr = true;
            h.sequenceVr = (p[4] == 'S' || p[4] == 's') && (p[5] == 'Q' || p[5] == 'q');
            if (IsLongFormVrCode(p[4], p[5])) {
                if (m_size - at < 12) return false;
                h.length = Read32(p + 8, m_big);
                h.valueStart = at + 12;
            } else {
                h.length = Read16(p + 6, m_big);
                h.valueStart = at + 8;
            }
        } else {
            h.length = Read32(p + 4, m_big);
            h.valueStart = at + 8;
        }
        return true;
    }

    const std::uint8_t* Bytes(std::uint64_t at, std::size_t size) {
        if (const std::uint8_t* memory = m_source.Memory()) return memory + at;
        if (at >= m_windowStart && at - m_windowStart + size <= m_windowLength) {
            return m_buffer.data() + (at - m_windowStart);
        }
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, m_size - at));
        m_buffer.resize(kWindow);
        m_windowLength = 0;
        if (length < size || m_source.ReadAt(at, m_buffer.data(), length) != SourceRead::Done) return nullptr;
        m_windowStart = at;
        m_windowLength = length;
        return m_buffer.data();
    }

    const ByteSource& m_source;
    bool m_big;
    std::uint64_t m_size;
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_windowStart = 0;
    std::size_t m_windowLength = 0;
    std::size_t m_elements = 0;
    std::size_t m_kept = 0;
    bool m_stop = false;
};

}  // namespace

const NestedElement* NestedItem::Find(std::uint32_t tag) const {
    for (const NestedElement& e : elements) {
        if (e.tag == tag) return &e;
    }
    return nullptr;
}

const NestedItem* NestedItem::FirstItemOf(std::uint32_t tag) const {
    const NestedElement* e = Find(tag);
    return e != nullptr && !e->items.empty() ? &e->items.front() : nullptr;
}

NestedSequence ReadNestedSequence(const ByteSource& source, std::uint64_t start, std::optional<std::uint32_t> length,
                                  bool bigEndian) {
    NestedSequence sequence;
    Reader reader(source, bigEndian);
    reader.Items(start, length ? start + *length : kOpenEnded, 1, sequence.items);
    return sequence;
}
