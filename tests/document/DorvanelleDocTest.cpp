#include "document/DorvanelleDoc.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/PcxFile.h"
#include "tests/document/TestPictures.h"
#include "tests/support/TempFiles.h"

namespace {

namespace tp = test_pictures;

class RecordingUi : public IDocumentUi {
public:
    void UpdateControlPanel(const CDorvanelleDoc&) override { ++panelUpdates; }
    void ClearControlPanel() override { ++panelClears; }
    void ShowNotice(const std::string& text) override { notices.push_back(text); }
    void ReportProblem(const std::string& text) override { problems.push_back(text); }

    int panelUpdates = 0;
    int panelClears = 0;
    std::vector<std::string> notices;
    std::vector<std::string> problems;
};

// The grey level of picture pixel (x, y) of an 8-bit block.
int Pixel(const PackedDib* dib, int x, int y) {
    std::uint64_t stride = DibRowStride(dib);
    return DibBits(dib)[(DibHeight(dib) - 1 - y) * stride + static_cast<std::uint64_t>(x)];
}

class DocTest : public ::testing::Test {
protected:
    bool Open(const std::string& path) { return doc.OnOpenDocument(path); }

    TempFolder folder;
    RecordingUi ui;
    CDorvanelleDoc doc{ui};
};

TEST(DocumentExtension, TakesTheLastDotOfTheLastComponent) {
    EXPECT_EQ(CDorvanelleDoc::PathExtension("/img/a.bmp"), ".bmp");
    EXPECT_EQ(CDorvanelleDoc::PathExtension("/img/a.b.pcx"), ".pcx");
    EXPECT_EQ(CDorvanelleDoc::PathExtension("/img.bmp/a"), "");
    EXPECT_EQ(CDorvanelleDoc::PathExtension("/img/.bmp"), ".bmp");
    EXPECT_EQ(CDorvanelleDoc::PathExtension("a."), ".");
    EXPECT_EQ(CDorvanelleDoc::KindOfPath("/img/a.bmp"), DocumentKind::Bitmap);
    EXPECT_EQ(CDorvanelleDoc::KindOfPath("/img/.bmp"), DocumentKind::Bitmap);
    EXPECT_EQ(CDorvanelleDoc::KindOfPath("x.pcx"), DocumentKind::Pcx);
    // Files from other systems often carry their extension in capitals.
    EXPECT_EQ(CDorvanelleDoc::KindOfPath("/img/PHOTO.BMP"), DocumentKind::Bitmap);
    EXPECT_EQ(CDorvanelleDoc::KindOfPath("SCAN.Pcx"), DocumentKind::Pcx);
    for (const char* path : {"/IMG.BMP/a", "a.bmp.gz", "a.bmp ", "a.dcm", "a.DCM", "a", "a.bmpx"}) {
        EXPECT_EQ(CDorvanelleDoc::KindOfPath(path), DocumentKind::Dicom) << path;
    }
}

TEST_F(DocTest, EightBitBitmapOpensWithoutNoticeAndTitlesItsDepth) {
    std::string path = folder.Put("a.bmp", BmpFile(8, 3, 8));
    ASSERT_TRUE(Open(path));
    ASSERT_NE(doc.m_pDib, nullptr);
    EXPECT_EQ(doc.Kind(), DocumentKind::Bitmap);
    EXPECT_EQ(DibBitCount(doc.m_pDib.get()), 8);
    EXPECT_EQ(Pixel(doc.m_pDib.get(), 3, 2), 23);
    EXPECT_TRUE(ui.notices.empty());
    EXPECT_TRUE(ui.problems.empty());
    EXPECT_TRUE(doc.m_bFitFrame);
    EXPECT_EQ(ui.panelUpdates, 1);
    EXPECT_TRUE(doc.m_strDicomPath.empty());
    EXPECT_EQ(doc.MakeTitle("a.bmp"), "a.bmp ==>8 bpp");
    EXPECT_FALSE(doc.CanSlide());
}

TEST_F(DocTest, TwentyFourBitBitmapIsAnnouncedOnceThenGrey) {
    ASSERT_TRUE(Open(folder.Put("colour.bmp", BmpFile(5, 2, 24, 0, 0, 255))));
    ASSERT_EQ(ui.notices.size(), 1u);
    EXPECT_EQ(ui.notices[0], "The Image Will be Converted to 8 bpp !!");
    ASSERT_NE(doc.m_pDib, nullptr);
    EXPECT_EQ(DibBitCount(doc.m_pDib.get()), 8);
    EXPECT_EQ(DibWidth(doc.m_pDib.get()), 8);
    EXPECT_EQ(Pixel(doc.m_pDib.get(), 0, 0), 73);  // pure red
    EXPECT_EQ(doc.MakeTitle("colour.bmp"), "colour.bmp ==>8 bpp");
}

TEST_F(DocTest, UpperCaseExtensionOpensAsABitmap) {
    ASSERT_TRUE(Open(folder.Put("COLOUR.BMP", BmpFile(4, 2, 24))));
    EXPECT_EQ(doc.Kind(), DocumentKind::Bitmap);
    ASSERT_NE(doc.m_pDib, nullptr);
    EXPECT_EQ(ui.notices.size(), 1u);
    EXPECT_TRUE(ui.problems.empty());
    EXPECT_EQ(doc.MakeTitle("COLOUR.BMP"), "COLOUR.BMP ==>8 bpp");
    EXPECT_TRUE(doc.m_strDicomPath.empty());
}

TEST_F(DocTest, BrokenBitmapOrPcxKeepsTheReadersReasonAndSaysIt) {
    std::vector<std::uint8_t> bytes = BmpFile(8, 8, 8);
    bytes.resize(60);
    ASSERT_TRUE(Open(folder.Put("short.bmp", bytes)));
    EXPECT_EQ(doc.m_pDib, nullptr);
    EXPECT_TRUE(doc.NoImageReason().Is(BmpFailure::ColourTableCutShort)) << doc.NoImageReason();
    ASSERT_EQ(ui.problems.size(), 1u);
    EXPECT_NE(ui.problems[0].find("short.bmp"), std::string::npos);
    EXPECT_NE(ui.problems[0].find(doc.NoImageReason().Text()), std::string::npos);

    RecordingUi pcxUi;
    CDorvanelleDoc pcx(pcxUi);
    ASSERT_TRUE(pcx.OnOpenDocument(folder.Put("tiny.pcx", std::vector<std::uint8_t>(20, 0))));
    EXPECT_TRUE(pcx.NoImageReason().Is(PcxFailure::FileTooShort)) << pcx.NoImageReason();
    EXPECT_EQ(pcxUi.problems.size(), 1u);

    RecordingUi goodUi;
    CDorvanelleDoc good(goodUi);
    ASSERT_TRUE(good.OnOpenDocument(folder.Put("good.bmp", BmpFile(4, 2, 8))));
    EXPECT_FALSE(good.NoImageReason());
}

// A picture of no rows (or no columns) is no image: its window says why, and its
// title has no depth.
TEST_F(DocTest, APictureWithoutPixelsIsNoImageAndSaysWhy) {
    for (const auto& [name, bytes] : {std::pair<const char*, Bytes>{"flat.bmp", BmpFile(16, 0, 8)},
                                      std::pair<const char*, Bytes>{"flat24.bmp", BmpFile(16, 0, 24)}}) {
        SCOPED_TRACE(name);
        RecordingUi pictureUi;
        CDorvanelleDoc picture(pictureUi);
        ASSERT_TRUE(picture.OnOpenDocument(folder.Put(name, bytes)));
        EXPECT_EQ(picture.m_pDib, nullptr);
        EXPECT_TRUE(picture.NoImageReason().Is(DocumentNoImage::NoPixels)) << picture.NoImageReason();
        EXPECT_EQ(picture.NoImageReason().Text(), "the picture has no pixels (16 x 0)");
        EXPECT_EQ(picture.MakeTitle(name), name);
        ASSERT_EQ(pictureUi.problems.size(), 1u);
        EXPECT_NE(pictureUi.problems[0].find("no pixels"), std::string::npos);
        EXPECT_TRUE(pictureUi.notices.empty());
    }
}

TEST_F(DocTest, EmptyOrUnreadableBitmapOpensWithoutImageOrFrameFit) {
    ASSERT_TRUE(Open(folder.Put("empty.bmp", "")));
    EXPECT_EQ(doc.m_pDib, nullptr);
    EXPECT_FALSE(doc.m_bFitFrame);
    EXPECT_TRUE(ui.notices.empty());
    EXPECT_EQ(doc.MakeTitle("empty.bmp"), "empty.bmp");

    RecordingUi otherUi;
    CDorvanelleDoc truncated(otherUi);
    std::vector<std::uint8_t> bytes = BmpFile(8, 8, 8);
    bytes.resize(60);
    ASSERT_TRUE(truncated.OnOpenDocument(folder.Put("short.bmp", bytes)));
    EXPECT_EQ(truncated.m_pDib, nullptr);
    EXPECT_TRUE(truncated.m_bFitFrame);
}

TEST_F(DocTest, MissingFileOrFolderCannotBeOpened) {
    EXPECT_FALSE(Open(folder.File("missing.dcm")));
    EXPECT_TRUE(doc.OpenError().Is(DocumentOpenFailure::NotFound)) << doc.OpenError();
    EXPECT_NE(doc.OpenError().Text().find("was not found"), std::string::npos);
    EXPECT_FALSE(Open(folder.Path().string()));
    EXPECT_TRUE(doc.OpenError().Is(DocumentOpenFailure::IsFolder)) << doc.OpenError();
    EXPECT_EQ(ui.panelUpdates, 0);
}

TEST_F(DocTest, PcxOpensAsGreyPicture) {
    ASSERT_TRUE(Open(folder.Put("p.pcx", PcxFilled(6, 3, 77))));
    ASSERT_NE(doc.m_pDib, nullptr);
    EXPECT_EQ(doc.Kind(), DocumentKind::Pcx);
    EXPECT_EQ(DibWidth(doc.m_pDib.get()), 8);
    EXPECT_EQ(DibHeight(doc.m_pDib.get()), 3);
    EXPECT_EQ(Pixel(doc.m_pDib.get(), 5, 1), 77);
    EXPECT_TRUE(ui.notices.empty());
}

TEST_F(DocTest, DicomOpensFrameZeroAndKeepsItsPath) {
    std::string path = folder.Put("ct", tp::Dicom16(4, 4, 3).Bytes());
    ASSERT_TRUE(Open(path));
    ASSERT_NE(doc.m_pDib, nullptr);
    EXPECT_EQ(DibBitCount(doc.m_pDib.get()), 8);
    EXPECT_EQ(doc.m_strDicomPath, path);
    EXPECT_EQ(doc.m_nFrame, 0);
    EXPECT_EQ(doc.m_dicom.m_nFrames, 3);
    EXPECT_EQ(doc.MakeTitle("ct"), "ct ==>8 bpp");
    EXPECT_TRUE(ui.problems.empty());
}

TEST_F(DocTest, ColourDicomStaysColourWithoutNotice) {
    ASSERT_TRUE(Open(folder.Put("rgb.dcm", tp::DicomRgb(4, 4).Bytes())));
    ASSERT_NE(doc.m_pDib, nullptr);
    EXPECT_EQ(DibBitCount(doc.m_pDib.get()), 24);
    EXPECT_TRUE(ui.notices.empty());
    EXPECT_EQ(doc.MakeTitle("rgb.dcm"), "rgb.dcm ==>24 bpp");
}

TEST_F(DocTest, DicomWithoutPixelDataSaysWhy) {
    ASSERT_TRUE(Open(folder.Put("nopixels.dcm", tp::DicomWithoutPixels().Bytes())));
    EXPECT_EQ(doc.m_pDib, nullptr);
    ASSERT_EQ(ui.problems.size(), 1u);
    EXPECT_NE(ui.problems[0].find("nopixels.dcm"), std::string::npos);
    EXPECT_EQ(ui.panelUpdates, 1);
}

TEST_F(DocTest, SlideCommandsStepWithinTheFrames) {
    ASSERT_TRUE(Open(folder.Put("cine.dcm", tp::Dicom8(4, 4, 3).Bytes())));
    EXPECT_TRUE(doc.CanSlide());
    doc.OnPrevSlide();
    EXPECT_EQ(doc.m_nFrame, 0);
    EXPECT_EQ(Pixel(doc.m_pDib.get(), 0, 0), 5);
    doc.OnNextSlide();
    EXPECT_EQ(doc.m_nFrame, 1);
    EXPECT_EQ(Pixel(doc.m_pDib.get(), 0, 0), 15);
    doc.OnLastSlide();
    EXPECT_EQ(doc.m_nFrame, 2);
    EXPECT_EQ(Pixel(doc.m_pDib.get(), 3, 3), 25);
    doc.OnNextSlide();
    EXPECT_EQ(doc.m_nFrame, 2);
    doc.OnPrevSlide();
    EXPECT_EQ(doc.m_nFrame, 1);
    doc.OnFirstSlide();
    EXPECT_EQ(doc.m_nFrame, 0);
    EXPECT_EQ(Pixel(doc.m_pDib.get(), 0, 0), 5);
    EXPECT_TRUE(ui.problems.empty());

    RecordingUi singleUi;
    CDorvanelleDoc single(singleUi);
    ASSERT_TRUE(single.OnOpenDocument(folder.Put("one.dcm", tp::Dicom8(4, 4, 1).Bytes())));
    EXPECT_FALSE(single.CanSlide());
}

TEST_F(DocTest, FrameOutsideTheDataGivesNoImageAndSaysWhy) {
    ASSERT_TRUE(Open(folder.Put("cine.dcm", tp::Dicom8(4, 4, 2).Bytes())));
    doc.ReplaceImageByFrame(7);
    EXPECT_EQ(doc.m_nFrame, 7);
    EXPECT_EQ(doc.m_pDib, nullptr);
    EXPECT_EQ(ui.problems.size(), 1u);
    EXPECT_TRUE(doc.NoImageReason().Is(DicomNoImage::FrameOutside)) << doc.NoImageReason();
    // The title was set when the file opened, from frame 0, and stays.
    EXPECT_EQ(doc.MakeTitle("cine.dcm"), "cine.dcm ==>8 bpp");
    doc.OnFirstSlide();
    EXPECT_FALSE(doc.NoImageReason());
}

TEST_F(DocTest, OpenedStraightAtAFrameWithoutAnImageTheTitleStillComesFromFrameZero) {
    doc.m_nFrame = 3;
    ASSERT_TRUE(Open(folder.Put("cine.dcm", tp::Dicom8(4, 4, 3).Bytes())));
    EXPECT_EQ(doc.m_pDib, nullptr);
    EXPECT_EQ(doc.MakeTitle("cine.dcm"), "cine.dcm ==>8 bpp");

    RecordingUi colourUi;
    CDorvanelleDoc colour(colourUi);
    colour.m_nFrame = 1;
    ASSERT_TRUE(colour.OnOpenDocument(folder.Put("rgb.dcm", tp::DicomRgb(4, 4).Bytes())));
    EXPECT_EQ(colour.MakeTitle("rgb.dcm"), "rgb.dcm ==>24 bpp");

    RecordingUi noneUi;
    CDorvanelleDoc none(noneUi);
    ASSERT_TRUE(none.OnOpenDocument(folder.Put("nopixels.dcm", tp::DicomWithoutPixels().Bytes())));
    EXPECT_EQ(none.MakeTitle("nopixels.dcm"), "nopixels.dcm");
}

TEST_F(DocTest, WindowChangeKeepsTheFrameAndCropsTheSelectionAgain) {
    ASSERT_TRUE(Open(folder.Put("ct.dcm", tp::Dicom16(8, 8, 3).Bytes())));
    doc.OnLastSlide();
    int before = Pixel(doc.m_pDib.get(), 0, 0);
    doc.ApplyWindowWidth(2000, DibRect{1, 1, 5, 3});
    EXPECT_EQ(doc.m_dicom.m_nWindowWidth, 2000);
    EXPECT_EQ(doc.m_nFrame, 2);
    ASSERT_NE(doc.m_pDib, nullptr);
    EXPECT_NE(Pixel(doc.m_pDib.get(), 0, 0), before);
    PackedDibPtr fresh = doc.m_dicom.MakeFrameDib(2);
    EXPECT_EQ(Pixel(doc.m_pDib.get(), 0, 0), Pixel(fresh.get(), 0, 0));
    ASSERT_NE(doc.m_pSelectedDib, nullptr);
    EXPECT_EQ(DibWidth(doc.m_pSelectedDib.get()), 4);
    EXPECT_EQ(DibHeight(doc.m_pSelectedDib.get()), 2);
    EXPECT_EQ(Pixel(doc.m_pSelectedDib.get(), 0, 0), Pixel(doc.m_pDib.get(), 0, 0));

    // Slider values are stored truncated to 16 bits.
    doc.ApplyWindowCenter(70000, DibRect{});
    EXPECT_EQ(doc.m_dicom.m_nWindowCenter, 70000 - 65536);
    doc.ApplyWindowWidth(40000, DibRect{});
    EXPECT_EQ(doc.m_dicom.m_nWindowWidth, 40000 - 65536);
}

TEST_F(DocTest, WindowChangeOnBitmapKeepsThePicture) {
    ASSERT_TRUE(Open(folder.Put("a.bmp", BmpFile(8, 4, 8))));
    doc.ApplyWindowCenter(-300, DibRect{2, 1, 6, 3});
    EXPECT_EQ(doc.m_dicom.m_nWindowCenter, -300);
    ASSERT_NE(doc.m_pDib, nullptr);
    ASSERT_NE(doc.m_pSelectedDib, nullptr);
    EXPECT_EQ(Pixel(doc.m_pSelectedDib.get(), 0, 0), 12);
}

TEST_F(DocTest, WindowChangeWithoutAnImageCropsNothing) {
    ASSERT_TRUE(Open(folder.Put("nopixels.dcm", tp::DicomWithoutPixels().Bytes())));
    doc.ApplyWindowWidth(100, DibRect{0, 0, 2, 2});
    EXPECT_EQ(doc.m_pDib, nullptr);
    EXPECT_EQ(doc.m_pSelectedDib, nullptr);
}

TEST_F(DocTest, SelectionIsNormalisedAndClippedToTheImage) {
    ASSERT_TRUE(Open(folder.Put("a.bmp", BmpFile(8, 6, 8))));
    doc.CropSelection(DibRect{6, 5, -7, -2});  // dragged up and left, past the corner
    ASSERT_NE(doc.m_pSelectedDib, nullptr);
    EXPECT_EQ(DibWidth(doc.m_pSelectedDib.get()), 8);
    EXPECT_EQ(DibHeight(doc.m_pSelectedDib.get()), 5);
    EXPECT_EQ(Pixel(doc.m_pSelectedDib.get(), 0, 0), 0);

    doc.CropSelection(DibRect{20, 20, 40, 50});  // wholly outside: empty, on the edge
    ASSERT_NE(doc.m_pSelectedDib, nullptr);
    EXPECT_EQ(DibHeight(doc.m_pSelectedDib.get()), 0);
}

TEST_F(DocTest, ColourImageIsCroppedToItsExactWidthWithItsColours) {
    ASSERT_TRUE(Open(folder.Put("rgb.dcm", tp::DicomRgb(4, 5).Bytes())));
    doc.CropSelection(DibRect{1, 1, 4, 3});
    ASSERT_NE(doc.m_pSelectedDib, nullptr);
    EXPECT_EQ(DibBitCount(doc.m_pSelectedDib.get()), 24);
    EXPECT_EQ(DibWidth(doc.m_pSelectedDib.get()), 3);
    EXPECT_EQ(DibHeight(doc.m_pSelectedDib.get()), 2);
    const std::uint8_t* bgr = DibBits(doc.m_pSelectedDib.get()) + 3 * 2;
    EXPECT_EQ(bgr[0], 50);
    EXPECT_EQ(bgr[1], 100);
    EXPECT_EQ(bgr[2], 200);
}

class SaveTest : public DocTest {
protected:
    void SetUp() override { ASSERT_TRUE(Open(folder.Put("a.bmp", BmpFile(8, 4, 8)))); }
    bool StartsWith(const std::string& path, std::vector<std::uint8_t> head) {
        std::vector<std::uint8_t> bytes = ReadFileBytes(path);
        return bytes.size() >= head.size() && std::equal(head.begin(), head.end(), bytes.begin());
    }
};

TEST_F(SaveTest, OnlyTheExtensionDcmInAnyCaseWritesDicom) {
    for (const char* name : {"out.dcm", "OUT.DCM", "out.Dcm"}) {
        EXPECT_TRUE(doc.SaveDibAs(doc.m_pDib.get(), folder.File(name))) << name;
        EXPECT_TRUE(StartsWith(folder.File(name), {0x28, 0x00, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00}))
            << name;
    }
    for (const char* name : {"out.dcmx", "out.bmp", "out", "out.jpg", "x.dcm.bak"}) {
        EXPECT_TRUE(doc.SaveDibAs(doc.m_pDib.get(), folder.File(name))) << name;
        EXPECT_TRUE(StartsWith(folder.File(name), {'B', 'M'})) << name;
    }
    std::filesystem::create_directory(folder.File("dir.dcm"));
    EXPECT_TRUE(doc.SaveDibAs(doc.m_pDib.get(), folder.File("dir.dcm/plain")));
    EXPECT_TRUE(StartsWith(folder.File("dir.dcm/plain"), {'B', 'M'}));
    EXPECT_TRUE(ui.problems.empty());
}

TEST_F(SaveTest, SaveDocumentAnswersFalseEvenWhenWrittenSoTheDocumentKeepsItsName) {
    EXPECT_FALSE(doc.OnSaveDocument(folder.File("saved.bmp")));
    EXPECT_TRUE(std::filesystem::exists(folder.File("saved.bmp")));
    EXPECT_TRUE(ui.problems.empty());
}

TEST_F(SaveTest, CancelledDialogWritesAndSaysNothing) {
    EXPECT_FALSE(doc.OnSaveDocument(""));
    EXPECT_FALSE(doc.OnSaveSelectedImage(""));
    EXPECT_TRUE(ui.problems.empty());
}

TEST_F(SaveTest, SaveSelectedBeforeAnySelectionIsReportedAndCreatesNothing) {
    for (const char* name : {"sel.dcm", "sel.bmp"}) {
        EXPECT_FALSE(doc.OnSaveSelectedImage(folder.File(name)));
        EXPECT_FALSE(std::filesystem::exists(folder.File(name)));
    }
    EXPECT_EQ(ui.problems.size(), 2u);

    doc.CropSelection(DibRect{0, 0, 4, 2});
    EXPECT_TRUE(doc.OnSaveSelectedImage(folder.File("sel.bmp")));
    EXPECT_TRUE(std::filesystem::exists(folder.File("sel.bmp")));
}

TEST_F(SaveTest, WriteThatFailsIsReportedAndKeepsTheOldFile) {
    std::string target = folder.File("keep.bmp");
    WriteFileBytes(target, "old");
    std::filesystem::permissions(folder.Path(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    bool saved = doc.SaveDibAs(doc.m_pDib.get(), target);
    std::filesystem::permissions(folder.Path(), std::filesystem::perms::owner_all);
    if (saved) GTEST_SKIP() << "running with rights that ignore folder permissions";
    EXPECT_EQ(ui.problems.size(), 1u);
    EXPECT_EQ(ReadFileBytes(target), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

TEST_F(SaveTest, NothingToWriteOrAFolderAsTargetIsReported) {
    EXPECT_FALSE(doc.SaveDibAs(doc.m_pDib.get(), folder.Path().string()));  // a folder
    EXPECT_FALSE(doc.SaveDibAs(nullptr, folder.File("none.bmp")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("none.bmp")));
    EXPECT_FALSE(doc.SaveDibAs(nullptr, folder.File("none.dcm")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("none.dcm")));
    EXPECT_EQ(ui.problems.size(), 3u);
}

TEST_F(SaveTest, SaveOntoAPipeLeavesThePipeInPlace) {
    std::string pipe = folder.File("pipe.bmp");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(doc.SaveDibAs(doc.m_pDib.get(), pipe));
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));
    EXPECT_EQ(ui.problems.size(), 1u);
}

TEST_F(SaveTest, CloseReleasesBothImagesAndClearsThePanel) {
    doc.CropSelection(DibRect{0, 0, 4, 2});
    doc.OnCloseDocument();
    EXPECT_EQ(doc.m_pDib, nullptr);
    EXPECT_EQ(doc.m_pSelectedDib, nullptr);
    EXPECT_EQ(ui.panelClears, 1);
}

}  // namespace
