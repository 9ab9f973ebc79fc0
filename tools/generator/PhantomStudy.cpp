#include "tools/generator/PhantomStudy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "io/AtomicFileWriter.h"
#include "tools/dicomstream/DicomStreamBuilder.h"

namespace {

// Hounsfield units of the phantom's materials.
constexpr int kAir = -1000;
constexpr int kLung = -820;
constexpr int kSoftTissue = 40;
constexpr int kBone = 950;
constexpr int kLesion = 120;

bool InEllipse(double x, double y, double cx, double cy, double rx, double ry) {
    const double dx = (x - cx) / rx;
    const double dy = (y - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
}

int PhantomHounsfield(double x, double y, double z) {
    if (!InEllipse(x, y, 0, 0, 0.92, 0.78)) {
        return kAir;
    }
    if (!InEllipse(x, y, 0, 0, 0.84, 0.70)) {
        return kBone;
    }
    // A lesion that grows and shrinks through the stack, so that a cine moves.
    const double lesionRadius = 0.05 + 0.15 * std::sin(z * 3.14159265358979);
    if (InEllipse(x, y, 0.1, -0.2, lesionRadius, lesionRadius)) {
        return kLesion;
    }
    if (InEllipse(x, y, -0.4, 0, 0.25, 0.45) || InEllipse(x, y, 0.4, 0, 0.25, 0.45)) {
        return kLung;
    }
    if (InEllipse(x, y, 0, 0.45, 0.08, 0.08)) {
        return kBone;  // a vertebra
    }
    // A gentle ramp across the soft tissue gives the window something to show.
    return kSoftTissue + static_cast<int>(60.0 * y);
}

// A decimal string value: "1", "0.5", "33.333333".
std::string NumberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.8g", value);
    return text;
}

// The study's elements; `bits` 16 gives the stored signed samples, 8 unsigned
// greys (compressed frames made from the PGM pictures below).
DicomStreamBuilder StudyHeader(const PhantomOptions& o, std::string_view syntax = kExplicitVrLittleEndian,
                               int bits = 16, bool isSigned = true) {
    const std::string instanceUid = o.uidRoot + ".1." + std::to_string(std::max(o.instanceNumber, 1u));
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup(syntax, kCtImageStorage, instanceUid)
        .ExplicitText(0x0008, 0x0008, "CS", "DERIVED\\SECONDARY\\AXIAL")
        .ExplicitText(0x0008, 0x0016, "UI", kCtImageStorage)
        .ExplicitText(0x0008, 0x0018, "UI", instanceUid);
    if (!o.studyDate.empty()) {
        b.ExplicitText(0x0008, 0x0020, "DA", o.studyDate);
    }
    b.ExplicitText(0x0008, 0x0060, "CS", "CT")
        .ExplicitText(0x0008, 0x0070, "LO", "Dorvanelle generator")
        .ExplicitText(0x0008, 0x1030, "LO", "Phantom study")
        .ExplicitText(0x0010, 0x0010, "PN", "PHANTOM^CT")
        .ExplicitText(0x0010, 0x0020, "LO", "PHANTOM-0001")
        .ExplicitText(0x0018, 0x0050, "DS", "1.25");
    if (o.frameTimeMs > 0) {
        b.ExplicitText(0x0018, 0x1063, "DS", NumberText(o.frameTimeMs));
    }
    if (!o.imagerPixelSpacing.empty()) {
        b.ExplicitText(0x0018, 0x1164, "DS", o.imagerPixelSpacing);
    }
    b.ExplicitText(0x0020, 0x000D, "UI", o.uidRoot + ".2.1").ExplicitText(0x0020, 0x000E, "UI", o.uidRoot + ".3.1");
    if (o.instanceNumber > 0) {
        b.ExplicitText(0x0020, 0x0013, "IS", std::to_string(o.instanceNumber));
    }
    if (!o.orientation.empty()) {
        b.ExplicitText(0x0020, 0x0037, "DS", o.orientation);
    }
    b.ExplicitUS(0x0028, 0x0002, 1)
        .ExplicitText(0x0028, 0x0004, "CS", "MONOCHROME2")
        .ExplicitText(0x0028, 0x0008, "IS", std::to_string(o.frames))
        .ExplicitUS(0x0028, 0x0010, o.rows)
        .ExplicitUS(0x0028, 0x0011, o.columns);
    if (!o.pixelSpacing.empty()) {
        b.ExplicitText(0x0028, 0x0030, "DS", o.pixelSpacing);
    }
    b.ExplicitUS(0x0028, 0x0100, static_cast<std::uint16_t>(bits))
        .ExplicitUS(0x0028, 0x0101, static_cast<std::uint16_t>(bits))
        .ExplicitUS(0x0028, 0x0102, static_cast<std::uint16_t>(bits - 1))
        .ExplicitUS(0x0028, 0x0103, isSigned ? 1 : 0);
    if (o.writeWindow && bits > 8) {
        b.ExplicitText(0x0028, 0x1050, "DS", std::to_string(o.windowCenter))
            .ExplicitText(0x0028, 0x1051, "DS", std::to_string(o.windowWidth));
    }
    b.ExplicitText(0x0028, 0x1052, "DS", std::to_string(bits > 8 ? o.rescaleIntercept : 0))
        .ExplicitText(0x0028, 0x1053, "DS", NumberText(o.rescaleSlope));
    // Extra private elements, 0xF000 per odd group from (0029,1000) on, each with its
    // private creator first.
    for (std::uint32_t i = 0; i < o.extraElements; ++i) {
        const auto group = static_cast<std::uint16_t>(0x0029 + 2 * (i / 0xF000));
        const auto element = static_cast<std::uint16_t>(0x1000 + i % 0xF000);
        if (i % 0xF000 == 0) {
            b.ExplicitText(group, 0x0010, "LO", "DORVANELLE");
        }
        char text[16];
        std::snprintf(text, sizeof text, "EXTRA %06u", static_cast<unsigned>(i % 1000000));
        b.ExplicitText(group, element, "LO", text);
    }
    return b;
}

// Hands the frames, one at a time, to `write`.
bool WriteFrames(const PieceWriter& write, const PhantomOptions& o) {
    std::vector<std::uint8_t> frame(std::size_t{o.rows} * o.columns * 2);
    for (std::uint32_t f = 0; f < o.frames; ++f) {
        std::size_t at = 0;
        for (std::uint16_t r = 0; r < o.rows; ++r) {
            for (std::uint16_t c = 0; c < o.columns; ++c) {
                const auto v = static_cast<std::uint16_t>(PhantomSample(o, f, r, c));
                frame[at++] = static_cast<std::uint8_t>(v);
                frame[at++] = static_cast<std::uint8_t>(v >> 8);
            }
        }
        if (!write(frame)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::int16_t PhantomSample(const PhantomOptions& options, std::uint32_t frame, std::uint16_t row,
                           std::uint16_t column) {
    const double x = (column + 0.5) / options.columns * 2.0 - 1.0;
    const double y = (row + 0.5) / options.rows * 2.0 - 1.0;
    const double z = options.frames > 1 ? static_cast<double>(frame) / (options.frames - 1) : 0.5;
    const double stored = (PhantomHounsfield(x, y, z) - options.rescaleIntercept) / options.rescaleSlope;
    return static_cast<std::int16_t>(std::lround(stored));
}

std::string WriteCtPhantom(const std::string& path, const PhantomOptions& options) {
    const std::uint64_t pixelBytes = std::uint64_t{options.rows} * options.columns * options.frames * 2;
    if (pixelBytes == 0 || pixelBytes >= 0xFFFFFFFFu) {
        return "the pixel data must hold between 1 byte and 4 GiB";
    }
    DicomStreamBuilder header = StudyHeader(options);
    header.ExplicitHeader(0x7FE0, 0x0010, "OW", static_cast<std::uint32_t>(pixelBytes));

    std::error_code error;
    const std::filesystem::path target(path);
    if (target.has_parent_path()) {
        std::filesystem::create_directories(target.parent_path(), error);
    }
    const WriteOutcome outcome = WriteFileAtomically(
        path, [&](const PieceWriter& write) { return write(header.Bytes()) && WriteFrames(write, options); });
    return outcome.reason.Text();
}

std::string WritePhantomPgm(const std::string& path, const PhantomOptions& o, std::uint32_t frame, int bits) {
    if (bits < 8 || bits > 16) {
        return "a picture has 8 to 16 bits";
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return "cannot write " + path;
    }
    const long most = (1L << bits) - 1;
    std::fprintf(file, "P5\n%u %u\n%ld\n", o.columns, o.rows, most);
    const double low = o.windowCenter - o.windowWidth / 2.0;
    for (std::uint16_t r = 0; r < o.rows; ++r) {
        for (std::uint16_t c = 0; c < o.columns; ++c) {
            const long stored = PhantomSample(o, frame, r, c);
            if (bits == 8) {
                // Through the window, as the study shows.
                const double hu = static_cast<double>(stored) * o.rescaleSlope + o.rescaleIntercept;
                std::fputc(static_cast<int>(std::clamp((hu - low) * 255.0 / o.windowWidth, 0.0, 255.0)), file);
            } else {
                const long v = std::clamp(stored, 0L, most);
                std::fputc(static_cast<int>(v >> 8), file);
                std::fputc(static_cast<int>(v & 0xFF), file);
            }
        }
    }
    return std::fclose(file) == 0 ? std::string() : "cannot write " + path;
}

std::string WriteEncapsulatedPhantom(const std::string& path, const PhantomOptions& o, const std::string& syntax,
                                     int bits, const std::vector<std::uint8_t>& stream) {
    DicomStreamBuilder b = StudyHeader(o, syntax, bits, false);
    b.EncapsulatedFrames(std::vector<std::vector<std::uint8_t>>(o.frames, stream));
    return b.WriteTo(path) ? std::string() : "cannot write " + path;
}
