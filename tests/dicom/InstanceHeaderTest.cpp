// The header scan of the study index: what it takes from the top level only, where
// it stops reading, and what it calls not DICOM.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "dicom/InstanceHeader.h"
#include "dicom/PatientOrientation.h"
#include "io/ByteSource.h"
#include "tools/dicomstream/DicomStreamBuilder.h"

namespace {

// A file read by position that remembers the furthest byte read.
class WatchedSource final : public ByteSource {
public:
    explicit WatchedSource(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    std::uint64_t Size() const override { return m_bytes.size(); }
    SourceRead ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const override {
        if (offset > m_bytes.size() || size > m_bytes.size() - offset) {
            return SourceRead::Changed;
        }
        if (size > 0) std::memcpy(out, m_bytes.data() + offset, size);  // an empty vector has no data()
        m_furthest = std::max<std::uint64_t>(m_furthest, offset + size);
        return m_changed ? SourceRead::Changed : SourceRead::Done;
    }
    bool Unchanged() const override { return !m_changed; }
    std::uint64_t Furthest() const { return m_furthest; }
    void Change() { m_changed = true; }

private:
    std::vector<std::uint8_t> m_bytes;
    mutable std::uint64_t m_furthest = 0;
    bool m_changed = false;
};

struct Scanned {
    Reason why;
    InstanceHeader header;
    std::uint64_t furthest = 0;
};

Scanned Scan(const std::vector<std::uint8_t>& bytes) {
    auto source = std::make_shared<WatchedSource>(bytes);
    Scanned s;
    InstanceHeaderScanner scanner;
    s.why = scanner.Scan(source, s.header);
    s.furthest = source->Furthest();
    return s;
}

DicomStreamBuilder Slice() {
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup()
        .ExplicitText(0x0008, 0x0018, "UI", "1.2.3.4.5")
        .ExplicitText(0x0008, 0x0060, "CS", "MR")
        .ExplicitText(0x0010, 0x0010, "PN", "DOE^JANE")
        .ExplicitText(0x0020, 0x000D, "UI", "1.2.3")
        .ExplicitText(0x0020, 0x000E, "UI", "1.2.3.4.6")
        .ExplicitText(0x0020, 0x0011, "IS", "5 ")
        .ExplicitText(0x0020, 0x0013, "IS", "12")
        .ExplicitText(0x0020, 0x0032, "DS", "-12.5\\+3\\1e2")
        .ExplicitText(0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0")
        .ImageAttributes(64, 32, 16);
    return b;
}

TEST(InstanceHeader, TakesTheTopLevelAndStopsAtThePixelData) {
    DicomStreamBuilder b = Slice();
    const std::size_t pixelStart = b.Size();
    // Pixel data far larger than any head read: it must not be read.
    b.Explicit(0x7FE0, 0x0010, "OW", std::vector<std::uint8_t>(200000, 0x11)).ExplicitText(0x0008, 0x0060, "CS", "XX");
    const Scanned s = Scan(b.Bytes());
    ASSERT_FALSE(s.why) << s.why;
    EXPECT_EQ(s.header.series.modality, "MR");  // not the element after the pixel data
    EXPECT_EQ(s.header.series.seriesNumber, 5);
    EXPECT_EQ(s.header.instance.instanceNumber, 12);
    EXPECT_EQ(s.header.instance.position, (Vector3{-12.5, 3, 100}));
    EXPECT_EQ(s.header.instance.rows, 64);
    EXPECT_EQ(s.header.instance.columns, 32);
    EXPECT_TRUE(s.header.instance.hasPixelData);
    EXPECT_EQ(s.header.instance.pixelBytesAtMost, b.Size() - pixelStart);
    EXPECT_LE(s.furthest, 8192u);
}

TEST(InstanceHeader, ALongHeaderIsReadOnToThePixelDataAndNoFurther) {
    DicomStreamBuilder b = Slice();
    // 100 KiB of private text before the pixel data: more than either head.
    b.ExplicitText(0x0009, 0x0010, "LO", "VENDOR").Explicit(0x0009, 0x1001, "OB", std::vector<std::uint8_t>(100000, 1));
    b.ExplicitText(0x0028, 0x0008, "IS", "3");
    const std::size_t pixelStart = b.Size();
    b.Explicit(0x7FE0, 0x0010, "OW", std::vector<std::uint8_t>(std::size_t{1} << 20, 0));
    const Scanned s = Scan(b.Bytes());
    ASSERT_FALSE(s.why) << s.why;
    EXPECT_EQ(s.header.instance.frames, 3);
    EXPECT_TRUE(s.header.instance.hasPixelData);
    // The walk reads the file a window at a time: at most one window past the start
    // of the pixel data, never the megabyte of its value.
    EXPECT_LE(s.furthest, pixelStart + 65536);
}

TEST(InstanceHeader, NestedAttributesAreNotTheFilesOwn) {
    DicomStreamBuilder b = Slice();
    // A request sequence with another study UID, an empty sequence, then an icon
    // whose size comes after the image's.
    b.BeginSequence(0x0040, 0x0275).BeginItem().ExplicitText(0x0020, 0x000D, "UI", "9.9.9").EndItem().EndSequence();
    b.BeginSequence(0x0008, 0x1140).EndSequence();
    b.BeginSequence(0x0088, 0x0200).BeginItem().ImageAttributes(8, 8, 8).PixelData8(std::vector<std::uint8_t>(64, 0));
    b.EndItem().EndSequence();
    b.Explicit(0x7FE0, 0x0010, "OW", std::vector<std::uint8_t>(64 * 32 * 2, 0));
    const Scanned s = Scan(b.Bytes());
    ASSERT_FALSE(s.why) << s.why;
    EXPECT_EQ(s.header.series.studyUid, "1.2.3");
    EXPECT_EQ(s.header.instance.rows, 64);
    EXPECT_EQ(s.header.instance.columns, 32);
    EXPECT_TRUE(s.header.instance.hasPixelData);

    // The same in implicit VR, where the walk visits each item's header.
    DicomStreamBuilder imp;
    imp.ImplicitText(0x0008, 0x0018, "1.2").ImplicitText(0x0020, 0x000D, "1.2.3");
    imp.BeginSequence(0x0040, 0x0275, false).BeginItem().ImplicitText(0x0020, 0x000D, "9.9.9").EndItem().EndSequence();
    imp.ImplicitUS(0x0028, 0x0010, 4).ImplicitUS(0x0028, 0x0011, 4).PixelData8(std::vector<std::uint8_t>(16), false);
    const Scanned i = Scan(imp.Bytes());
    ASSERT_FALSE(i.why) << i.why;
    EXPECT_EQ(i.header.series.studyUid, "1.2.3");
    EXPECT_TRUE(i.header.instance.hasPixelData);
}

TEST(InstanceHeader, EnhancedMultiFrameGivesEachFramesPosition) {
    DicomStreamBuilder b = Slice();
    b.ExplicitText(0x0028, 0x0008, "IS", "3");
    b.BeginSequence(0x5200, 0x9229).BeginItem();
    b.BeginSequence(0x0020, 0x9116).BeginItem().ExplicitText(0x0020, 0x0037, "DS", "0\\1\\0\\0\\0\\-1").EndItem();
    b.EndSequence().EndItem().EndSequence();
    b.BeginSequence(0x5200, 0x9230);
    for (const char* z : {"0\\0\\4", "0\\0\\0", "0\\0\\2"}) {
        b.BeginItem().BeginSequence(0x0020, 0x9113).BeginItem().ExplicitText(0x0020, 0x0032, "DS", z).EndItem();
        b.EndSequence().EndItem();
    }
    b.EndSequence();
    b.Explicit(0x7FE0, 0x0010, "OW", std::vector<std::uint8_t>(64 * 32 * 2 * 3, 0));
    const Scanned s = Scan(b.Bytes());
    ASSERT_FALSE(s.why) << s.why;
    ASSERT_EQ(s.header.instance.framePositions.size(), 3u);
    EXPECT_EQ(s.header.instance.framePositions[1], (Vector3{0, 0, 0}));
    EXPECT_EQ(s.header.instance.framePositions[2], (Vector3{0, 0, 2}));
    // The top-level orientation stands over the shared one.
    EXPECT_EQ((*s.header.instance.orientation)[0], 1);
}

TEST(InstanceHeader, FunctionalGroupsOfDefinedLengthCountToo) {
    // As DCMTK and pydicom write them: sequences and items of defined length, with an
    // oblique orientation longer than most values.
    const auto item = [](const DicomStreamBuilder& content) { return DicomStreamBuilder().Item(content); };
    const auto macro = [&](std::uint16_t element, std::uint16_t tagElement, std::string_view value) {
        DicomStreamBuilder numbers;
        numbers.ExplicitText(0x0020, tagElement, "DS", value);
        DicomStreamBuilder group;
        group.DefinedSequence(0x0020, element, item(numbers));
        return group;
    };
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ExplicitText(0x0008, 0x0018, "UI", "1.2.3.4.5").ExplicitText(0x0020, 0x000E, "UI", "1.2.3.4.6");
    b.ImageAttributes(4, 4, 8).ExplicitText(0x0028, 0x0008, "IS", "2");
    const std::string oblique = "0.99862953475457\\0.05233595624294\\0\\-0.0523359562429\\0.99862953475457\\0";
    b.DefinedSequence(0x5200, 0x9229, item(macro(0x9116, 0x0037, oblique)));
    DicomStreamBuilder frames;
    frames.Item(macro(0x9113, 0x0032, "0\\0\\3")).Item(macro(0x9113, 0x0032, "0\\0\\1"));
    b.DefinedSequence(0x5200, 0x9230, frames);
    b.Explicit(0x7FE0, 0x0010, "OB", std::vector<std::uint8_t>(32, 0));
    const Scanned s = Scan(b.Bytes());
    ASSERT_FALSE(s.why) << s.why;
    EXPECT_EQ(s.header.instance.framePositions, (std::vector<Vector3>{{0, 0, 3}, {0, 0, 1}}));
    ASSERT_TRUE(s.header.instance.orientation);
    EXPECT_DOUBLE_EQ((*s.header.instance.orientation)[1], 0.05233595624294);
    EXPECT_DOUBLE_EQ((*s.header.instance.orientation)[4], 0.99862953475457);
}

TEST(InstanceHeader, WhatIsNotAnInstance) {
    EXPECT_TRUE(Scan({}).why.Is(HeaderScanFailure::NotDicom));
    EXPECT_TRUE(Scan(std::vector<std::uint8_t>(5000, 'x')).why.Is(HeaderScanFailure::NotDicom));
    EXPECT_TRUE(Scan(std::vector<std::uint8_t>(5000, 0)).why.Is(HeaderScanFailure::NotDicom));
    // Without the prefix, a stream that starts with group 8 and names its instance is one.
    DicomStreamBuilder bare;
    bare.ImplicitText(0x0008, 0x0018, "1.2").ImplicitUS(0x0028, 0x0010, 2);
    EXPECT_FALSE(Scan(bare.Bytes()).why);
    // With the prefix but nothing that identifies an instance: not one.
    DicomStreamBuilder empty;
    empty.Preamble().ImplicitUS(0x0028, 0x0010, 2);
    EXPECT_TRUE(Scan(empty.Bytes()).why.Is(HeaderScanFailure::NotDicom));
    DicomStreamBuilder directory;
    directory.Preamble().MetaGroup(kExplicitVrLittleEndian, kMediaStorageDirectoryUid).ExplicitUL(0x0004, 0x1200, 0);
    EXPECT_TRUE(Scan(directory.Bytes()).why.Is(HeaderScanFailure::DirectoryFile));
    // A report: an instance without pixel data.
    DicomStreamBuilder report = Slice();
    const Scanned r = Scan(report.Bytes());
    ASSERT_FALSE(r.why);
    EXPECT_FALSE(r.header.instance.hasPixelData);
}

TEST(InstanceHeader, AFileThatChangesWhileReadSaysSo) {
    DicomStreamBuilder b = Slice();
    b.Explicit(0x7FE0, 0x0010, "OW", std::vector<std::uint8_t>(64 * 32 * 2, 0));
    auto source = std::make_shared<WatchedSource>(b.Bytes());
    source->Change();
    InstanceHeader header;
    InstanceHeaderScanner scanner;
    EXPECT_TRUE(scanner.Scan(source, header).Is(FileReadFailure::ChangedOnDisk));
}

// What a saved copy and the viewer's measurements take from the header: the
// patient's sex and character set, and the detector's spacing of a radiograph.
TEST(InstanceHeader, KeepsWhatACopyAndTheMeasurementsNeed) {
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup()
        .ExplicitText(0x0008, 0x0005, "CS", "ISO_IR 100")
        .ExplicitText(0x0008, 0x0018, "UI", "1.2.3.4.5")
        .ExplicitText(0x0010, 0x0040, "CS", "F ")
        .ExplicitText(0x0018, 0x1164, "DS", "0.143\\0.143")
        .ImageAttributes(64, 32, 16);
    const Scanned s = Scan(b.Bytes());
    ASSERT_FALSE(s.why) << s.why;
    EXPECT_EQ(s.header.series.patientSex, "F");
    EXPECT_EQ(s.header.series.specificCharacterSet, "ISO_IR 100");
    ASSERT_TRUE(s.header.instance.imagerPixelSpacing);
    EXPECT_EQ((*s.header.instance.imagerPixelSpacing)[1], 0.143);
    EXPECT_FALSE(s.header.instance.pixelSpacing);
}

TEST(PatientOrientation, LettersNameTheDirectionLargestFirst) {
    EXPECT_EQ(PatientDirectionLetters({1, 0, 0}), "L");
    EXPECT_EQ(PatientDirectionLetters({-1, 0, 0}), "R");
    EXPECT_EQ(PatientDirectionLetters({0, 1, 0}), "P");
    EXPECT_EQ(PatientDirectionLetters({0, -1, 0}), "A");
    EXPECT_EQ(PatientDirectionLetters({0, 0, 1}), "H");
    EXPECT_EQ(PatientDirectionLetters({0, 0, -1}), "F");
    EXPECT_EQ(PatientDirectionLetters({0.8, -0.6, 0}), "LA");
    EXPECT_EQ(PatientDirectionLetters({0.3, -0.5, -0.81}), "FAL");
    EXPECT_EQ(PatientDirectionLetters({1, 0.00001, -0.00002}), "L");  // decimal rounding, not a tilt
    EXPECT_EQ(PatientDirectionLetters({0, 0, 0}), "");
    // An axial slice: rows run to the patient's left, columns to the back. Its right
    // edge is L, its bottom P, its top A; a coronal slice's bottom is F.
    const std::array<double, 6> axial = {1, 0, 0, 0, 1, 0};
    EXPECT_EQ(PatientDirectionLetters(PatientDirectionOf(axial, 1, 0)), "L");
    EXPECT_EQ(PatientDirectionLetters(PatientDirectionOf(axial, 0, 1)), "P");
    EXPECT_EQ(PatientDirectionLetters(PatientDirectionOf(axial, 0, -1)), "A");
    const std::array<double, 6> coronal = {1, 0, 0, 0, 0, -1};
    EXPECT_EQ(PatientDirectionLetters(PatientDirectionOf(coronal, 0, 1)), "F");
}

TEST(InstanceHeader, BigEndianNumbersAndMalformedTexts) {
    DicomStreamBuilder b = Slice();
    b.ExplicitText(0x0028, 0x0030, "DS", "0.5\\abc");
    const Scanned s = Scan(b.Bytes());
    EXPECT_FALSE(s.header.instance.pixelSpacing);  // a malformed number gives none, not a guess
    DicomStreamBuilder bad = Slice();
    bad.ExplicitText(0x0020, 0x0032, "DS", "1\\2");  // two of three
    EXPECT_FALSE(Scan(bad.Bytes()).header.instance.position);
}

}  // namespace
