#include "dicom/AttributeCapture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "io/ByteOrder.h"

namespace {

// Numeric texts convert their first 31 bytes, as the C library sees them.
constexpr std::size_t kNumberText = 31;
// A multi-valued text (windows and their explanations) is read up to this many bytes.
constexpr std::uint32_t kListText = 1024;
// Names, ids, dates, codes and the photometric text are never longer.
constexpr std::uint32_t kShortText = 64;
// Lookup-table data: 65536 16-bit entries.
constexpr std::uint32_t kTableBytes = 2 * 65536;

enum : std::uint32_t {
    kStudyDate = 0x00080020,
    kModality = 0x00080060,
    kPatientName = 0x00100010,
    kPatientId = 0x00100020,
    kCineRate = 0x00180040,
    kFrameTime = 0x00181063,
    kPosition = 0x00200032,
    kSamplesPerPixel = 0x00280002,
    kPhotometric = 0x00280004,
    kPlanar = 0x00280006,
    kFrames = 0x00280008,
    kRows = 0x00280010,
    kColumns = 0x00280011,
    kPlanes = 0x00280012,
    kBitsAllocated = 0x00280100,
    kBitsStored = 0x00280101,
    kHighBit = 0x00280102,
    kPixelRepresentation = 0x00280103,
    kWindowCentre = 0x00281050,
    kWindowWidth = 0x00281051,
    kRescaleIntercept = 0x00281052,
    kRescaleSlope = 0x00281053,
    kRescaleType = 0x00281054,
    kWindowExplanation = 0x00281055,
    kVoiFunction = 0x00281056,
    kRedDescriptor = 0x00281101,
    kRedData = 0x00281201,
    kRedSegments = 0x00281221,
    kLutDescriptor = 0x00283002,
    kLutExplanation = 0x00283003,
    kLutData = 0x00283006,
    kModalityLuts = 0x00283000,
    kVoiLuts = 0x00283010,
    kFrameVoi = 0x00289132,
    kPixelValueTransformation = 0x00289145,
    kPlanePosition = 0x00209113,
    kPresentationShape = 0x20500020,
    kDoseUnits = 0x30040002,
    kDoseScaling = 0x3004000E,
    kSharedGroups = 0x52009229,
    kPerFrameGroups = 0x52009230,
    kPixelGroupLength = 0x7FE00000,
};

std::string Trimmed(std::string text) {
    const auto blank = [](char c) { return c == ' ' || c == '\0'; };
    while (!text.empty() && blank(text.back()))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && blank(text[start]))
        ++start;
    return text.substr(start);
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string Text(const std::uint8_t* value, std::uint32_t length) {
    return std::string(reinterpret_cast<const char*>(value), length);
}

// Numbers of a value shorter than the number read the missing bytes as zero.
std::uint16_t First16(const std::string& v, bool big) {
    std::uint8_t bytes[2] = {};
    std::copy_n(v.begin(), std::min<std::size_t>(v.size(), 2), bytes);
    return Read16(bytes, big);
}

std::uint32_t First32(const std::string& v, bool big) {
    std::uint8_t bytes[4] = {};
    std::copy_n(v.begin(), std::min<std::size_t>(v.size(), 4), bytes);
    return Read32(bytes, big);
}

// atoi of the first 31 bytes, without its undefined overflow.
std::int32_t TextToInt(const std::string& v) {
    const std::string scratch = v.substr(0, kNumberText);
    return static_cast<std::int32_t>(std::strtol(scratch.c_str(), nullptr, 10));
}

// A positive finite number of a text, or `fallback`.
double Decimal(const std::string& v, double fallback) { return DecimalValue(Trimmed(v), fallback); }

std::vector<double> Decimals(const std::string& v) {
    std::vector<double> numbers;
    for (const std::string& part : SplitValues(Trimmed(v))) {
        numbers.push_back(DecimalValue(Trimmed(part), std::nan("")));
    }
    return numbers;
}

// The windows of paired centre, width and explanation texts; pairs without a
// usable width (none, 0 or less, not a number) are left out: a negative width
// would draw a half-inverted picture instead of the default window.
std::vector<WindowSetting> Windows(const std::string& centres, const std::string& widths,
                                   const std::string& explanations) {
    const std::vector<double> c = Decimals(centres);
    const std::vector<double> w = Decimals(widths);
    const std::vector<std::string> e = SplitValues(explanations);
    std::vector<WindowSetting> windows;
    for (std::size_t i = 0; i < w.size(); ++i) {
        if (!std::isfinite(w[i]) || w[i] <= 0) continue;
        const double centre = i < c.size() && std::isfinite(c[i]) ? c[i] : 0.0;
        windows.push_back({centre, w[i], i < e.size() ? Trimmed(e[i]) : std::string()});
    }
    return windows;
}

VoiFunction FunctionOf(const std::string& text) {
    const std::string name = Upper(Trimmed(text));
    if (name == "LINEAR_EXACT") return VoiFunction::LinearExact;
    if (name == "SIGMOID") return VoiFunction::Sigmoid;
    return VoiFunction::Linear;
}

// The 16-bit words of a value.
std::vector<std::uint16_t> Words(const std::string& v, bool big) {
    std::vector<std::uint16_t> words(v.size() / 2);
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = Read16(reinterpret_cast<const std::uint8_t*>(v.data()) + 2 * i, big);
    }
    return words;
}

