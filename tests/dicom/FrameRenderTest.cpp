// The render function over the sample kinds the pipeline takes: unsigned 16-bit
// samples above 32767, exact slopes, 8-bit MONOCHROME1, palette colour, float and
// 32-bit dose grids, VOI functions and lookup tables, and a part of a frame
// rendered alone as the whole frame renders it.
#include <gtest/gtest.h>

#include <cstring>

#include "dicom/FrameRender.h"
#include "dicom/ModalityRange.h"
#include "tests/dicom/DicomTestHelpers.h"

namespace {

struct Opened {
    std::shared_ptr<const ImageAttributes> attributes;
    std::shared_ptr<const FrameSamples> samples;
};

Opened Open(const DicomStreamBuilder& b, std::int32_t frame = 0) {
    auto reader = Captured(b);
    auto samples = reader->Frames()->Frame(frame);
    EXPECT_TRUE(samples) << samples.Why();
    return {reader->Attributes(), samples ? *samples : nullptr};
}

// The first row of the rendered frame: grey levels, or B G R triples.
std::vector<std::uint8_t> TopRow(const Opened& o, const DisplayState& state = {}) {
    if (!o.samples) return {};
    auto dib = RenderFrame(*o.samples, *o.attributes, state);
    if (!dib) return {};
    const std::size_t bytes = std::size_t{o.samples->columns} * (DibBitCount(dib->get()) == 24 ? 3 : 1);
    const std::uint8_t* top = DibBits(dib->get()) + (DibHeight(dib->get()) - 1) * DibRowStride(dib->get());
    return {top, top + bytes};
}

std::vector<std::uint8_t> Unsigned16(const std::vector<std::uint16_t>& samples) {
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t s : samples) {
        bytes.push_back(static_cast<std::uint8_t>(s));
        bytes.push_back(static_cast<std::uint8_t>(s >> 8));
    }
    return bytes;
}

std::uint8_t Pipeline(double modality, double width, double centre) { return LinearGrey(modality, width, centre); }

TEST(FrameRender, UnsignedSixteenBitSamplesAboveHalfRangeGiveASmoothRamp) {
    std::vector<std::uint16_t> ramp;
    for (int i = 0; i < 256; ++i)
        ramp.push_back(static_cast<std::uint16_t>(i * 257));  // 0 .. 65535
    DicomStreamBuilder b;
    b.ImageAttributes(1, 256, 16).ExplicitUS(0x0028, 0x0101, 16).ExplicitUS(0x0028, 0x0103, 0);
    b.Explicit(0x7FE0, 0x0010, "OW", Unsigned16(ramp));
    Opened o = Open(b);
    const ValueRange range = FrameValueRange(*o.samples, *o.attributes);
    EXPECT_EQ(range.min, 0);
    EXPECT_EQ(range.max, 65535);
    DisplayState state;
    state.fallback = DefaultDisplayWindow(*o.attributes, 0, &range);
    EXPECT_EQ(state.fallback->width, 65535);
    const std::vector<std::uint8_t> row = TopRow(o, state);
    ASSERT_EQ(row.size(), 256u);
    for (std::size_t i = 0; i < row.size(); ++i) {
        EXPECT_NEAR(row[i], static_cast<double>(i), 1) << i;
    }
}

TEST(FrameRender, WholeNumberWindowsKeepTheirExactHalvesAndSlopesAreNotRoundedAway) {
    DicomStreamBuilder b;
    b.ImageAttributes(1, 6, 16).ExplicitUS(0x0028, 0x0103, 1);
    b.ExplicitText(0x0028, 0x1050, "DS", "40").ExplicitText(0x0028, 0x1051, "DS", "400");
    b.PixelData16({-160, 40, 240, -161, 239, 0});
    EXPECT_EQ(TopRow(Open(b)), (std::vector<std::uint8_t>{0, 128, 255, 0, 254, 102}));

    // Slope 0.5: the stored 80 is 40 in modality values, the window's centre.
    DicomStreamBuilder half;
    half.ImageAttributes(1, 3, 16).ExplicitUS(0x0028, 0x0103, 1);
    half.ExplicitText(0x0028, 0x1053, "DS", "0.5").ExplicitText(0x0028, 0x1052, "DS", "0");
    half.ExplicitText(0x0028, 0x1050, "DS", "40").ExplicitText(0x0028, 0x1051, "DS", "400");
    half.PixelData16({80, -320, 480});
    EXPECT_EQ(TopRow(Open(half)), (std::vector<std::uint8_t>{Pipeline(40, 400, 40), 0, 255}));
}

TEST(FrameRender, MonochromeOneAndInversePresentationInvertAtEveryDepth) {
    DicomStreamBuilder b8;
    b8.ImageAttributes(1, 3, 8, 1, "MONOCHROME1").PixelData8({0, 100, 255, 0});
    EXPECT_EQ(TopRow(Open(b8)), (std::vector<std::uint8_t>{255, 155, 0}));

    DicomStreamBuilder inverse;
    inverse.ImageAttributes(1, 3, 8).ExplicitText(0x2050, 0x0020, "CS", "INVERSE").PixelData8({0, 100, 255, 0});
    EXPECT_EQ(TopRow(Open(inverse)), (std::vector<std::uint8_t>{255, 155, 0}));
    // The user's inversion undoes the file's.
    DisplayState state;
    state.invert = true;
    EXPECT_EQ(TopRow(Open(inverse), state), (std::vector<std::uint8_t>{0, 100, 255}));
}

