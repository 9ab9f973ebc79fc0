// What the network layer reads from servers and users: server addresses, query
// keys, matches in other character sets, and the UIDs that name stored files.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcvrlo.h"
#include "net/BoundedDataSet.h"
#include "net/FindMatch.h"
#include "net/NetFailure.h"
#include "net/RetrievedFiles.h"
#include "net/ServerSettings.h"
#include "tests/support/TempFiles.h"
#include "tools/dicomstream/DicomStreamBuilder.h"

namespace fs = std::filesystem;

namespace {

TEST(ServerAddressText, TakesTitleHostAndPortAndSaysWhatIsWrong) {
    std::string error;
    std::optional<ServerAddress> address = ParseServerAddress("PACS@archive.example:11112", error);
    ASSERT_TRUE(address);
    EXPECT_EQ(address->aeTitle, "PACS");
    EXPECT_EQ(address->host, "archive.example");
    EXPECT_EQ(address->port, 11112);
    address = ParseServerAddress("A@B@[::1]:104", error);
    ASSERT_TRUE(address);
    EXPECT_EQ(address->aeTitle, "A@B");
    EXPECT_EQ(address->host, "::1");

    EXPECT_FALSE(ParseServerAddress("archive:104", error));
    EXPECT_NE(error.find("AE@HOST:PORT"), std::string::npos);
    EXPECT_FALSE(ParseServerAddress("PACS@archive:0", error));
    EXPECT_FALSE(ParseServerAddress("PACS@archive:70000", error));
    EXPECT_FALSE(ParseServerAddress("PACS@:104", error));
    EXPECT_FALSE(ParseServerAddress("A_TITLE_OF_17_CHR@h:104", error));
    EXPECT_FALSE(ParseServerAddress("BACK\\SLASH@h:104", error));
    EXPECT_FALSE(IsValidAeTitle("    "));
}

TEST(QueryKeys, KeywordsAndTagsNameTheSameAttribute) {
    std::string error;
    for (const char* text : {"PatientName=DOE*", "0010,0010=DOE*", "(0010,0010)=DOE*", "00100010=DOE*"}) {
        std::optional<QueryKey> key = ParseQueryKey(text, error);
        ASSERT_TRUE(key) << text << ": " << error;
        EXPECT_EQ(key->group, 0x0010);
        EXPECT_EQ(key->element, 0x0010);
        EXPECT_EQ(key->value, "DOE*");
    }
    std::optional<QueryKey> empty = ParseQueryKey("StudyDate=", error);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->value, "");
    EXPECT_FALSE(ParseQueryKey("NoSuchAttribute=1", error));
    EXPECT_NE(error.find("NoSuchAttribute"), std::string::npos);
    EXPECT_FALSE(ParseQueryKey("PatientName", error));
}

TEST(FindMatches, TextsBecomeUtf8AndHostileValuesAreBounded) {
    DcmDataset match;
    match.putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 100");
    match.putAndInsertString(DCM_PatientName, "M\xFCller^J\xF6rg");  // Latin-1
    match.putAndInsertString(DCM_StudyDescription, std::string(100000, 'A').c_str());
    match.putAndInsertUint8Array(DCM_PixelData, reinterpret_cast<const Uint8*>("\1\2\3\4"), 4);
    match.putAndInsertString(DcmTagKey(0x0009, 0x0010), "PRIVATE CREATOR");
    const FindMatch read = ReadFindMatch(match);
    ASSERT_NE(read.Value("PatientName"), nullptr);
    EXPECT_EQ(*read.Value("PatientName"), "M\xC3\xBCller^J\xC3\xB6rg");
    ASSERT_NE(read.Value("StudyDescription"), nullptr);
    EXPECT_EQ(read.Value("StudyDescription")->size(), kMaxValueText);
    EXPECT_EQ(read.Value("PixelData"), nullptr);
    EXPECT_EQ(read.Value("SpecificCharacterSet"), nullptr);
    EXPECT_NE(read.Value("0009,0010"), nullptr);

    // Japanese as an archive stores it, in a set the system's converter may not know.
    DcmDataset japanese;
    japanese.putAndInsertString(DCM_SpecificCharacterSet, "\\ISO 2022 IR 87");
    japanese.putAndInsertString(DCM_PatientName, "Yamada^Tarou=\x1b$B;3ED\x1b(B^\x1b$BB@O:\x1b(B");
    const FindMatch named = ReadFindMatch(japanese);
    ASSERT_NE(named.Value("PatientName"), nullptr);
    EXPECT_EQ(*named.Value("PatientName"), "Yamada^Tarou=山田^太郎");

    DcmDataset flood;
    for (Uint16 element = 0x1000; element < 0x1000 + 400; ++element) {
        auto* value = new DcmLongString(DcmTag(0x0011, element, EVR_LO));
        value->putString("X");
        flood.insert(value);
    }
    EXPECT_EQ(ReadFindMatch(flood).values.size(), kMaxValuesPerMatch);
}

