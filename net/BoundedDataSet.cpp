#include "net/BoundedDataSet.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "dcmtk/dcmdata/dcdicent.h"
#include "dcmtk/dcmdata/dcdict.h"
#include "dcmtk/dcmdata/dcostrma.h"
#include "dcmtk/dcmdata/dctag.h"

namespace {

// Appends what it is given to a vector, up to the cap; beyond it, only counts.
class CappedConsumer : public DcmConsumer {
public:
    CappedConsumer(ReceivedBytes& received, std::size_t cap) : m_received(received), m_cap(cap) {}
    OFBool good() const override { return OFTrue; }
    OFCondition status() const override { return EC_Normal; }
    OFBool isFlushed() const override { return OFTrue; }
    offile_off_t avail() const override { return 1 << 30; }
    offile_off_t write(const void* buffer, offile_off_t length) override {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        const std::size_t size = static_cast<std::size_t>(length);
        const std::size_t room = m_cap - std::min(m_cap, m_received.bytes.size());
        if (size > room) m_received.tooLarge = true;
        m_received.bytes.insert(m_received.bytes.end(), bytes, bytes + std::min(size, room));
        return length;
    }
    void flush() override {}

private:
    ReceivedBytes& m_received;
    std::size_t m_cap;
};

class CappedStream : public DcmOutputStream {
public:
    CappedStream(ReceivedBytes& received, std::size_t cap) : DcmOutputStream(&m_consumer), m_consumer(received, cap) {}

private:
    CappedConsumer m_consumer;
};

class Cursor {
public:
    Cursor(std::span<const std::uint8_t> bytes, bool bigEndian) : m_bytes(bytes), m_bigEndian(bigEndian) {}
    std::size_t Left() const { return m_bytes.size() - m_at; }
    bool Skip(std::size_t count) {
        if (count > Left()) return false;
        m_at += count;
        return true;
    }
    std::uint32_t Read(std::size_t width) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const std::uint32_t byte = m_bytes[m_at + (m_bigEndian ? i : width - 1 - i)];
            value = value << 8 | byte;
        }
        m_at += width;
        return value;
    }
    // The next `count` bytes as a span of their own, which the caller has checked are there.
    std::span<const std::uint8_t> Next(std::size_t count) const { return m_bytes.subspan(m_at, count); }
    std::string_view Text(std::size_t width) {
        const std::string_view text(reinterpret_cast<const char*>(m_bytes.data() + m_at), width);
        m_at += width;
        return text;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    bool m_bigEndian;
    std::size_t m_at = 0;
};

