// Loading files from disk, and the generated phantom study read back whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

#include "tests/dicom/DicomTestHelpers.h"
#include "tests/support/TempFiles.h"
#include "tools/generator/PhantomStudy.h"

namespace {

TEST(DicomLoad, FilesThatCannotBeReadLeaveTheReaderAsItWas) {
    TempFolder folder;
    CDicomFile reader;
    EXPECT_EQ(reader.LoadFile(folder.File("missing.dcm")), -1);
    EXPECT_EQ(reader.LoadFile(folder.Path().string()), -1);  // a folder
    EXPECT_EQ(reader.LoadFailure().ErrorNumber(), EISDIR);
    EXPECT_EQ(reader.Size(), 0u);

    const std::string empty = folder.File("empty.dcm");
    ASSERT_TRUE(DicomStreamBuilder().WriteTo(empty));
    EXPECT_EQ(reader.LoadFile(empty), 0);
    EXPECT_EQ(reader.Size(), 0u);
    EXPECT_EQ(reader.DetectLayout(), 2);
}

TEST(DicomLoad, LoadingAnotherFileKeepsTheFramesHandedOutReadable) {
    TempFolder folder;
    DicomStreamBuilder first;
    first.ImageAttributes(1, 4, 8).PixelData8({1, 2, 3, 4});
    DicomStreamBuilder second;
    second.ExplicitUS(0x0028, 0x0010, 9);
    ASSERT_TRUE(first.WriteTo(folder.File("a.dcm")));
    ASSERT_TRUE(second.WriteTo(folder.File("b.dcm")));

    CDicomFile reader;
    ASSERT_EQ(reader.LoadFile(folder.File("a.dcm")), 0);
    reader.ParseElements(reader.DetectLayout());
    const auto frames = reader.Frames();
    reader.Reset();
    ASSERT_EQ(reader.LoadFile(folder.File("b.dcm")), 0);
    reader.ParseElements(reader.DetectLayout());
    EXPECT_EQ(reader.Attributes()->rows, 9);
    auto frame = frames->Frame(0);
    ASSERT_TRUE(frame);
    EXPECT_EQ((*frame)->Raw(3), 4u);
}

TEST(DicomLoad, GeneratedPhantomReadsBackAsWritten) {
    TempFolder folder;
    PhantomOptions options;
    options.rows = 24;
    options.columns = 30;
    options.frames = 5;
    options.extraElements = 40;
    const std::string path = folder.File("Images/phantom.dcm");
    ASSERT_EQ(WriteCtPhantom(path, options), "");

    CDicomFile reader;
    reader.Reset();
    ASSERT_EQ(reader.LoadFile(path), 0);
    ASSERT_EQ(reader.DetectLayout(), 2);
    reader.ParseElements(2);
    const ImageAttributes& a = *reader.Attributes();
    EXPECT_EQ(a.rows, 24);
    EXPECT_EQ(a.columns, 30);
    EXPECT_EQ(a.frames, 5);
    EXPECT_EQ(a.bitsAllocated, 16);
    ASSERT_EQ(a.shared.windows.size(), 1u);
    EXPECT_EQ(a.shared.windows[0].width, 400);
    EXPECT_EQ(a.shared.windows[0].centre, 40);
    EXPECT_EQ(a.shared.modality.intercept, -1024);
    EXPECT_EQ(a.pixelData.length, 24u * 30u * 5u * 2u);

    PackedDibPtr dib = Rendered(reader, 4);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(DibWidth(dib.get()), 32);
    // Air is black and bone white through the soft-tissue window.
    const std::uint8_t* bits = DibBits(dib.get());
    EXPECT_EQ(bits[0], 0);
    EXPECT_EQ(PhantomSample(options, 4, 0, 0), -1000 + 1024);
    EXPECT_EQ(RangeOf(reader), (ValueRange{-1000, 950}));

    int listed = 0;
    CDicomFile listing;
    ASSERT_EQ(listing.LoadFile(path), 0);
    listing.ListElements(listing.DetectLayout(), [&listed](const CDicomFile&) { ++listed; });
    EXPECT_EQ(listed, 7 + 25 + 1 + 40 + 1);  // meta group, attributes, creator, extras, pixel data
}

// dcmdump (DCMTK) as a peer: the generated study is a valid file of the standard.
TEST(DicomLoad, GeneratedPhantomIsReadByDcmtk) {
    if (std::system("dcmdump --version > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "dcmdump is not installed";
    }
    TempFolder folder;
    PhantomOptions options;
    options.rows = 8;
    options.columns = 12;
    options.frames = 3;
    const std::string path = folder.File("phantom.dcm");
    ASSERT_EQ(WriteCtPhantom(path, options), "");
    const std::string dump = folder.File("dump.txt");
    ASSERT_EQ(std::system(("dcmdump -E -q '" + path + "' > '" + dump + "' 2>&1").c_str()), 0);
    std::FILE* file = std::fopen(dump.c_str(), "r");
    ASSERT_NE(file, nullptr);
    std::string text;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        text.append(chunk, n);
    }
    std::fclose(file);
    EXPECT_NE(text.find("Little Endian Explicit"), std::string::npos) << text;
    EXPECT_NE(text.find("(0028,0010) US 8"), std::string::npos) << text;
    EXPECT_NE(text.find("(0028,0008) IS [3]"), std::string::npos) << text;
    EXPECT_NE(text.find("# 576, 1 PixelData"), std::string::npos) << text;
}

}  // namespace