TEST(FindMatches, BytesClaimingMoreThanTheyHoldAreRefusedBeforeParsing) {
    // (0010,0010) PN "DOE^JO", then (0008,1030) LO claiming 65535 bytes of which 4 are there.
    const std::uint8_t shortClaim[] = {0x10, 0x00, 0x10, 0x00, 'P', 'N', 6, 0, 'D', 'O', 'E', '^', 'J', 'O',
                                       0x08, 0x00, 0x30, 0x10, 'L', 'O', 0xFF, 0xFF, 'A', 'B', 'C', 'D'};
    EXPECT_FALSE(ReadFindMatchBytes(shortClaim, "1.2.840.10008.1.2.1"));
    // (0009,1000) OB claiming 3.75 GiB, in implicit VR: no allocation at that length.
    const std::uint8_t hugeClaim[] = {0x09, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0xF0, 1, 2, 3, 4};
    EXPECT_FALSE(ReadFindMatchBytes(hugeClaim, "1.2.840.10008.1.2"));
    // The same name alone reads, in either syntax family, and a compressed syntax is refused.
    const std::span<const std::uint8_t> name(shortClaim, 14);
    const std::optional<FindMatch> read = ReadFindMatchBytes(name, "1.2.840.10008.1.2.1");
    ASSERT_TRUE(read);
    ASSERT_NE(read->Value("PatientName"), nullptr);
    EXPECT_EQ(*read->Value("PatientName"), "DOE^JO");
    EXPECT_FALSE(ReadFindMatchBytes(name, "1.2.840.10008.1.2.4.70"));
}

TEST(FindMatches, NestingIsCheckedAsTheParserWillReadIt) {
    // A tag of the item group that is neither an item nor a delimiter, then a value
    // claiming 2 GiB: the check once walked into the first as if it were an item and
    // missed the claim, which the parser then allocated. Found by fuzzing.
    std::vector<std::uint8_t> strayItemGroup = {
        0xFE, 0xFF, 0xFF, 0x4F, 0x12, 0x00, 0x00, 0x00, 0x25, 0x00, 0x00, 0x4F, 0x4C, 0x00, 0x00, 0x00, 0x97, 0xFF,
        0x00, 0x00, 0x41, 0x25, 0xFF, 0xAE, 0x00, 0x00, 0x4F, 0x4C, 0x00, 0x00, 0x00, 0x97, 0xFF, 0x7F};
    strayItemGroup.insert(strayItemGroup.end(), 60, 0x7F);
    strayItemGroup.insert(strayItemGroup.end(), {0xFF, 0xFF, 0, 0, 0, 0});
    EXPECT_FALSE(ElementLengthsFit(strayItemGroup, false, false));

    // (0008,1115) Referenced Series Sequence of 20 bytes holding one item of 12, whose
    // (0020,000E) UI claims 4 bytes: in implicit VR, where only the dictionary says
    // it is a sequence, and in explicit VR.
    const std::vector<std::uint8_t> implicitSequence = {
        0x08, 0x00, 0x15, 0x11, 20, 0, 0, 0,                        // SQ, 20 bytes
        0xFE, 0xFF, 0x00, 0xE0, 12, 0, 0, 0,                        // item, 12 bytes
        0x20, 0x00, 0x0E, 0x00, 4, 0, 0, 0, '1', '.', '2', 0,       // UI "1.2"
        0x10, 0x00, 0x20, 0x00, 2, 0, 0, 0, 'I', 'D'};              // LO after the sequence
    std::optional<FindMatch> read = ReadFindMatchBytes(implicitSequence, "1.2.840.10008.1.2");
    ASSERT_TRUE(read);
    ASSERT_NE(read->Value("PatientID"), nullptr);
    EXPECT_EQ(*read->Value("PatientID"), "ID");
    // The same item claiming more inside than the sequence holds: the parser would
    // read across the sequence's end, so it is refused.
    std::vector<std::uint8_t> overrun = implicitSequence;
    overrun[20] = 14;  // the UI's length, reaching into the element after the sequence
    EXPECT_FALSE(ElementLengthsFit(overrun, false, false));

    // Undefined lengths close with their own delimiters only.
    const std::vector<std::uint8_t> undefinedSequence = {
        0x08, 0x00, 0x15, 0x11, 'S', 'Q', 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,  // SQ, undefined
        0xFE, 0xFF, 0x00, 0xE0, 0xFF, 0xFF, 0xFF, 0xFF,                  // item, undefined
        0x20, 0x00, 0x0E, 0x00, 'U', 'I', 4, 0, '1', '.', '2', 0,
        0xFE, 0xFF, 0x0D, 0xE0, 0, 0, 0, 0,                              // item ends
        0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0};                             // sequence ends
    EXPECT_TRUE(ReadFindMatchBytes(undefinedSequence, "1.2.840.10008.1.2.1"));
    EXPECT_TRUE(ElementLengthsFit(undefinedSequence, true, false));
    std::vector<std::uint8_t> crossed = undefinedSequence;
    std::swap(crossed[34], crossed[42]);  // the sequence's delimiter where the item's belongs
    EXPECT_FALSE(ElementLengthsFit(crossed, true, false));
    const std::vector<std::uint8_t> itemOutsideSequence(undefinedSequence.begin() + 12, undefinedSequence.end() - 8);
    EXPECT_FALSE(ElementLengthsFit(itemOutsideSequence, true, false));
    // UN of undefined length is read in implicit VR by the parser: refused.
    std::vector<std::uint8_t> unknown = undefinedSequence;
    unknown[4] = 'U';
    unknown[5] = 'N';
    EXPECT_FALSE(ElementLengthsFit(unknown, true, false));
}