bool HasLongLength(std::string_view vr) {
    for (std::string_view longForm : {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"}) {
        if (vr == longForm) return true;
    }
    return false;
}

bool HasShortLength(std::string_view vr) {
    for (std::string_view shortForm : {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FD", "FL", "IS", "LO", "LT", "PN",
                                       "SH", "SL", "SS", "ST", "TM", "UI", "UL", "US"}) {
        if (vr == shortForm) return true;
    }
    return false;
}

constexpr std::uint32_t kUndefinedLength = 0xFFFFFFFF;
// Deeper nesting than any real identifier has is refused rather than followed.
constexpr std::size_t kMaxNesting = 32;

// What a run of elements sits in: the data set itself, an item, or a sequence (whose
// only children are items).
enum class Context { DataSet, Sequence, Item };

struct WalkSyntax {
    bool explicitVr;
    bool bigEndian;
};

// The private tags, as (group, low byte of the element), that DCMTK's dictionary knows
// as sequences for some private creator. In implicit VR DCMTK parses such a value as a
// sequence when its creator matches; the walk treats every one of them as a sequence,
// so that it never skips over bytes DCMTK would parse.
const std::set<std::pair<std::uint16_t, std::uint16_t>>& PrivateSequenceTags() {
    static const std::set<std::pair<std::uint16_t, std::uint16_t>> tags = [] {
        std::set<std::pair<std::uint16_t, std::uint16_t>> found;
        DcmDataDictionary& dictionary = dcmDataDict.wrlock();
        const auto add = [&found](const DcmDictEntry& entry) {
            if (entry.getEVR() != EVR_SQ || entry.getPrivateCreator() == nullptr) return;
            for (std::uint32_t group = entry.getGroup(); group <= entry.getUpperGroup(); ++group) {
                for (std::uint32_t element = entry.getElement(); element <= entry.getUpperElement(); ++element) {
                    found.emplace(static_cast<std::uint16_t>(group), static_cast<std::uint16_t>(element & 0xFF));
                }
            }
        };
        for (auto it = dictionary.normalBegin(); it != dictionary.normalEnd(); ++it) {
            if (*it != nullptr) add(**it);
        }
        for (auto it = dictionary.repeatingBegin(); it != dictionary.repeatingEnd(); ++it) {
            if (*it != nullptr) add(**it);
        }
        dcmDataDict.wrunlock();
        return found;
    }();
    return tags;
}

// Whether DCMTK may read a defined-length value of this tag, in implicit VR, as a
// sequence: the dictionary says so, or it is a private tag that some creator's
// dictionary entry makes a sequence.
bool MayBeSequence(std::uint16_t group, std::uint16_t element) {
    if ((group & 1) != 0) {
        return element >= 0x1000 && PrivateSequenceTags().count({group, static_cast<std::uint16_t>(element & 0xFF)}) > 0;
    }
    return DcmTag(group, element).getEVR() == EVR_SQ;
}

// Checks a run of elements the way DCMTK will read it: every value's length fits in
// what is left; a defined-length sequence or item is checked on its own bytes, which
// it must fill exactly, so that whether DCMTK reads into it or over it, both come out
// at its end; undefined-length sequences and items stay open until their delimiter.
// Anything DCMTK would read in a way of its own (an unknown VR, UN of undefined
// length, a stray delimiter, an item outside a sequence) is refused.
bool WalkContents(std::span<const std::uint8_t> bytes, Context outer, const WalkSyntax& syntax, std::size_t depth) {
    std::vector<Context> open{outer};  // innermost last; undefined-length containers still open
    Cursor cursor(bytes, syntax.bigEndian);
    while (cursor.Left() > 0) {
        if (depth + open.size() > kMaxNesting || cursor.Left() < 8) return false;
        const auto group = static_cast<std::uint16_t>(cursor.Read(2));
        const auto element = static_cast<std::uint16_t>(cursor.Read(2));
        const Context here = open.back();
        std::uint32_t length = 0;
        if (group == 0xFFFE) {  // items and delimiters: a 4-byte length, never a VR
            length = cursor.Read(4);
            if (element == 0xE000) {
                if (here != Context::Sequence) return false;
                if (length == kUndefinedLength) {
                    open.push_back(Context::Item);
                    continue;
                }
                if (length > cursor.Left() || !WalkContents(cursor.Next(length), Context::Item, syntax, depth + open.size())) {
                    return false;
                }
                cursor.Skip(length);
                continue;
            }
            if (length != 0 || open.size() < 2) return false;
            const bool closesItem = element == 0xE00D && here == Context::Item;
            const bool closesSequence = element == 0xE0DD && here == Context::Sequence;
            if (!closesItem && !closesSequence) return false;
            open.pop_back();
            continue;
        }
        if (here == Context::Sequence) return false;  // a sequence holds items only
        bool sequence = false;
        if (syntax.explicitVr) {
            const std::string_view vr = cursor.Text(2);
            if (HasLongLength(vr)) {
                if (cursor.Left() < 6) return false;
                cursor.Read(2);
                length = cursor.Read(4);
            } else if (HasShortLength(vr)) {
                length = cursor.Read(2);
            } else {
                return false;  // DCMTK reads an unknown VR's length in a way of its own
            }
            sequence = vr == "SQ";
            // An undefined length is a sequence, or encapsulated pixel data (a sequence
            // of fragments); UN of undefined length is read by DCMTK in implicit VR,
            // which this walk would not follow.
            if (length == kUndefinedLength && !sequence && vr != "OB" && vr != "OW") return false;
        } else {
            length = cursor.Read(4);
            sequence = length == kUndefinedLength || MayBeSequence(group, element);
        }
        if (length == kUndefinedLength) {
            open.push_back(Context::Sequence);
            continue;
        }
        if (length > cursor.Left()) return false;
        if (sequence && !WalkContents(cursor.Next(length), Context::Sequence, syntax, depth + open.size())) return false;
        cursor.Skip(length);
    }
    return open.size() == 1;
}

}  // namespace

OFCondition ReceiveDataSetBytes(T_ASC_Association* association, int timeoutSeconds,
                                T_ASC_PresentationContextID* context, std::size_t cap, ReceivedBytes& received) {
    received = {};
    CappedStream stream(received, cap);
    return DIMSE_receiveDataSetInFile(association, DIMSE_NONBLOCKING, timeoutSeconds, context, &stream, nullptr,
                                      nullptr);
}

bool ElementLengthsFit(std::span<const std::uint8_t> bytes, bool explicitVr, bool bigEndian) {
    return WalkContents(bytes, Context::DataSet, WalkSyntax{explicitVr, bigEndian}, 0);
}