TEST(FrameRender, EightBitSamplesShowAsStoredUnderTheirWholeRangeOnlyThere) {
    std::vector<std::uint8_t> ramp(256);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::uint8_t>(i);
    DicomStreamBuilder whole;
    whole.ImageAttributes(1, 256, 8).PixelData8(ramp);
    const Opened opened = Open(whole);
    EXPECT_EQ(TopRow(opened), ramp);  // no window: the whole 8-bit range, each level itself
    // A window narrower than the range stretches it.
    DisplayState narrow;
    narrow.window = DisplayWindow{128, 128};
    const std::vector<std::uint8_t> stretched = TopRow(opened, narrow);
    ASSERT_EQ(stretched.size(), 256u);
    EXPECT_EQ(stretched[32], 0);
    EXPECT_EQ(stretched[224], 255);
}

TEST(FrameRender, PaletteColourInColourOrItsIndicesInGrey) {
    const auto words = [](std::vector<std::uint16_t> w) { return Unsigned16(w); };
    DicomStreamBuilder b;
    b.ImageAttributes(1, 3, 8, 1, "PALETTE COLOR")
        .Explicit(0x0028, 0x1101, "US", words({3, 0, 16}))
        .Explicit(0x0028, 0x1201, "OW", words({0xFFFF, 0, 0x8000}))
        .Explicit(0x0028, 0x1102, "US", words({3, 0, 16}))
        .Explicit(0x0028, 0x1202, "OW", words({0, 0xFFFF, 0x8000}))
        .Explicit(0x0028, 0x1103, "US", words({3, 0, 16}))
        .Explicit(0x0028, 0x1203, "OW", words({0, 0, 0x8000}))
        .PixelData8({0, 1, 2, 9});
    Opened o = Open(b);
    // Red, green, then grey, each stored B G R.
    EXPECT_EQ(TopRow(o), (std::vector<std::uint8_t>{0, 0, 255, 0, 255, 0, 128, 128, 128}));
    DisplayState grey;
    grey.palette = false;
    EXPECT_EQ(TopRow(o, grey), (std::vector<std::uint8_t>{0, 1, 2}));
}

TEST(FrameRender, FloatAndDoseGridSamplesAreWindowedInTheirOwnUnits) {
    std::vector<std::uint8_t> floats;
    for (float f : {0.0f, 0.25f, 0.5f, 1.0f}) {
        std::uint8_t bytes[4];
        std::memcpy(bytes, &f, 4);
        floats.insert(floats.end(), bytes, bytes + 4);
    }
    DicomStreamBuilder b;
    b.ImageAttributes(1, 4, 32).Explicit(0x7FE0, 0x0008, "OF", floats);
    Opened o = Open(b);
    ASSERT_EQ(o.samples->layout, SampleLayout::Float32);
    DisplayState state;
    state.window = DisplayWindow{1.0, 0.5};
    EXPECT_EQ(TopRow(o, state), (std::vector<std::uint8_t>{0, 64, 128, 255}));

    // 32-bit dose in units of 0.001 Gy: a window of 2 Gy at 1 Gy.
    std::vector<std::uint8_t> dose;
    for (std::uint32_t v : {0u, 500u, 1000u, 70000u}) {
        for (int k = 0; k < 4; ++k)
            dose.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
    }
    DicomStreamBuilder rt;
    rt.ImageAttributes(1, 4, 32).ExplicitText(0x3004, 0x000E, "DS", "0.001").Explicit(0x7FE0, 0x0010, "OW", dose);
    o = Open(rt);
    ASSERT_EQ(o.samples->layout, SampleLayout::Grey32);
    state.window = DisplayWindow{2.0, 1.0};
    EXPECT_EQ(TopRow(o, state), (std::vector<std::uint8_t>{0, 64, 128, 255}));
}

TEST(FrameRender, VoiFunctionsAndLookupTables) {
    DicomStreamBuilder b;
    b.ImageAttributes(1, 3, 16).ExplicitUS(0x0028, 0x0103, 1);
    b.ExplicitText(0x0028, 0x1050, "DS", "0").ExplicitText(0x0028, 0x1051, "DS", "100");
    b.ExplicitText(0x0028, 0x1056, "CS", "SIGMOID").PixelData16({-1000, 0, 1000});
    EXPECT_EQ(TopRow(Open(b)), (std::vector<std::uint8_t>{0, 128, 255}));

    DicomStreamBuilder lut;
    lut.Explicit(0x0028, 0x3002, "US", Unsigned16({3, 0, 8})).Explicit(0x0028, 0x3006, "OW", Unsigned16({0, 51, 255}));
    DicomStreamBuilder items;
    items.Item(lut);
    DicomStreamBuilder withLut;
    withLut.ImageAttributes(1, 3, 16).DefinedSequence(0x0028, 0x3010, items).PixelData16({0, 1, 7});
    EXPECT_EQ(TopRow(Open(withLut)), (std::vector<std::uint8_t>{0, 51, 255}));
}

TEST(FrameRender, APartRendersAsTheWholeFrameRendersIt) {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 7 * 5; ++i)
        samples.push_back(static_cast<std::int16_t>(i * 37 - 500));
    DicomStreamBuilder b;
    b.ImageAttributes(5, 7, 16).ExplicitUS(0x0028, 0x0103, 1).PixelData16(samples);
    Opened o = Open(b);
    DisplayState state;
    state.window = DisplayWindow{600, 100};
    const FrameRenderer renderer(*o.attributes, 0, state);
    auto whole = renderer.Render(*o.samples);
    ASSERT_TRUE(whole);
    std::uint8_t part[3 * 2];
    renderer.RenderPart(*o.samples, 2, 1, 3, 2, part, 3);
    for (int y = 0; y < 2; ++y) {
        const std::uint8_t* row = DibBits(whole->get()) + (5 - 1 - (1 + y)) * DibRowStride(whole->get());
        EXPECT_EQ(std::memcmp(part + 3 * y, row + 2, 3), 0) << y;
    }
}

}  // namespace
