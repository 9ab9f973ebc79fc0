// What a DICOM file says about its pixels, fixed when the file opens and never
// changed after: geometry and sample format, photometric interpretation and
// palette, the modality transform (rescale, Modality LUT, dose grid scaling), the
// file's windows and VOI LUTs, per frame where the file gives them per frame, and
// the few texts the viewer shows beside the image.
//
// Captured from the top-level data set only: the attributes of an icon or of any
// other nested item never replace the image's own. An enhanced multi-frame file
// gives its values in the Shared Functional Groups, then frame by frame in the
// Per-frame Functional Groups; Frame(n) gives what holds for frame n.
//
// Views and the command-line tool read this value; the frame source reads the
// stored samples by it, and the render function turns them into a picture by it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A lookup table as DICOM describes it (a palette, a Modality LUT or a VOI LUT):
// input values from `firstMapped` on map to `entries` in order; values before the
// first or past the last map to the first or the last entry.
struct LookupTable {
    std::int32_t firstMapped = 0;
    std::uint16_t bits = 16;  // bits of an entry, as the descriptor gives them (8 or 16)
    std::vector<std::uint16_t> entries;
    std::string explanation;

    bool Empty() const { return entries.empty(); }
    std::uint16_t At(double input) const;
    // The largest value an entry can hold: 2^bits - 1.
    std::uint32_t EntryMax() const { return bits >= 16 ? 0xFFFFu : (1u << bits) - 1u; }
};

// One of the file's windows, in modality values.
struct WindowSetting {
    double centre = 0;
    double width = 0;
    std::string explanation;
};

enum class VoiFunction : std::uint8_t { Linear, LinearExact, Sigmoid };

// Stored value to modality value: the Modality LUT when the file gives one, else
// stored x slope + intercept.
struct ModalityTransform {
    double slope = 1.0;
    double intercept = 0.0;
    std::optional<LookupTable> lut;

    double Apply(double stored) const;
    // Whether modality values are the stored values themselves.
    bool IsIdentity() const { return !lut && slope == 1.0 && intercept == 0.0; }
    // Whether whole stored values give whole modality values (no LUT, whole slope and intercept).
    bool KeepsWholeNumbers() const;
};

// What may change from frame to frame.
struct FrameValues {
    ModalityTransform modality;
    std::vector<WindowSetting> windows;  // every pair the file gives, in its order
    std::vector<LookupTable> voiLuts;
    VoiFunction voiFunction = VoiFunction::Linear;
    std::optional<std::array<double, 3>> position;  // Image Position (Patient), in mm
};

struct Palette {
    LookupTable red;
    LookupTable green;
    LookupTable blue;
};

// How the stored samples of one pixel are numbers.
enum class SampleFormat : std::uint8_t {
    Integer,  // Pixel Data, unsigned or signed by the pixel representation
    Float,    // Float Pixel Data (32 bits) or Double Float Pixel Data (64 bits)
};

// Where the pixel data lies and how its bytes are laid out.
struct PixelDataInfo {
    bool present = false;
    bool encapsulated = false;      // compressed fragments (undefined length)
    std::uint64_t offset = 0;       // of the value in the file (after inflation, for deflated files)
    std::uint32_t length = 0;       // bytes there are of the value (0 for encapsulated)
    std::uint32_t declared = 0;     // bytes the element says it has; more than `length` when cut short
    bool bigEndian = false;         // read in a big-endian data set
    bool words = false;             // the value is OW (or implicit): swapped as 16-bit words when big-endian
    std::uint32_t groupLength = 0;  // (7FE0,0000), as the file gives it
    bool CutShort() const { return declared > length; }
};

struct ImageAttributes {
    // Geometry and sample layout.
    std::uint16_t rows = 0;
    std::uint16_t columns = 0;
    std::uint16_t samplesPerPixel = 0;  // as given: 0 when absent
    std::uint16_t bitsAllocated = 0;
    std::int16_t bitsStoredGiven = 0;  // (0028,0101) and (0028,0102) as the file gives them
    std::int16_t highBitGiven = 0;
    std::uint16_t bitsStored = 0;  // as the samples are read: Bits Allocated when absent or out of range
    std::uint16_t highBit = 0;     // one below Bits Stored when absent or out of range
    std::uint16_t pixelRepresentation = 0;
    std::uint16_t planarConfiguration = 0;
    std::int16_t planes = 0;  // (0028,0012), for the record
    std::int32_t frames = 0;  // Number of Frames as given; 0 when absent
    SampleFormat format = SampleFormat::Integer;

    // Photometric interpretation: as the file's bytes give it (at most 64, padding
    // kept, for the record), and without padding in capitals.
    std::string photometricText;
    std::string photometric;
    std::optional<Palette> palette;    // PALETTE COLOR tables, when complete
    bool presentationInverse = false;  // Presentation LUT Shape INVERSE

    FrameValues shared;                 // for every frame without values of its own
    std::vector<FrameValues> perFrame;  // from the Per-frame Functional Groups; may be shorter than the frames
    std::string units;                  // of the modality values ("HU", "GY", ...); empty when not known

    // For the viewer's corner texts, readout and cine.
    std::string modality;
    std::string patientName;
    std::string patientId;
    std::string studyDate;
    double frameTime = 0;       // milliseconds per frame; 0 when absent
    std::int32_t cineRate = 0;  // frames per second; 0 when absent

    PixelDataInfo pixelData;
    std::string transferSyntaxUid;   // of the file meta group; empty without one
    std::string transferSyntaxName;  // empty when not known

    // The values of frame `frame` (from 0).
    const FrameValues& Frame(std::int32_t frame) const;
    // Frames the file claims: Number of Frames, at least 1.
    std::int32_t FrameCount() const { return frames > 0 ? frames : 1; }
    bool IsColour() const { return samplesPerPixel == 3; }
    bool IsPaletteColour() const { return photometric == "PALETTE COLOR"; }
    bool IsMonochrome1() const { return photometric.rfind("MONOCHROME1", 0) == 0; }
    // Grey levels are inverted for display: MONOCHROME1, or Presentation LUT Shape INVERSE.
    bool InvertsGrey() const { return IsMonochrome1() || presentationInverse; }
    bool IsSigned() const { return format == SampleFormat::Integer && pixelRepresentation == 1; }
    // Grey samples are shown through a window: one sample per pixel that is not palette colour shown as colour.
    bool IsGrey() const { return !IsColour(); }
};

// The first value of a DICOM decimal text ("40.7\400" gives 40.7); `fallback` when
// it holds no finite number.
double DecimalValue(const std::string& text, double fallback);
// Every value of a multi-valued text, split at backslashes.
std::vector<std::string> SplitValues(const std::string& text);
