#include "net/BoundedDataSet.h"

#include <algorithm>
#include <string_view>

#include "dcmtk/dcmdata/dcostrma.h"

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

}  // namespace

OFCondition ReceiveDataSetBytes(T_ASC_Association* association, int timeoutSeconds,
                                T_ASC_PresentationContextID* context, std::size_t cap, ReceivedBytes& received) {
    received = {};
    CappedStream stream(received, cap);
    return DIMSE_receiveDataSetInFile(association, DIMSE_NONBLOCKING, timeoutSeconds, context, &stream, nullptr,
                                      nullptr);
}

bool ElementLengthsFit(std::span<const std::uint8_t> bytes, bool explicitVr, bool bigEndian) {
    Cursor cursor(bytes, bigEndian);
    // Sequences and items are walked into, not over: only a value is skipped, and
    // only when its length fits in what is left.
    while (cursor.Left() > 0) {
        if (cursor.Left() < 8) return false;
        const std::uint32_t group = cursor.Read(2);
        cursor.Read(2);
        std::uint32_t length = 0;
        bool walkInto = false;
        if (group == 0xFFFE) {  // items and delimiters: a 4-byte length, never a VR
            length = cursor.Read(4);
            walkInto = true;
        } else if (explicitVr) {
            const std::string_view vr = cursor.Text(2);
            // A VR that is none of the standard ones is refused: DCMTK reads its
            // length in a way of its own, which this walk could not follow.
            if (HasLongLength(vr)) {
                if (cursor.Left() < 6) return false;
                cursor.Read(2);
                length = cursor.Read(4);
            } else if (HasShortLength(vr)) {
                length = cursor.Read(2);
            } else {
                return false;
            }
            walkInto = vr == "SQ" || length == kUndefinedLength;
        } else {
            length = cursor.Read(4);
            walkInto = length == kUndefinedLength;
        }
        if (length == kUndefinedLength) {
            if (!walkInto) return false;
            continue;
        }
        if (length > cursor.Left()) return false;
        if (!walkInto && !cursor.Skip(length)) return false;
    }
    return true;
}
