// The DICOMDIR reader: the record tree walked by its offsets, the file IDs it
// refuses, and offsets that loop or point nowhere.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "dicom/DicomDirectory.h"
#include "io/RegularFile.h"
#include "tests/support/DicomDirBytes.h"

namespace {

const std::filesystem::path kPydicomDirs = "/usr/lib/python3/dist-packages/pydicom/data/test_files/dicomdirtests";

DicomDirectory Read(const std::vector<std::uint8_t>& bytes) {
    FileBuffer buffer = FileBuffer::Allocate(bytes.size());
    std::copy(bytes.begin(), bytes.end(), buffer.Data());
    return ReadDicomDirectory(std::make_shared<MemorySource>(std::move(buffer)));
}

DicomDirectory ReadFile(const std::filesystem::path& path) { return ReadDicomDirectory(RegularFile::Open(path)); }

std::vector<DirRecordSpec> SmallTree() {
    return {
        {"PATIENT", -1, "", {{0x00100010, "DOE^JANE"}, {0x00100020, "P1"}}},
        {"STUDY", 0, "", {{0x00080020, "20260101"}, {0x0020000D, "1.2.3"}}},
        {"SERIES", 1, "", {{0x00080060, "CT"}, {0x0020000E, "1.2.3.4.6"}, {0x00200011, "7"}}},
        {"IMAGE", 2, "CT\\IM1", {{0x00200013, "1"}}},
        {"IMAGE", 2, "CT\\IM2", {{0x00200013, "2"}}},
        {"PATIENT", -1, "", {{0x00100010, "ROE^RICHARD"}}},
    };
}

std::string Types(const DicomDirectory& d) {
    std::string types;
    for (const DirectoryRecord& r : d.records) {
        types += (types.empty() ? "" : " ") + r.type + "<" + std::to_string(r.parent);
    }
    return types;
}

TEST(DicomDirectory, RecordsAreWalkedDepthFirstByTheirOffsets) {
    const DicomDirectory d = Read(DicomDirBytes(SmallTree()));
    EXPECT_FALSE(d.stop) << d.stop;
    EXPECT_EQ(Types(d), "PATIENT<-1 STUDY<0 SERIES<1 IMAGE<2 IMAGE<2 PATIENT<-1");
    EXPECT_EQ(d.records[0].keys.patientName, "DOE^JANE");
    EXPECT_EQ(d.records[2].keys.seriesNumber, 7);
    EXPECT_EQ(d.records[2].kind, DirectoryRecordKind::Series);
    EXPECT_EQ(d.records[4].fileId, (std::vector<std::string>{"CT", "IM2"}));
    EXPECT_EQ(d.records[4].instanceNumber, 2);
}

TEST(DicomDirectory, OffsetsNotOrderDecide) {
    // The same tree with the records stored image first (as pydicom's "reordered" file).
    std::vector<DirRecordSpec> records = {
        {"IMAGE", 1, "IM1", {}},
        {"SERIES", 2, "", {}},
        {"STUDY", 3, "", {}},
        {"PATIENT", -1, "", {}},
    };
    const DicomDirectory d = Read(DicomDirBytes(records, DicomDirRecordOffset(records, 3)));
    EXPECT_EQ(Types(d), "PATIENT<-1 STUDY<0 SERIES<1 IMAGE<2");
}

TEST(DicomDirectory, HostileOffsetsEndTheWalkWithAReason) {
    // The second image's next offset leads back to the series: a loop.
    std::vector<DirRecordSpec> loop = SmallTree();
    loop[4].next = DicomDirRecordOffset(loop, 2);
    DicomDirectory d = Read(DicomDirBytes(loop));
    EXPECT_TRUE(d.stop.Is(DirectoryFailure::RecordLoop)) << d.stop;
    EXPECT_EQ(d.records.size(), 5u);  // what was read before stands

    // A record that names itself as its own child.
    std::vector<DirRecordSpec> self = SmallTree();
    self[1].lower = DicomDirRecordOffset(self, 1);
    EXPECT_TRUE(Read(DicomDirBytes(self)).stop.Is(DirectoryFailure::RecordLoop));

    // Offsets past the end, and into the middle of an element.
    std::vector<DirRecordSpec> outside = SmallTree();
    outside[2].lower = 0x7FFFFFF0;
    d = Read(DicomDirBytes(outside));
    EXPECT_TRUE(d.stop.Is(DirectoryFailure::RecordOutside)) << d.stop;
    EXPECT_EQ(d.stop.First(), 0x7FFFFFF0);
    std::vector<DirRecordSpec> inside = SmallTree();
    inside[0].next = DicomDirRecordOffset(inside, 3) + 6;
    EXPECT_TRUE(Read(DicomDirBytes(inside)).stop.Is(DirectoryFailure::RecordOutside));

}

TEST(DicomDirectory, FilesNoOffsetLeadsToAreStillListed) {
    // The root offset points at the second image, as in pydicom's "nopatient" file:
    // the first image is reached by no offset, and still names its file.
    std::vector<DirRecordSpec> records = {
        {"PATIENT", -1, "", {}}, {"SERIES", 0, "", {}}, {"IMAGE", 1, "IM1", {}},
        {"IMAGE", 1, "IM2", {}}, {"IMAGE", 1, "IM3", {}},
    };
    const DicomDirectory d = Read(DicomDirBytes(records, DicomDirRecordOffset(records, 3)));
    EXPECT_FALSE(d.stop) << d.stop;
    std::vector<std::string> files;
    for (const DirectoryRecord& record : d.records) {
        if (!record.fileId.empty()) files.push_back(record.fileId.front());
    }
    EXPECT_EQ(files, (std::vector<std::string>{"IM2", "IM3", "IM1"}));
    EXPECT_EQ(Types(d), "IMAGE<-1 IMAGE<-1 IMAGE<-1");

    if (std::filesystem::exists(kPydicomDirs / "DICOMDIR-nopatient")) {
        const DicomDirectory nopatient = ReadFile(kPydicomDirs / "DICOMDIR-nopatient");
        std::size_t named = 0;
        for (const DirectoryRecord& record : nopatient.records) named += record.fileId.empty() ? 0 : 1;
        EXPECT_EQ(named, 31u);
    }
}

TEST(DicomDirectory, ARootOffsetOfZeroStartsAtTheFirstRecord) {
    // Some writers leave the root offset 0: the records that follow the header are read.
    const DicomDirectory d = Read(DicomDirBytes(SmallTree(), 0));
    EXPECT_FALSE(d.stop) << d.stop;
    EXPECT_EQ(Types(d), "PATIENT<-1 STUDY<0 SERIES<1 IMAGE<2 IMAGE<2 PATIENT<-1");
    // With no records at all: none, and no failure.
    const DicomDirectory empty = Read(DicomDirBytes({}, 0));
    EXPECT_TRUE(empty.records.empty());
    EXPECT_FALSE(empty.stop) << empty.stop;
}

TEST(DicomDirectory, AWalkEndsAtTheRecordLimitKeepingWhatItRead) {
    // One record more than the limit, each naming the next as its sibling.
    const std::vector<DirRecordSpec> first(1, {"IMAGE", -1, "", {}});
    std::vector<std::uint8_t> bytes = DicomDirBytes(first);
    const std::uint32_t start = DicomDirRecordOffset(first, 0);
    bytes.resize(start);  // the header, up to the first record
    const std::size_t count = kMaxDirectoryRecords + 1;
    // An item holding the offset of the next record (bytes 16 to 19) and the type.
    std::array<std::uint8_t, 34> item = {0xFE, 0xFF, 0x00, 0xE0, 26,  0,   0,   0,   0x04, 0x00, 0x00, 0x14,
                                         'U',  'L',  4,    0,    0,   0,   0,   0,   0x04, 0x00, 0x30, 0x14,
                                         'C',  'S',  6,    0,    'I', 'M', 'A', 'G', 'E',  ' '};
    bytes.reserve(start + count * item.size() + 8);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t next = i + 1 < count ? start + (i + 1) * item.size() : 0;
        for (std::size_t k = 0; k < 4; ++k)
            item[16 + k] = static_cast<std::uint8_t>(next >> (8 * k));
        bytes.insert(bytes.end(), item.begin(), item.end());
    }
    const std::array<std::uint8_t, 8> end = {0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0};
    bytes.insert(bytes.end(), end.begin(), end.end());
    const DicomDirectory d = Read(bytes);
    EXPECT_TRUE(d.stop.Is(DirectoryFailure::TooManyRecords)) << d.stop;
    EXPECT_EQ(d.records.size(), kMaxDirectoryRecords);
    EXPECT_EQ(d.records.back().type, "IMAGE");
}

