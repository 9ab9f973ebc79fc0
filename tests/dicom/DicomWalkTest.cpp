// The element walk: where it starts, how each header form is decoded, how
// sequences and items are stepped into or over, and that it stays inside the buffer.
#include <gtest/gtest.h>

#include "tests/dicom/DicomTestHelpers.h"

namespace {

using Tags = std::vector<std::uint32_t>;

TEST(DicomLayout, PreambleAndPrefixSelectTheFileFormatLayout) {
    DicomStreamBuilder zero;
    zero.Preamble().ExplicitUS(0x0028, 0x0010, 4);
    EXPECT_EQ(LoadedReader(zero.Bytes())->DetectLayout(), 2);
    EXPECT_EQ(ListedTags(zero), (Tags{0x00280010}));

    // Any preamble is allowed; the DICM prefix decides.
    DicomStreamBuilder filled;
    filled.Preamble(0xAB).ExplicitUS(0x0028, 0x0010, 4);
    EXPECT_EQ(LoadedReader(filled.Bytes())->DetectLayout(), 2);
    EXPECT_EQ(ListedTags(filled), (Tags{0x00280010}));

    DicomStreamBuilder bare;
    bare.ExplicitUS(0x0028, 0x0010, 4).ImplicitUS(0x0028, 0x0011, 5);
    EXPECT_EQ(LoadedReader(bare.Bytes())->DetectLayout(), 3);
    EXPECT_EQ(ListedTags(bare), (Tags{0x00280010, 0x00280011}));
}

TEST(DicomLayout, ShortAndEmptyFiles) {
    EXPECT_EQ(LoadedReader({})->DetectLayout(), 2);
    EXPECT_EQ(LoadedReader(std::vector<std::uint8_t>(50, 0))->DetectLayout(), 2);
    std::vector<std::uint8_t> notZero(50, 0);
    notZero[49] = 1;
    EXPECT_EQ(LoadedReader(notZero)->DetectLayout(), 3);
    // Only the first 100 bytes count when there is no prefix.
    std::vector<std::uint8_t> lateByte(120, 0);
    lateByte[110] = 7;
    EXPECT_EQ(LoadedReader(lateByte)->DetectLayout(), 2);

    // A zero preamble with the prefix and nothing after it: no element at all.
    DicomStreamBuilder onlyPreamble;
    onlyPreamble.Preamble();
    EXPECT_TRUE(Listed(onlyPreamble.Bytes()).empty());
    EXPECT_TRUE(Listed({}).empty());

    // Nothing loaded: the walk reads nothing.
    CDicomFile reader;
    int rows = 0;
    reader.ListElements(reader.DetectLayout(), [&rows](const CDicomFile&) { ++rows; });
    EXPECT_EQ(rows, 0);
}

TEST(DicomHeader, ImplicitLengthWhoseLowBytesSpellAVrIsReadAsExplicit) {
    DicomStreamBuilder b;
    b.ImplicitHeader(0x0009, 0x0010, 0x5355)  // length bytes 55 53: "US"
        .ImplicitUS(0x0028, 0x0010, 7);
    auto reader = LoadedReader(b.Bytes());
    ASSERT_TRUE(reader->ReadElementHeader());
    EXPECT_EQ(reader->Length(), 0u);  // the 16-bit length at s+6
    EXPECT_EQ(reader->Cursor(), 8u);
    EXPECT_EQ(ListedTags(b), (Tags{0x00090010, 0x00280010}));
}

TEST(DicomHeader, VrCodesIgnoreLetterCaseAndLowerCaseObTakesTheLongForm) {
    const std::uint8_t ob[] = {'o', 'b'};
    const std::uint8_t us[] = {'u', 'S'};
    const std::uint8_t xx[] = {'X', 'X'};
    EXPECT_TRUE(CDicomFile::IsExplicitVR(ob));
    EXPECT_TRUE(CDicomFile::IsExplicitVR(us));
    EXPECT_FALSE(CDicomFile::IsExplicitVR(xx));

    DicomStreamBuilder b;
    b.U16(0x0009).U16(0x1000).Raw("ob").U16(0).U32(6).Raw("abcdef").ExplicitUS(0x0028, 0x0010, 3);
    auto reader = LoadedReader(b.Bytes());
    ASSERT_TRUE(reader->ReadElementHeader());
    EXPECT_EQ(reader->Length(), 6u);
    EXPECT_EQ(reader->Cursor(), 18u);
}

TEST(DicomHeader, ShortFormLengthIsUnsigned) {
    DicomStreamBuilder b;
    b.Explicit(0x0060, 0x3020, "US", std::vector<std::uint8_t>(0x8002, 1)).ExplicitUS(0x0028, 0x0010, 9);
    auto reader = LoadedReader(b.Bytes());
    ASSERT_TRUE(reader->ReadElementHeader());
    EXPECT_EQ(reader->Length(), 0x8002u);
    EXPECT_EQ(reader->Cursor(), 8u + 0x8002u);
    reader->ParseElements(3);
    EXPECT_EQ(reader->Attributes()->rows, 9);
}

TEST(DicomSequences, UndefinedLengthSequenceIsWalkedIntoItsFirstItem) {
    DicomStreamBuilder b;
    b.ExplicitUS(0x0028, 0x0010, 512)
        .BeginSequence(0x0088, 0x0200)  // icon image sequence
        .BeginItem()
        .ExplicitUS(0x0028, 0x0010, 64)
        .ExplicitUS(0x0028, 0x0011, 64)
        .EndItem()
        .EndSequence()
        .ExplicitUS(0x0028, 0x0100, 16);
    EXPECT_EQ(ListedTags(b),
              (Tags{0x00280010, 0x00880200, 0x00280010, 0x00280011, 0xFFFEE00D, 0xFFFEE0DD, 0x00280100}));
    const auto rows = Listed(b.Bytes());
    EXPECT_EQ(rows[1].length, 0u);
    EXPECT_EQ(rows[4].length, 0u);
    // The listing shows the icon's elements; the capture takes only the image's own.
    auto a = Captured(b)->Attributes();
    EXPECT_EQ(a->rows, 512);
    EXPECT_EQ(a->columns, 0);
    EXPECT_EQ(a->bitsAllocated, 16);
}

TEST(DicomSequences, DefinedLengthSequencesAndItemsAreSteppedOverWhole) {
    DicomStreamBuilder inner;
    inner.ExplicitUS(0x0028, 0x0010, 64);
    DicomStreamBuilder items;
    items.Item(inner);
    DicomStreamBuilder b;
    b.DefinedSequence(0x0088, 0x0200, items).ExplicitUS(0x0028, 0x0011, 32);
    EXPECT_EQ(ListedTags(b), (Tags{0x00880200, 0x00280011}));
    EXPECT_EQ(Captured(b)->Attributes()->rows, 0);

    // An item of defined length met by the walk (the second item of an
    // undefined-length sequence) is stepped over as well.
    DicomStreamBuilder second;
    second.BeginSequence(0x0008, 0x1140).BeginItem().ExplicitUS(0x0028, 0x0010, 1).EndItem().Item(inner).EndSequence();
    EXPECT_EQ(ListedTags(second), (Tags{0x00081140, 0x00280010, 0xFFFEE00D, 0xFFFEE000, 0xFFFEE0DD}));
}

TEST(DicomSequences, ImplicitUndefinedLengthIsSteppedInto) {
    DicomStreamBuilder b;
    b.BeginSequence(0x0008, 0x1140, false)
        .BeginItem()
        .ImplicitUS(0x0028, 0x0010, 77)
        .EndItem()
        .BeginItem()
        .ImplicitUS(0x0028, 0x0011, 78)
        .EndItem()
        .EndSequence()
        .ImplicitUS(0x0028, 0x0100, 8);
    EXPECT_EQ(ListedTags(b), (Tags{0x00081140, 0xFFFEE000, 0x00280010, 0xFFFEE00D, 0xFFFEE000, 0x00280011, 0xFFFEE00D,
                                   0xFFFEE0DD, 0x00280100}));
    auto a = Captured(b)->Attributes();
    EXPECT_EQ(a->rows, 0);  // inside the items, not the image's
    EXPECT_EQ(a->columns, 0);
    EXPECT_EQ(a->bitsAllocated, 8);
}

TEST(DicomBounds, AnElementThatDoesNotFitEndsTheWalkAndEarlierCapturesStand) {
    DicomStreamBuilder good;
    good.ExplicitUS(0x0028, 0x0010, 10);

    DicomStreamBuilder longValue = good;
    longValue.ExplicitHeader(0x0028, 0x0011, "US", 2).Raw("x");  // one byte of two
    EXPECT_EQ(ListedTags(longValue), (Tags{0x00280010}));
    auto reader = Captured(longValue);
    EXPECT_EQ(reader->Attributes()->rows, 10);
    EXPECT_EQ(reader->Attributes()->columns, 0);
    EXPECT_EQ(reader->Cursor(), reader->Size());

    DicomStreamBuilder partialHeader = good;
    partialHeader.Raw(std::vector<std::uint8_t>{0x28, 0x00, 0x11, 0x00, 'U'});
    EXPECT_EQ(ListedTags(partialHeader), (Tags{0x00280010}));

    DicomStreamBuilder partialLongHeader = good;
    partialLongHeader.U16(0x7FE0).U16(0x0010).Raw("OW").U16(0);
    EXPECT_EQ(ListedTags(partialLongHeader), (Tags{0x00280010}));

    // The explicit undefined form steps 8 bytes further; they must be there.
    DicomStreamBuilder undefinedAtEnd = good;
    undefinedAtEnd.BeginSequence(0x0008, 0x1140).U32(0xFFFEE000);
    EXPECT_EQ(ListedTags(undefinedAtEnd), (Tags{0x00280010}));
    undefinedAtEnd.U32(0xFFFFFFFF);
    EXPECT_EQ(ListedTags(undefinedAtEnd), (Tags{0x00280010, 0x00081140}));
}

// Zeros (or any bytes) that repeat one element over and over are not a data set:
// the walk ends where the run starts, says so, and what came before stands. Shorter
// runs, and items one after another, are walked as they always were.
TEST(DicomBounds, ARunOfOneRepeatedElementEndsTheWalkWhereItStarts) {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ExplicitUS(0x0028, 0x0010, 10);
    const std::size_t runStart = b.Size();
    DicomStreamBuilder zeros = b;
    zeros.Raw(std::vector<std::uint8_t>(std::size_t{4} << 20, 0));
    const std::size_t metaRows = Listed(b.Bytes()).size() - 1;
    EXPECT_EQ(Listed(zeros.Bytes()).size(), metaRows + 1);
    auto reader = Captured(zeros);
    EXPECT_EQ(reader->Attributes()->rows, 10);
    EXPECT_TRUE(reader->WalkStop().Is(DicomWalkStop::RepeatedElement));
    EXPECT_EQ(reader->WalkStop().First(), static_cast<std::int64_t>(runStart));
    EXPECT_EQ(reader->WalkStop().Second(), std::int64_t{4} << 20);
    EXPECT_EQ(reader->WalkStop().Text(), "the last 4194304 bytes, from byte " + std::to_string(runStart) +
                                             " on, repeat element (0000,0000) and are not read as DICOM");

    // Bytes of 0xFF: (FFFF,FFFF) of undefined length, 8 bytes each.
    DicomStreamBuilder ones = b;
    ones.Raw(std::vector<std::uint8_t>(4096, 0xFF));
    EXPECT_EQ(Listed(ones.Bytes()).size(), metaRows + 1);

    // One short of a run: listed, and the walk goes on after it.
    DicomStreamBuilder padded = b;
    padded.Raw(std::vector<std::uint8_t>(8 * (CDicomFile::kRepeatedRun - 1), 0)).ExplicitUS(0x0028, 0x0011, 11);
    EXPECT_EQ(Listed(padded.Bytes()).size(), metaRows + CDicomFile::kRepeatedRun + 1);
    EXPECT_FALSE(Captured(padded)->WalkStop());
    EXPECT_EQ(Captured(padded)->Attributes()->columns, 11);

    // Many items of defined length in a row are walked item by item.
    DicomStreamBuilder items;
    items.BeginSequence(0x0008, 0x1140).BeginItem().ExplicitUS(0x0028, 0x0010, 1).EndItem();
    for (int i = 0; i < 3 * CDicomFile::kRepeatedRun; ++i) {
        items.U16(0xFFFE).U16(0xE000).U32(4).U32(0);
    }
    items.EndSequence().ExplicitUS(0x0028, 0x0011, 11);
    EXPECT_EQ(Listed(items.Bytes()).size(), 3u * CDicomFile::kRepeatedRun + 5);
    EXPECT_EQ(Captured(items)->Attributes()->columns, 11);
}

TEST(DicomBounds, HugeLengthsNeverMoveTheCursorBackwards) {
    for (const std::uint32_t length : {0xFFFFFFF8u, 0xFFFFFFF0u, 0x80000000u, 0xFFFFFFFEu}) {
        DicomStreamBuilder b;
        b.ExplicitUS(0x0028, 0x0010, 10).ImplicitHeader(0x0009, 0x0010, length).ExplicitUS(0x0028, 0x0011, 11);
        auto reader = LoadedReader(b.Bytes());
        reader->ParseElements(3);
        EXPECT_EQ(reader->Attributes()->rows, 10) << length;
        EXPECT_EQ(reader->Attributes()->columns, 0) << length;
    }
    DicomStreamBuilder longForm;
    longForm.ExplicitHeader(0x7FE0, 0x0010, "OB", 0xFFFFFFF4).ExplicitUS(0x0028, 0x0011, 11);
    EXPECT_EQ(ListedTags(longForm), Tags{});
}

TEST(DicomWalk, ParseKeepsTheCursorForBareStreamsWhileListingStartsOver) {
    DicomStreamBuilder b;
    b.ExplicitUS(0x0028, 0x0010, 10).ExplicitUS(0x0028, 0x0011, 11);
    auto reader = LoadedReader(b.Bytes());
    reader->ParseElements(3);
    EXPECT_EQ(reader->Cursor(), reader->Size());
    int rows = 0;
    reader->ListElements(3, [&rows](const CDicomFile&) { ++rows; });
    EXPECT_EQ(rows, 2);
    reader->ListElements(7, [&rows](const CDicomFile&) { ++rows; });  // no such layout
    EXPECT_EQ(rows, 2);
}

}  // namespace
