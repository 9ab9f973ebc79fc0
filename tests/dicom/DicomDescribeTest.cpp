// The listing pass: dictionary names and VRs, and each value rendered as text.
#include <gtest/gtest.h>
#include <cstring>
#include <map>

#include "tests/dicom/DicomTestHelpers.h"

namespace {

TEST(DicomDictionary, EntryCountsPerGroupAndPerVr) {
    std::map<std::uint16_t, int> groups;
    std::map<std::string, int> vrs;
    int total = 0;
    for (const DicomDictionaryEntry* e = DictionaryBegin(); e != DictionaryEnd(); ++e) {
        ++groups[e->group];
        ++vrs[e->vr];
        ++total;
        EXPECT_EQ(FindDictionaryEntry(e->group, e->element), e);
    }
    EXPECT_EQ(total, 696);
    const std::map<std::uint16_t, int> expectedGroups = {
        {0x0002, 10}, {0x0008, 108}, {0x0010, 33}, {0x0018, 301}, {0x0020, 46}, {0x0028, 81}, {0x0040, 93},
        {0x0050, 9},  {0x0051, 2},   {0x0060, 7},  {0x7FE0, 2},   {0xFFFC, 1},  {0xFFFE, 3}};
    EXPECT_EQ(groups, expectedGroups);
    const std::map<std::string, int> expectedVrs = {
        {"DS", 129}, {"IS", 82}, {"CS", 79}, {"LO", 73}, {"SQ", 63}, {"US", 51}, {"SH", 38}, {"UL", 30}, {"RET", 29},
        {"TM", 23},  {"UI", 19}, {"DA", 18}, {"PN", 13}, {"LT", 12}, {"ST", 7},  {"FD", 7},  {"AE", 4},  {"OW", 4},
        {"OB", 3},   {"SS", 3},  {"DT", 2},  {"SL", 2},  {"FL", 2},  {"AS", 1},  {"AT", 1},  {"UT", 1}};
    EXPECT_EQ(vrs, expectedVrs);
}

TEST(DicomDictionary, NamesAreKeptByteForByte) {
    const auto name = [](std::uint16_t g, std::uint16_t e) {
        const DicomDictionaryEntry* entry = FindDictionaryEntry(g, e);
        return entry != nullptr ? std::string(entry->vr) + "|" + entry->name : std::string("none");
    };
    EXPECT_EQ(name(0x0010, 0x0010), "PN|Patient\x92s Name");
    EXPECT_EQ(name(0x0002, 0x0010), "UI|Transfer Syntax UID");
    EXPECT_EQ(name(0xFFFE, 0xE000), "SQ|Item");
    EXPECT_EQ(name(0x0040, 0xA160), "UT| Text Value ");
    EXPECT_EQ(name(0x0008, 0x1060), "PN|Name of  Physician(s) Reading Study");
    EXPECT_EQ(name(0x0028, 0x1101), "US| Red Palette Color Lookup Table Descriptor US-US or\tSS-US 3");
    EXPECT_EQ(name(0x0028, 0x1201), "US| Red Palette Color Lookup Table Data US or SS or OW\t1-n 1");
    EXPECT_EQ(name(0x0051, 0x0010), "LO|");
    EXPECT_EQ(name(0x0009, 0x0010), "none");
    EXPECT_EQ(name(0x0028, 0x9999), "none");
}

TEST(DicomValueText, NumbersByTheDictionaryVr) {
    DicomStreamBuilder b;
    b.Preamble()
        .Explicit(0x0028, 0x0010, "US", {0x00, 0x02})
        .Explicit(0x0002, 0x0000, "UL", {0x00, 0x00, 0x00, 0x80})
        .Explicit(0x0060, 0x3004, "US", {0x10, 0x00, 0x20, 0x00})
        .Explicit(0x0028, 0x0106, "SS", {0xFE, 0xFF})              // dictionary says US: unsigned
        .Implicit(0x0018, 0x6028, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F})  // FD 1.5
        .Implicit(0x0018, 0x1153, {0xFF, 0xFF, 0xFF, 0xFF});
    const auto rows = Listed(b.Bytes());
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].text, "512");
    EXPECT_EQ(rows[1].text, "-2147483648");
    EXPECT_EQ(rows[2].text, "16");
    EXPECT_EQ(rows[3].vr, "US");
    EXPECT_EQ(rows[3].text, "65534");
    EXPECT_EQ(rows[4].vr, "FD");
    EXPECT_EQ(rows[4].text, "1.500000");
    EXPECT_EQ(rows[5].vr, "IS");
    EXPECT_EQ(rows[5].text, "\xFF\xFF\xFF\xFF");
}