TEST(DicomDirectory, ARecordWithoutItsEndIsUnreadable) {
    std::vector<DirRecordSpec> records(1, {"PATIENT", -1, "", {}});
    std::vector<std::uint8_t> bytes = DicomDirBytes(records);
    const std::uint32_t first = DicomDirRecordOffset(records, 0);
    // Make the item's delimiter disappear: every record then runs on to the end.
    for (std::size_t i = first; i + 8 <= bytes.size(); ++i) {
        if (bytes[i] == 0xFE && bytes[i + 1] == 0xFF && bytes[i + 2] == 0x0D && bytes[i + 3] == 0xE0) {
            bytes[i + 2] = 0x00;
            bytes[i + 3] = 0x01;  // (FFFE,0100): some other element of length 0
        }
    }
    const DicomDirectory d = Read(bytes);
    EXPECT_TRUE(d.stop.Is(DirectoryFailure::RecordUnreadable)) << d.stop;
}

TEST(DicomDirectory, FileIdsThatLeaveTheFolderAreRefused) {
    for (const char* id : {"\\ETC\\PASSWD", "..\\..\\ETC", "A\\..\\..\\B", "A\\\\B", "/etc/passwd", "A/../../B",
                           "C:\\WINDOWS", ".\\A"}) {
        std::vector<DirRecordSpec> records = {{"IMAGE", -1, id, {}}};
        const DicomDirectory d = Read(DicomDirBytes(records));
        ASSERT_EQ(d.records.size(), 1u) << id;
        EXPECT_TRUE(d.records[0].fileId.empty()) << id;
        EXPECT_TRUE(d.records[0].fileIdProblem.Is(DirectoryFailure::FileIdRefused)) << id;
    }
    // Trailing blanks pad a CS value; they are not part of the name.
    const DicomDirectory d = Read(DicomDirBytes({{"IMAGE", -1, "DIR\\IM0001 ", {}}}));
    EXPECT_EQ(d.records[0].fileId, (std::vector<std::string>{"DIR", "IM0001"}));

    // A record holding the ID twice keeps the last one whole: a refused ID followed by
    // a sound one, a sound one followed by a refused one, and two sound ones.
    const DicomDirectory refusedThenSound = Read(DicomDirBytes({{"IMAGE", -1, "..\\ETC", {{0x00041500, "IM1"}}}}));
    EXPECT_EQ(refusedThenSound.records[0].fileId, (std::vector<std::string>{"IM1"}));
    EXPECT_FALSE(refusedThenSound.records[0].fileIdProblem);
    const DicomDirectory soundThenRefused = Read(DicomDirBytes({{"IMAGE", -1, "IM1", {{0x00041500, "..\\ETC"}}}}));
    EXPECT_TRUE(soundThenRefused.records[0].fileId.empty());
    EXPECT_TRUE(soundThenRefused.records[0].fileIdProblem.Is(DirectoryFailure::FileIdRefused));
    const DicomDirectory twoSound = Read(DicomDirBytes({{"IMAGE", -1, "A\\IM1", {{0x00041500, "B\\IM2"}}}}));
    EXPECT_EQ(twoSound.records[0].fileId, (std::vector<std::string>{"B", "IM2"}));
}