// Descriptor: entries (0 meaning 65536), first input mapped, bits per entry.
bool ReadDescriptor(const std::string& v, bool big, bool signedInput, LookupTable& table, std::size_t& count) {
    if (v.size() < 6) return false;
    const std::vector<std::uint16_t> d = Words(v, big);
    count = d[0] == 0 ? 65536 : d[0];
    table.firstMapped = signedInput ? static_cast<std::int16_t>(d[1]) : d[1];
    table.bits = d[2];
    return table.bits >= 1 && table.bits <= 16;
}

// Entries of table data: one per 16-bit word, or for tables of 8-bit entries also
// one per byte when the data holds only as many bytes as entries.
bool ReadEntries(const std::string& v, bool big, std::size_t count, LookupTable& table) {
    if (table.bits <= 8 && (v.size() == count || v.size() == count + 1) && v.size() < 2 * count) {
        // Packed two to a word, the first in the word's low byte.
        const std::vector<std::uint16_t> words = Words(v + std::string(v.size() % 2, '\0'), big);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint16_t word = words[i / 2];
            table.entries.push_back(static_cast<std::uint16_t>(i % 2 == 0 ? word & 0xFF : word >> 8));
        }
        return true;
    }
    if (v.size() < 2 * count) return false;
    std::vector<std::uint16_t> words = Words(v, big);
    words.resize(count);
    table.entries = std::move(words);
    return true;
}

// Segmented palette data: discrete (0), linear (1) and indirect (2) segments.
bool ReadSegments(const std::vector<std::uint16_t>& words, std::size_t count, std::vector<std::uint16_t>& out,
                  std::size_t at, std::size_t end, int depth) {
    while (at < end && out.size() < count) {
        if (at + 2 > words.size()) return false;
        const std::uint16_t opcode = words[at];
        const std::size_t length = words[at + 1];
        if (opcode == 0) {
            if (at + 2 + length > words.size()) return false;
            for (std::size_t i = 0; i < length && out.size() < count; ++i)
                out.push_back(words[at + 2 + i]);
            at += 2 + length;
        } else if (opcode == 1) {
            if (out.empty() || at + 3 > words.size()) return false;
            const double from = out.back();
            const double to = words[at + 2];
            for (std::size_t i = 1; i <= length && out.size() < count; ++i) {
                out.push_back(static_cast<std::uint16_t>(
                    std::lround(from + (to - from) * static_cast<double>(i) / static_cast<double>(length))));
            }
            at += 3;
        } else if (opcode == 2) {
            if (depth > 0 || at + 4 > words.size()) return false;
            const std::size_t offset = words[at + 2] | (std::size_t{words[at + 3]} << 16);
            // `length` segments replayed from word `offset`.
            std::size_t replay = offset;
            for (std::size_t s = 0; s < length && replay < words.size(); ++s) {
                const std::size_t before = replay;
                const std::uint16_t op = words[replay];
                const std::size_t size = op == 0   ? 2 + (replay + 1 < words.size() ? words[replay + 1] : 0)
                                         : op == 1 ? 3
                                                   : 4;
                if (!ReadSegments(words, count, out, before, before + size, depth + 1)) return false;
                replay = before + size;
            }
            at += 4;
        } else {
            return false;
        }
    }
    return !out.empty();
}