TEST(StoredNames, OnlyRealUidsBecomeNames) {
    EXPECT_EQ(NameFromUid("1.2.840.113619.2.55.3"), "1.2.840.113619.2.55.3");
    EXPECT_EQ(NameFromUid(std::string("1.2.3\0", 6)), "1.2.3");
    for (const char* hostile : {"../../etc/passwd", "/tmp/x", "1.2/3", "1..2", ".1.2", "1.2.", "1.2.3 4", "..",
                                "12345678901234567890123456789012345678901234567890123456789012345"}) {
        const std::string name = NameFromUid(hostile);
        EXPECT_EQ(name.size(), 17u) << hostile;
        EXPECT_EQ(name[0], 'x') << hostile;
        EXPECT_EQ(name.find_first_not_of("x0123456789abcdef"), std::string::npos) << hostile;
        EXPECT_EQ(NameFromUid(hostile), name) << "the same bytes give the same name";
    }
    EXPECT_NE(NameFromUid("../a"), NameFromUid("../b"));
    const std::string unnamed = NameFromUid("");
    EXPECT_TRUE(unnamed.starts_with("unnamed-"));
    EXPECT_NE(NameFromUid(""), unnamed);
}

TEST(StoredNames, AFileWithHostileUidsLandsInsideTheCacheFolder) {
    TempFolder folder;
    DicomStreamBuilder file;
    file.Preamble()
        .MetaGroup(kExplicitVrLittleEndian, kCtImageStorage, "../../../outside")
        .ExplicitText(0x0008, 0x0016, "UI", kCtImageStorage)
        .ExplicitText(0x0008, 0x0018, "UI", "../../../outside")
        .ExplicitText(0x0020, 0x000D, "UI", "/etc")
        .ExplicitText(0x0020, 0x000E, "UI", "1.2.3");
    const std::string cache = folder.File("cache");
    RetrievedFileStore store(cache, 0);
    Reason why;
    std::unique_ptr<TemporaryFile> incoming = store.NewTemporary(&why);
    ASSERT_NE(incoming, nullptr) << why;
    WriteFileBytes(incoming->Path(), file.Bytes());
    const std::string placed = store.Place(*incoming, "1.2.3.4.6", &why);
    ASSERT_FALSE(placed.empty()) << why;
    const fs::path relative = fs::relative(placed, cache);
    EXPECT_EQ(relative.begin()->string(), NameFromUid("/etc"));
    EXPECT_EQ(relative.filename().string(), NameFromUid("../../../outside") + ".dcm");
    EXPECT_EQ(std::distance(relative.begin(), relative.end()), 2);
    EXPECT_EQ(ReadFileBytes(placed), file.Bytes());
    // Nothing else appeared anywhere near.
    EXPECT_EQ(folder.FileCount(), 1u);
}

TEST(StoredNames, ANearlyFullDiskIsSaidBeforeAnythingIsWritten) {
    TempFolder folder;
    RetrievedFileStore store(folder.File("cache"), ~std::uint64_t{0});
    const Reason why = store.CheckRoom();
    EXPECT_TRUE(why.Is(NetFailure::DiskNearlyFull)) << why;
    EXPECT_TRUE(RetrievedFileStore(folder.File("cache"), 0).CheckRoom().Text().empty());
}

}  // namespace