TEST(DicomDirectory, NotADirectory) {
    EXPECT_TRUE(Read({}).stop.Is(DirectoryFailure::NotADirectory));
    EXPECT_TRUE(Read(std::vector<std::uint8_t>(300, 0x41)).stop.Is(DirectoryFailure::NotADirectory));
    EXPECT_TRUE(IsDicomDirName("dicomdir"));
    EXPECT_TRUE(IsDicomDirName("DicomDir"));
    EXPECT_FALSE(IsDicomDirName("DICOMDIR.BAK"));
}

TEST(DicomDirectory, PydicomsVariantsGiveTheSameTree) {
    if (!std::filesystem::exists(kPydicomDirs / "DICOMDIR")) {
        GTEST_SKIP() << "pydicom's test files are not installed";
    }
    const DicomDirectory plain = ReadFile(kPydicomDirs / "DICOMDIR");
    EXPECT_FALSE(plain.stop) << plain.stop;
    ASSERT_EQ(plain.records.size(), 52u);  // 2 patients, 6 studies, 13 series, 31 images
    EXPECT_EQ(plain.records[3].fileId, (std::vector<std::string>{"77654033", "CR1", "6154"}));
    for (const char* variant : {"DICOMDIR-implicit", "DICOMDIR-bigEnd", "DICOMDIR-reordered", "DICOMDIR-nooffset"}) {
        const DicomDirectory d = ReadFile(kPydicomDirs / variant);
        EXPECT_FALSE(d.stop) << variant << ": " << d.stop;
        EXPECT_EQ(Types(d), Types(plain)) << variant;
    }
    EXPECT_TRUE(ReadFile(kPydicomDirs / "DICOMDIR-empty.dcm").records.empty());
}

}  // namespace