TEST(DicomValueText, SignedAndFloatingNumbersAndTooShortValues) {
    CDicomFile reader;
    const auto render = [&reader](const char* vr, std::vector<std::uint8_t> value) {
        DicomStreamBuilder b;
        b.Implicit(0x0009, 0x1000, value);
        reader.Reset();
        reader.LoadBuffer(b.Bytes().data(), b.Size());
        reader.ReadElementHeader();
        reader.FormatValueAs(vr);  // as the dictionary would give it
        return std::string(reader.ValueText());
    };
    EXPECT_EQ(render("SS", {0x00, 0x80}), "-32768");
    EXPECT_EQ(render("SL", {0xFF, 0xFF, 0xFF, 0xFF}), "-1");
    EXPECT_EQ(render("FL", {0x00, 0x00, 0xC0, 0x3F}), "1.500000");
    EXPECT_EQ(render("AT", {0x28, 0x00, 0x10, 0x00}), "40");
    EXPECT_EQ(render("US", {0x28}), "===============");
    EXPECT_EQ(render("UL", {1, 2, 3}), "===============");
    EXPECT_EQ(render("FD", {1, 2, 3, 4}), "===============");
    EXPECT_EQ(render("US", {}), "===============");
    EXPECT_EQ(render("RET", {1, 2}), "===============");
    EXPECT_EQ(render("UN", {1, 2}), "===============");
    EXPECT_EQ(render("", {1, 2}), "===============");
    EXPECT_EQ(render("OB", {1, 2}), "Sequence Data");
}

TEST(DicomValueText, TextsSequencesAndUnknownTags) {
    DicomStreamBuilder b;
    b.ExplicitText(0x0028, 0x0030, "DS", "0.5\\0.5")
        .ExplicitText(0x0002, 0x0010, "UI", "1.2.840.10008.1.2")
        .ExplicitText(0x0008, 0x0001, "UL", "ab")
        .ExplicitText(0x0009, 0x0010, "LO", "PRIVATE")
        .ExplicitText(0x0010, 0x0010, "PN", "DOE^JANE")
        .BeginSequence(0x0008, 0x1140)
        .BeginItem()
        .EndItem()
        .EndSequence()
        .PixelData8({1, 2});
    const auto rows = Listed(b.Bytes());
    ASSERT_EQ(rows.size(), 9u);  // the item's header is stepped over with the sequence's
    EXPECT_EQ(rows[0].text, "0.5\\0.5 ");
    EXPECT_EQ(rows[1].text, "1.2.840.10008.1.2");
    EXPECT_EQ(rows[1].length, 18u);
    EXPECT_EQ(rows[2].vr, "RET");
    EXPECT_EQ(rows[2].text, "===============");
    EXPECT_EQ(rows[3].name, "");
    EXPECT_EQ(rows[3].vr, "");
    EXPECT_EQ(rows[3].text, "===============");
    EXPECT_EQ(rows[4].name, "Patient\x92s Name");
    EXPECT_EQ(rows[4].text, "DOE^JANE");
    EXPECT_EQ(rows[5].text, "Sequence Data");
    EXPECT_EQ(rows[5].length, 0u);
    EXPECT_EQ(rows[6].group, 0xFFFE);
    EXPECT_EQ(rows[8].name, " Pixel Data");
    EXPECT_EQ(rows[8].text, "Sequence Data");
}

TEST(DicomValueText, LongTextsAreCutToFitTheTextField) {
    DicomStreamBuilder b;
    b.ExplicitText(0x0008, 0x0070, "LO", std::string(4000, 'x')).ExplicitText(0x0008, 0x0080, "LO", "Clinic");
    const auto rows = Listed(b.Bytes());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text, std::string(1499, 'x'));
    EXPECT_EQ(rows[1].text, "Clinic");
}

TEST(DicomValueText, ListingTwiceGivesTheSameRows) {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(2, 2, 8).PixelData8({1, 2, 3, 4});
    auto reader = LoadedReader(b.Bytes());
    std::vector<std::string> first;
    std::vector<std::string> second;
    reader->ListElements(reader->DetectLayout(), [&first](const CDicomFile& e) { first.push_back(e.ValueText()); });
    reader->ListElements(reader->DetectLayout(), [&second](const CDicomFile& e) { second.push_back(e.ValueText()); });
    EXPECT_EQ(first.size(), 13u);
    EXPECT_EQ(first, second);
}

}  // namespace