// A table of 16-bit entries whose every entry fits 8 bits is taken as 8-bit (as
// DCMTK takes it), and 8-bit entries stored in the high byte of their words are
// brought down.
void FixEntryBits(LookupTable& table) {
    const std::uint16_t largest =
        table.entries.empty() ? 0 : *std::max_element(table.entries.begin(), table.entries.end());
    if (table.bits == 16 && largest <= 0xFF) {
        table.bits = 8;
    } else if (table.bits <= 8 && largest > table.EntryMax()) {
        for (std::uint16_t& e : table.entries)
            e = static_cast<std::uint16_t>(e >> 8);
    }
}

std::optional<LookupTable> TableOfItem(const NestedItem& item, bool big, bool signedInput) {
    const NestedElement* descriptor = item.Find(kLutDescriptor);
    const NestedElement* data = item.Find(kLutData);
    if (descriptor == nullptr || data == nullptr) return std::nullopt;
    LookupTable table;
    std::size_t count = 0;
    const std::string d(descriptor->value.begin(), descriptor->value.end());
    const std::string v(data->value.begin(), data->value.end());
    if (!ReadDescriptor(d, big, signedInput, table, count) || !ReadEntries(v, big, count, table)) return std::nullopt;
    if (const NestedElement* e = item.Find(kLutExplanation))
        table.explanation = Trimmed(Text(e->value.data(), static_cast<std::uint32_t>(e->value.size())));
    return table;
}

std::string ItemText(const NestedItem& item, std::uint32_t tag) {
    const NestedElement* e = item.Find(tag);
    return e == nullptr ? std::string() : std::string(e->value.begin(), e->value.end());
}

// A functional-groups item laid over `values`: rescale, window and position.
void ApplyGroups(const NestedItem& groups, FrameValues& values, std::string& units) {
    if (const NestedItem* pvt = groups.FirstItemOf(kPixelValueTransformation)) {
        if (pvt->Find(kRescaleSlope) != nullptr) values.modality.slope = Decimal(ItemText(*pvt, kRescaleSlope), 1.0);
        if (pvt->Find(kRescaleIntercept) != nullptr)
            values.modality.intercept = Decimal(ItemText(*pvt, kRescaleIntercept), 0.0);
        if (values.modality.slope == 0) values.modality.slope = 1.0;
        const std::string type = Upper(Trimmed(ItemText(*pvt, kRescaleType)));
        if (!type.empty() && type != "US") units = type;
    }
    if (const NestedItem* voi = groups.FirstItemOf(kFrameVoi)) {
        if (voi->Find(kWindowWidth) != nullptr) {
            values.windows = Windows(ItemText(*voi, kWindowCentre), ItemText(*voi, kWindowWidth),
                                     ItemText(*voi, kWindowExplanation));
        }
        if (voi->Find(kVoiFunction) != nullptr) values.voiFunction = FunctionOf(ItemText(*voi, kVoiFunction));
    }
    if (const NestedItem* plane = groups.FirstItemOf(kPlanePosition)) {
        const std::vector<double> p = Decimals(ItemText(*plane, kPosition));
        if (p.size() >= 3 && std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2])) {
            values.position = std::array<double, 3>{p[0], p[1], p[2]};
        }
    }
}

}  // namespace

std::uint32_t AttributeCapture::BytesWanted(std::uint32_t tag) {
    switch (tag) {
    case kStudyDate:
    case kModality:
    case kPatientName:
    case kPatientId:
    case kCineRate:
    case kFrameTime:
    case kPhotometric:
    case kFrames:
    case kRescaleIntercept:
    case kRescaleSlope:
    case kRescaleType:
    case kVoiFunction:
    case kPresentationShape:
    case kDoseUnits:
    case kDoseScaling: return kShortText;
    case kPosition:
    case kWindowCentre:
    case kWindowWidth:
    case kWindowExplanation: return kListText;
    case kSamplesPerPixel:
    case kPlanar:
    case kRows:
    case kColumns:
    case kPlanes:
    case kBitsAllocated:
    case kBitsStored:
    case kHighBit:
    case kPixelRepresentation:
    case kPixelGroupLength: return 4;
    case kRedDescriptor:
    case kRedDescriptor + 1:
    case kRedDescriptor + 2: return 6;
    case kRedData:
    case kRedData + 1:
    case kRedData + 2:
    case kRedSegments:
    case kRedSegments + 1:
    case kRedSegments + 2: return kTableBytes;
    default: return 0;
    }
}

