// What the capture pass makes of a file's attributes: the top-level data set only,
// the functional groups of enhanced multi-frame files frame by frame, every window,
// palettes, lookup-table sequences, dose grid scaling and pixel data cut short.
#include <gtest/gtest.h>

#include "tests/dicom/DicomTestHelpers.h"

namespace {

std::shared_ptr<const ImageAttributes> AttributesOf(const DicomStreamBuilder& b) {
    auto reader = Captured(b);
    return reader->Attributes();
}

std::vector<std::uint8_t> Words(const std::vector<std::uint16_t>& words) {
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t w : words) {
        bytes.push_back(static_cast<std::uint8_t>(w));
        bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return bytes;
}

// An icon's attributes and pixel data, as vendors nest them after the image's own.
DicomStreamBuilder& Icon(DicomStreamBuilder& b, bool undefinedLength) {
    DicomStreamBuilder icon;
    icon.ImageAttributes(64, 64, 8, 1, "PALETTE COLOR").PixelData8(std::vector<std::uint8_t>(64 * 64, 7));
    if (undefinedLength) {
        b.BeginSequence(0x0088, 0x0200).BeginItem().Raw(icon.Bytes()).EndItem().EndSequence();
    } else {
        DicomStreamBuilder items;
        items.Item(icon);
        b.DefinedSequence(0x0088, 0x0200, items);
    }
    return b;
}

TEST(ImageAttributes, AnIconsAttributesAndPixelsNeverReplaceTheImagesOwn) {
    for (bool undefinedLength : {true, false}) {
        for (bool iconFirst : {true, false}) {
            SCOPED_TRACE(::testing::Message() << "undefined " << undefinedLength << ", icon first " << iconFirst);
            DicomStreamBuilder b;
            if (iconFirst) Icon(b, undefinedLength);
            b.ImageAttributes(4, 6, 16, 1, "MONOCHROME2");
            if (!iconFirst) Icon(b, undefinedLength);
            b.PixelData16(std::vector<std::int16_t>(24, 100));
            auto a = AttributesOf(b);
            EXPECT_EQ(a->rows, 4);
            EXPECT_EQ(a->columns, 6);
            EXPECT_EQ(a->bitsAllocated, 16);
            EXPECT_EQ(a->photometric, "MONOCHROME2");
            EXPECT_EQ(a->pixelData.length, 48u);
        }
    }
}

TEST(ImageAttributes, EveryWindowWithItsExplanationAndExactNumbers) {
    DicomStreamBuilder b;
    b.ImageAttributes(1, 2, 16)
        .ExplicitText(0x0028, 0x1050, "DS", "40.5\\-600\\300\\100")
        .ExplicitText(0x0028, 0x1051, "DS", "400.25\\1500\\0\\-50")
        .ExplicitText(0x0028, 0x1055, "LO", "SOFT\\LUNG\\NONE\\BACKWARDS")
        .ExplicitText(0x0028, 0x1053, "DS", "0.5")
        .ExplicitText(0x0028, 0x1052, "DS", "-1024.5")
        .ExplicitText(0x0028, 0x1056, "CS", "SIGMOID")
        .PixelData16({1, 2});
    auto a = AttributesOf(b);
    ASSERT_EQ(a->shared.windows.size(), 2u);  // a width of 0, or a negative one, is no window
    EXPECT_DOUBLE_EQ(a->shared.windows[0].centre, 40.5);
    EXPECT_DOUBLE_EQ(a->shared.windows[0].width, 400.25);
    EXPECT_EQ(a->shared.windows[0].explanation, "SOFT");
    EXPECT_EQ(a->shared.windows[1].explanation, "LUNG");
    EXPECT_DOUBLE_EQ(a->shared.modality.slope, 0.5);
    EXPECT_DOUBLE_EQ(a->shared.modality.intercept, -1024.5);
    EXPECT_EQ(a->shared.voiFunction, VoiFunction::Sigmoid);
}

// Functional groups item: rescale and window, as enhanced MR and CT give them.
DicomStreamBuilder GroupsItem(const char* slope, const char* intercept, const char* centre, const char* width) {
    DicomStreamBuilder pvt;
    pvt.ExplicitText(0x0028, 0x1053, "DS", slope).ExplicitText(0x0028, 0x1052, "DS", intercept);
    DicomStreamBuilder voi;
    voi.ExplicitText(0x0028, 0x1050, "DS", centre).ExplicitText(0x0028, 0x1051, "DS", width);
    DicomStreamBuilder pvtItems;
    pvtItems.Item(pvt);
    DicomStreamBuilder voiItems;
    voiItems.Item(voi);
    DicomStreamBuilder groups;
    groups.DefinedSequence(0x0028, 0x9145, pvtItems).DefinedSequence(0x0028, 0x9132, voiItems);
    return groups;
}

TEST(ImageAttributes, EnhancedMultiFrameGivesEachFrameItsOwnWindowAndRescale) {
    for (bool undefinedLength : {false, true}) {
        SCOPED_TRACE(undefinedLength ? "undefined lengths" : "defined lengths");
        DicomStreamBuilder b;
        b.ImageAttributes(2, 2, 16).ExplicitText(0x0028, 0x0008, "IS", "3");
        DicomStreamBuilder shared;
        shared.Item(GroupsItem("2", "-10", "13", "23"));
        b.DefinedSequence(0x5200, 0x9229, shared);
        if (undefinedLength) {
            b.BeginSequence(0x5200, 0x9230);
            for (const char* width : {"1000", "1100", "1200"}) {
                b.BeginItem().Raw(GroupsItem("1", "0", "500", width).Bytes()).EndItem();
            }
            b.EndSequence();
        } else {
            DicomStreamBuilder frames;
            for (const char* width : {"1000", "1100", "1200"})
                frames.Item(GroupsItem("1", "0", "500", width));
            b.DefinedSequence(0x5200, 0x9230, frames);
        }
        b.PixelData16(std::vector<std::int16_t>(12, 0));
        auto a = AttributesOf(b);
        ASSERT_EQ(a->perFrame.size(), 3u);
        EXPECT_DOUBLE_EQ(a->Frame(2).windows.at(0).width, 1200);
        EXPECT_DOUBLE_EQ(a->Frame(0).windows.at(0).centre, 500);
        EXPECT_DOUBLE_EQ(a->Frame(1).modality.slope, 1);
        // The shared groups stand for frames the per-frame groups do not reach, and
        // nothing inside a sequence is taken for a top-level window.
        EXPECT_DOUBLE_EQ(a->Frame(7).windows.at(0).width, 23);
        EXPECT_DOUBLE_EQ(a->Frame(7).modality.intercept, -10);
        EXPECT_EQ(a->rows, 2);
    }
}

TEST(ImageAttributes, PaletteOfEightAndSixteenBitEntriesAndSegments) {
    DicomStreamBuilder b;
    b.ImageAttributes(1, 4, 8, 1, "PALETTE COLOR")
        // Red: 4 entries from 0, 16 bits; green: 8-bit entries packed in bytes;
        // blue: segmented, a discrete entry then a linear segment.
        .Explicit(0x0028, 0x1101, "US", Words({4, 0, 16}))
        .Explicit(0x0028, 0x1201, "OW", Words({0, 0x4000, 0x8000, 0xFFFF}))
        .Explicit(0x0028, 0x1102, "US", Words({4, 0, 8}))
        .Explicit(0x0028, 0x1202, "OW", {10, 20, 30, 40})
        .Explicit(0x0028, 0x1103, "US", Words({4, 0, 16}))
        .Explicit(0x0028, 0x1223, "OW", Words({0, 1, 0, 1, 3, 0xC000}))
        .PixelData8({0, 1, 2, 3});
    auto a = AttributesOf(b);
    ASSERT_TRUE(a->palette.has_value());
    EXPECT_EQ(a->palette->red.entries, (std::vector<std::uint16_t>{0, 0x4000, 0x8000, 0xFFFF}));
    EXPECT_EQ(a->palette->green.entries, (std::vector<std::uint16_t>{10, 20, 30, 40}));
    EXPECT_EQ(a->palette->blue.entries, (std::vector<std::uint16_t>{0, 0x4000, 0x8000, 0xC000}));
    // A palette missing a table is no palette.
    DicomStreamBuilder partial;
    partial.ImageAttributes(1, 4, 8, 1, "PALETTE COLOR")
        .Explicit(0x0028, 0x1101, "US", Words({4, 0, 16}))
        .Explicit(0x0028, 0x1201, "OW", Words({0, 1, 2, 3}))
        .PixelData8({0, 1, 2, 3});
    EXPECT_FALSE(AttributesOf(partial)->palette.has_value());
}

TEST(ImageAttributes, LookupTableSequencesAndDoseGridScaling) {
    DicomStreamBuilder lut;
    lut.Explicit(0x0028, 0x3002, "US", Words({3, 10, 12})).Explicit(0x0028, 0x3006, "OW", Words({100, 200, 4095}));
    DicomStreamBuilder items;
    items.Item(lut);
    DicomStreamBuilder b;
    b.ImageAttributes(1, 2, 16)
        .DefinedSequence(0x0028, 0x3000, items)
        .DefinedSequence(0x0028, 0x3010, items)
        .PixelData16({10, 11});
    auto a = AttributesOf(b);
    ASSERT_TRUE(a->shared.modality.lut.has_value());
    EXPECT_EQ(a->shared.modality.lut->firstMapped, 10);
    EXPECT_DOUBLE_EQ(a->shared.modality.Apply(11), 200);
    EXPECT_DOUBLE_EQ(a->shared.modality.Apply(-5), 100);
    EXPECT_DOUBLE_EQ(a->shared.modality.Apply(99), 4095);
    ASSERT_EQ(a->shared.voiLuts.size(), 1u);

    DicomStreamBuilder dose;
    dose.ImageAttributes(1, 1, 32)
        .ExplicitText(0x0008, 0x0060, "CS", "RTDOSE")
        .ExplicitText(0x3004, 0x0002, "CS", "GY")
        .ExplicitText(0x3004, 0x000E, "DS", "0.0001")
        .Explicit(0x7FE0, 0x0010, "OW", {0x10, 0x27, 0, 0});
    a = AttributesOf(dose);
    EXPECT_DOUBLE_EQ(a->shared.modality.Apply(10000), 1.0);
    EXPECT_EQ(a->units, "GY");
}

TEST(ImageAttributes, PixelDataCutShortSaysHowMuchIsThere) {
    DicomStreamBuilder b;
    b.ImageAttributes(64, 64, 16).ExplicitHeader(0x7FE0, 0x0010, "OW", 8192).Raw(std::vector<std::uint8_t>(8130, 1));
    auto a = AttributesOf(b);
    EXPECT_TRUE(a->pixelData.present);
    EXPECT_EQ(a->pixelData.length, 8130u);
    EXPECT_EQ(a->pixelData.declared, 8192u);
    // The listing is the walk's own and still stops before the element.
    EXPECT_EQ(ListedTags(b).back(), 0x00280100u);
}

}  // namespace