bool AttributeCapture::WantsSequence(std::uint32_t tag) {
    return tag == kModalityLuts || tag == kVoiLuts || tag == kSharedGroups || tag == kPerFrameGroups;
}

void AttributeCapture::Value(std::uint32_t tag, const std::uint8_t* value, std::uint32_t length, bool bigEndian) {
    Captured& c = m_values[tag];
    c.bytes = Text(value, length);
    c.bigEndian = bigEndian;
}

void AttributeCapture::Sequence(std::uint32_t tag, NestedSequence items, bool bigEndian) {
    m_sequences[tag] = std::move(items);
    m_sequencesBigEndian = bigEndian;
}

const AttributeCapture::Captured* AttributeCapture::Find(std::uint32_t tag) const {
    const auto it = m_values.find(tag);
    return it == m_values.end() ? nullptr : &it->second;
}

ImageAttributes AttributeCapture::Finish(const PixelDataInfo& pixelData, bool floatPixels,
                                         std::uint16_t floatBits) const {
    ImageAttributes a;
    const auto text = [this](std::uint32_t tag) {
        const Captured* c = Find(tag);
        return c == nullptr ? std::string() : c->bytes;
    };
    const auto number16 = [this](std::uint32_t tag) {
        const Captured* c = Find(tag);
        return c == nullptr ? std::uint16_t{0} : First16(c->bytes, c->bigEndian);
    };
    const auto given = [this](std::uint32_t tag) {
        const Captured* c = Find(tag);
        return c != nullptr && !c->bytes.empty();
    };
    a.rows = number16(kRows);
    a.columns = number16(kColumns);
    a.samplesPerPixel = number16(kSamplesPerPixel);
    a.bitsAllocated = number16(kBitsAllocated);
    a.bitsStoredGiven = static_cast<std::int16_t>(number16(kBitsStored));
    a.highBitGiven = static_cast<std::int16_t>(number16(kHighBit));
    a.pixelRepresentation = number16(kPixelRepresentation);
    a.planarConfiguration = number16(kPlanar);
    a.planes = static_cast<std::int16_t>(number16(kPlanes));
    a.frames = TextToInt(text(kFrames));
    if (floatPixels) {
        a.format = SampleFormat::Float;
        a.bitsAllocated = floatBits;
    }
    // The bits the samples are read with: what the file gives where it makes sense.
    const int allocated = a.bitsAllocated;
    const int stored =
        given(kBitsStored) && a.bitsStoredGiven >= 1 && a.bitsStoredGiven <= allocated ? a.bitsStoredGiven : allocated;
    const int high =
        given(kHighBit) && a.highBitGiven >= stored - 1 && a.highBitGiven < allocated ? a.highBitGiven : stored - 1;
    a.bitsStored = static_cast<std::uint16_t>(std::max(stored, 0));
    a.highBit = static_cast<std::uint16_t>(std::max(high, 0));
    if (a.format == SampleFormat::Float) {
        a.bitsStored = a.bitsAllocated;
        a.highBit = static_cast<std::uint16_t>(std::max(allocated - 1, 0));
    }

    const std::string photometric = text(kPhotometric).substr(0, kShortText);
    a.photometricText = photometric.substr(0, photometric.find('\0'));
    a.photometric = Upper(Trimmed(photometric));
    a.presentationInverse = Upper(Trimmed(text(kPresentationShape))) == "INVERSE";

    a.modality = Trimmed(text(kModality));
    a.patientName = Trimmed(text(kPatientName));
    a.patientId = Trimmed(text(kPatientId));
    a.studyDate = Trimmed(text(kStudyDate));
    a.cineRate = TextToInt(text(kCineRate));
    a.frameTime = Decimal(text(kFrameTime), 0.0);

    // Modality transform, windows and VOI LUTs of the top-level data set.
    FrameValues& shared = a.shared;
    shared.modality.slope = Decimal(text(kRescaleSlope), 1.0);
    if (shared.modality.slope == 0) shared.modality.slope = 1.0;  // a zero slope would erase the image
    shared.modality.intercept = Decimal(text(kRescaleIntercept), 0.0);
    const std::string rescaleType = Upper(Trimmed(text(kRescaleType)));
    if (!rescaleType.empty() && rescaleType != "US") a.units = rescaleType;
    const double doseScaling = Decimal(text(kDoseScaling), 0.0);
    if (doseScaling > 0) {
        shared.modality.slope *= doseScaling;
        shared.modality.intercept *= doseScaling;
        a.units = Upper(Trimmed(text(kDoseUnits)));
    }
    shared.windows = Windows(text(kWindowCentre), text(kWindowWidth), text(kWindowExplanation));
    shared.voiFunction = FunctionOf(text(kVoiFunction));
    const bool big = m_sequencesBigEndian;
    const bool signedInput = a.pixelRepresentation == 1;
    if (const auto it = m_sequences.find(kModalityLuts); it != m_sequences.end() && !it->second.items.empty()) {
        shared.modality.lut = TableOfItem(it->second.items.front(), big, signedInput);
    }
    if (const auto it = m_sequences.find(kVoiLuts); it != m_sequences.end()) {
        for (const NestedItem& item : it->second.items) {
            // VOI LUTs map modality values, which a Modality LUT makes unsigned.
            if (auto table = TableOfItem(item, big, signedInput && !shared.modality.lut)) {
                shared.voiLuts.push_back(std::move(*table));
            }
        }
    }
    // Enhanced multi-frame: the shared groups over the top level, each frame's over those.
    if (const auto it = m_sequences.find(kSharedGroups); it != m_sequences.end() && !it->second.items.empty()) {
        ApplyGroups(it->second.items.front(), shared, a.units);
    }
    if (const auto it = m_sequences.find(kPerFrameGroups); it != m_sequences.end()) {
        const std::size_t frames =
            std::min<std::size_t>(it->second.items.size(), static_cast<std::size_t>(a.FrameCount()));
        a.perFrame.reserve(frames);
        for (std::size_t f = 0; f < frames; ++f) {
            FrameValues values = shared;
            ApplyGroups(it->second.items[f], values, a.units);
            a.perFrame.push_back(std::move(values));
        }
    }
    if (a.units.empty() && a.modality == "CT" && !shared.modality.lut) a.units = "HU";
    a.rescaleSlopeGiven = shared.modality.slope;
    a.rescaleInterceptGiven = shared.modality.intercept;
    if (a.bitsAllocated == 8 && a.format == SampleFormat::Integer && !a.IsColour() && !a.IsPaletteColour()) {
        a.bytesAsStored = true;
        a.units.clear();
        shared.modality = ModalityTransform();
        for (FrameValues& frame : a.perFrame)
            frame.modality = ModalityTransform();
    }

    // A palette only when all three of its tables are complete.
    if (a.IsPaletteColour()) {
        Palette palette;
        LookupTable* tables[3] = {&palette.red, &palette.green, &palette.blue};
        bool complete = true;
        for (std::uint32_t i = 0; i < 3 && complete; ++i) {
            const Captured* descriptor = Find(kRedDescriptor + i);
            std::size_t count = 0;
            complete = descriptor != nullptr &&
                       ReadDescriptor(descriptor->bytes, descriptor->bigEndian, signedInput, *tables[i], count);
            if (!complete) break;
            if (const Captured* data = Find(kRedData + i)) {
                complete = ReadEntries(data->bytes, data->bigEndian, count, *tables[i]);
            } else if (const Captured* segments = Find(kRedSegments + i)) {
                const std::vector<std::uint16_t> words = Words(segments->bytes, segments->bigEndian);
                complete = ReadSegments(words, count, tables[i]->entries, 0, words.size(), 0);
            } else {
                complete = false;
            }
            if (complete) FixEntryBits(*tables[i]);
        }
        if (complete) a.palette = std::move(palette);
    }

    a.pixelData = pixelData;
    if (const Captured* c = Find(kPixelGroupLength)) a.pixelData.groupLength = First32(c->bytes, c->bigEndian);
    return a;
}
