#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "dicom/DicomFile.h"
#include "image/BmpFile.h"
#include "tests/dicom/DicomTestHelpers.h"
#include "tests/document/TestPictures.h"
#include "tests/support/TempFiles.h"
#include "tests/tools/CliRunner.h"
#include "tools/generator/PhantomStudy.h"

namespace {

namespace tp = test_pictures;

// The number after `"key": ` in a JSON text, or a sentinel when it is missing.
long long Field(const std::string& json, const std::string& key) {
    std::size_t at = json.find("\"" + key + "\": ");
    if (at == std::string::npos) return -999999;
    return std::stoll(json.substr(at + key.size() + 4));
}

bool HasFile(const std::string& path) { return std::filesystem::exists(path); }

class CliTest : public ::testing::Test {
protected:
    TempFolder folder;
};

TEST_F(CliTest, UsageFaultsExitWithTwo) {
    std::string ct = folder.Put("ct.dcm", tp::Dicom16(4, 4, 2).Bytes());
    const std::vector<std::vector<std::string>> faults = {
        {},
        {"show", ct},
        {"info"},
        {"convert", ct},
        {"histogram", ct, "extra"},
        {"convert", ct, folder.File("o.bmp"), folder.File("third.bmp")},
        {"convert", "--out-dir"},
        {"convert", "--out-dir", folder.File("o")},
        {"convert", "--out-dir", folder.File("o"), "--format", "png", ct},
        {"convert", "--out-dir", folder.File("o"), "-j0", ct},
        {"convert", "--out-dir", folder.File("o"), "--all-frames", "--frame", "1", ct},
        {"convert", ct, folder.File("o.bmp"), "--all-frames"},
        {"info", ct, "--out-dir", folder.File("o")},
        {"info", ct, "--bogus"},
        {"info", ct, "--frame"},
        {"info", ct, "--frame", "two"},
        {"info", ct, "--select", "1,2,3"},
        {"info", ct, "--width", "wide"},
        {"info", ct, "--width", "-40"},
        {"info", ct, "--center", "nan"},
        {"dump", ct, "--frame", "1"},
        {"histogram", ct, "--json"},
    };
    for (const auto& args : faults) {
        CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 2) << (args.empty() ? "(none)" : args[0]) << " " << run.err;
        EXPECT_FALSE(run.err.empty());
        EXPECT_TRUE(run.out.empty());
    }
}

TEST_F(CliTest, HelpForTheToolAndEachSubcommand) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"info", "--help"}, {"convert", "--help"}, {"dump", "--help"}, {"histogram", "-h"}}) {
        CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find("usage: dorvanelle-cli"), std::string::npos) << args[0];
    }
    EXPECT_NE(RunCli({"dump", "--help"}).out.find("--json"), std::string::npos);
    EXPECT_NE(RunCli({"convert", "--help"}).out.find("--out-dir"), std::string::npos);
    CliRun version = RunCli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "dorvanelle-cli " DORVANELLE_VERSION "\n");
}

TEST_F(CliTest, InfoOfABitmap) {
    CliRun run = RunCli({"info", folder.Put("a.bmp", BmpFile(8, 3, 8))});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "{\n"
              "  \"kind\": \"bmp\",\n"
              "  \"title\": \"a.bmp ==>8 bpp\",\n"
              "  \"frame\": 0,\n"
              "  \"image\": {\n"
              "    \"width\": 8,\n"
              "    \"height\": 3,\n"
              "    \"bit_count\": 8\n"
              "  },\n"
              "  \"reason\": null,\n"
              "  \"dicom\": null\n"
              "}\n");
    EXPECT_TRUE(run.err.empty());
}

TEST_F(CliTest, TitleIsValidJsonWhateverTheFileNameBytes) {
    CliRun run = RunCli({"info", folder.Put("caf\xE9 \"x\".bmp", BmpFile(4, 1, 8))});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\"title\": \"caf\xC3\xA9 \\\"x\\\".bmp ==>8 bpp\""), std::string::npos) << run.out;
    EXPECT_TRUE(IsWellFormedJson(run.out));
}

// Byte sequences shaped like UTF-8 that a JSON reader refuses: a UTF-16
// surrogate, an overlong '/', a code point past U+10FFFF.
TEST_F(CliTest, FileNamesOfNearlyUtf8BytesStayValidJson) {
    const auto dicom = tp::Dicom16(4, 4, 1).Bytes();
    for (const char* name : {"x\xED\xA0\x80.dcm", "y\xE0\x80\xAF.dcm", "z\xF4\x90\x80\x80.dcm"}) {
        SCOPED_TRACE(name);
        const std::string path = folder.Put(name, dicom);
        for (const std::vector<std::string>& args : {std::vector<std::string>{"info", path},
                                                     {"dump", "--json", path, path},
                                                     {"index", "--instances", path}}) {
            CliRun run = RunCli(args);
            EXPECT_EQ(run.status, 0) << args[0];
            std::istringstream lines(run.out);
            const bool oneValue = args[0] == "info";
            if (oneValue) {
                EXPECT_TRUE(IsWellFormedJson(run.out)) << run.out;
                continue;
            }
            for (std::string line; std::getline(lines, line);) {
                EXPECT_TRUE(IsWellFormedJson(line)) << args[0] << ": " << line;
            }
        }
        std::filesystem::remove(path);
    }
}

TEST_F(CliTest, TwentyFourBitNoticeGoesToStderr) {
    CliRun run = RunCli({"info", folder.Put("c.bmp", BmpFile(4, 2, 24, 9, 9, 9))});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("The Image Will be Converted to 8 bpp !!"), std::string::npos);
    EXPECT_NE(run.out.find("\"title\": \"c.bmp ==>8 bpp\""), std::string::npos);
    EXPECT_TRUE(IsWellFormedJson(run.out));
}

TEST_F(CliTest, InfoOfAPcxPicture) {
    CliRun run = RunCli({"info", folder.Put("p.pcx", PcxFilled(6, 3, 1))});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\"kind\": \"pcx\""), std::string::npos);
    EXPECT_EQ(Field(run.out, "width"), 8);
    EXPECT_EQ(Field(run.out, "height"), 3);
}

TEST_F(CliTest, InfoOfADicomStudyAfterTheOptions) {
    std::string ct = folder.Put("ct", tp::Dicom16(6, 8, 3).Bytes());
    CliRun run = RunCli({"info", ct});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(IsWellFormedJson(run.out)) << run.out;
    EXPECT_NE(run.out.find("\"kind\": \"dicom\""), std::string::npos);
    EXPECT_NE(run.out.find("\"title\": \"ct ==>8 bpp\""), std::string::npos);
    EXPECT_NE(run.out.find("\"photometric\": \"MONOCHROME2 \""), std::string::npos);
    EXPECT_EQ(Field(run.out, "layout"), 2);
    EXPECT_EQ(Field(run.out, "rows"), 6);
    EXPECT_EQ(Field(run.out, "columns"), 8);
    EXPECT_EQ(Field(run.out, "frames"), 3);
    EXPECT_EQ(Field(run.out, "window_width"), 400);
    EXPECT_EQ(Field(run.out, "window_center"), 40);
    EXPECT_EQ(Field(run.out, "pixel_data_length"), 6 * 8 * 3 * 2);
    EXPECT_EQ(Field(run.out, "min_sample"), 0);
    EXPECT_EQ(Field(run.out, "max_sample"), 200);

    // Values that begin with "-", and options in any order: frame, width, centre, selection.
    run = RunCli({"info", ct, "--select", "-7,-2,40,50", "--center", "-300", "--width", "70000", "--frame", "2"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Field(run.out, "frame"), 2);
    EXPECT_EQ(Field(run.out, "window_width"), 70000);  // not a 16-bit number
    EXPECT_EQ(Field(run.out, "window_center"), -300);
    EXPECT_EQ(RunCli({"info", ct, "--center=-5"}).status, 0);
    // Windows in modality values need not be whole numbers.
    run = RunCli({"info", ct, "--width", "0.5", "--center", "-0.25"});
    EXPECT_NE(run.out.find("\"window_width\": 0.5,"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"window_center\": -0.25,"), std::string::npos) << run.out;
}

TEST_F(CliTest, FileThatGivesNoImageStillReportsAndExitsZero) {
    CliRun run = RunCli({"info", folder.Put("nopixels.dcm", tp::DicomWithoutPixels().Bytes())});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\"image\": null"), std::string::npos);
    EXPECT_NE(run.out.find("\"title\": \"nopixels.dcm\""), std::string::npos);
    EXPECT_NE(run.err.find("nopixels.dcm"), std::string::npos);
    // Why, as a code to test for and in words.
    EXPECT_NE(run.out.find("\"reason\": {\n    \"code\": \"no_pixel_data\",\n    \"text\": \"no pixel data\"\n  }"),
              std::string::npos)
        << run.out;

    // No image gives no histogram: 256 empty bins would pass for a picture without
    // pixels. Like convert, histogram exits with 1 and says why.
    run = RunCli({"histogram", folder.File("nopixels.dcm")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("nopixels.dcm shows no image: no pixel data"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("no histogram"), std::string::npos) << run.err;
    EXPECT_EQ(RunCli({"convert", folder.File("nopixels.dcm"), folder.File("out.bmp")}).status, 1);

    // The title comes from frame 0 when the file opens, whatever frame is asked for.
    run = RunCli({"info", folder.Put("cine.dcm", tp::Dicom8(4, 4, 2).Bytes()), "--frame", "5"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Field(run.out, "frame"), 5);
    EXPECT_NE(run.out.find("\"image\": null"), std::string::npos);
    EXPECT_NE(run.out.find("\"title\": \"cine.dcm ==>8 bpp\""), std::string::npos) << run.out;

    // A bitmap the reader refuses says why on standard error.
    std::vector<std::uint8_t> cut = BmpFile(8, 8, 8);
    cut.resize(60);
    run = RunCli({"info", folder.Put("cut.bmp", cut)});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\"image\": null"), std::string::npos);
    EXPECT_NE(run.err.find("cut.bmp"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("colour table"), std::string::npos) << run.err;
}

// The reason's code tells failures apart whichever part of the reader found them:
// a compressed item cut short, a deflated data set cut short and a bitmap too
// short to be one are three different names, none of them a bare number.
TEST_F(CliTest, NoImageCodesAreNamesThatTellFailuresApart) {
    DicomStreamBuilder cut;
    cut.Preamble().MetaGroup("1.2.840.10008.1.2.5").ImageAttributes(2, 2, 8);
    cut.ExplicitHeader(0x7FE0, 0x0010, "OB", 0xFFFFFFFFu).U16(0xFFFE).U16(0xE000).U32(0);
    cut.U16(0xFFFE).U16(0xE000).U32(1000).Raw(std::vector<std::uint8_t>(16, 0));
    DicomStreamBuilder deflated;
    deflated.Preamble().MetaGroup("1.2.840.10008.1.2.1.99").Raw(std::vector<std::uint8_t>{0x63, 0x60});
    const std::vector<std::pair<std::string, std::string>> files = {
        {folder.Put("cut.dcm", cut.Bytes()), "item_past_end"},
        {folder.Put("deflated.dcm", deflated.Bytes()), "deflated_truncated"},
        {folder.Put("short.bmp", std::string("BM")), "bmp_file_too_short"},
    };
    for (const auto& [path, code] : files) {
        CliRun run = RunCli({"info", path});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("\"code\": \"" + code + "\","), std::string::npos) << path << "\n" << run.out;
    }
}

TEST_F(CliTest, UnreadableInputExitsWithOne) {
    EXPECT_EQ(RunCli({"info", folder.File("missing.dcm")}).status, 1);
    EXPECT_EQ(RunCli({"dump", folder.File("missing.dcm")}).status, 1);
    EXPECT_EQ(RunCli({"histogram", folder.Path().string()}).status, 1);
    CliRun run = RunCli({"convert", folder.File("missing.bmp"), folder.File("out.bmp")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("missing.bmp"), std::string::npos);
    EXPECT_FALSE(HasFile(folder.File("out.bmp")));
}

TEST_F(CliTest, ConvertWritesBySaveRuleAndReadsBack) {
    std::string ct = folder.Put("ct.dcm", tp::Dicom16(8, 12, 3).Bytes());
    std::string dcm = folder.File("frame2.dcm");
    CliRun run = RunCli({"convert", ct, dcm, "--frame", "2", "--width", "1000"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFileText(dcm, 4), std::string("\x28\x00\x02\x00", 4));
    run = RunCli({"info", dcm});
    EXPECT_EQ(Field(run.out, "width"), 12);
    EXPECT_EQ(Field(run.out, "height"), 8);
    EXPECT_EQ(Field(run.out, "layout"), 3);

    for (const char* name : {"out.bmp", "out.dcm.bak", "out"}) {
        ASSERT_EQ(RunCli({"convert", ct, folder.File(name)}).status, 0) << name;
        EXPECT_EQ(ReadFileText(folder.File(name), 2), "BM") << name;
    }
    // Extensions in capitals mean what they mean in small letters.
    ASSERT_EQ(RunCli({"convert", ct, folder.File("OUT.DCM")}).status, 0);
    EXPECT_EQ(ReadFileText(folder.File("OUT.DCM"), 4), std::string("\x28\x00\x02\x00", 4));
    ASSERT_EQ(RunCli({"convert", folder.File("out.bmp"), folder.File("COPY.BMP")}).status, 0);
    EXPECT_EQ(Field(RunCli({"info", folder.File("COPY.BMP")}).out, "width"), 12);
    ASSERT_EQ(RunCli({"convert", ct, folder.File("sel.bmp"), "--select", "10,6,3,-4"}).status, 0);
    run = RunCli({"info", folder.File("sel.bmp")});
    EXPECT_EQ(Field(run.out, "width"), 8);   // columns 3..10, rounded up to 4
    EXPECT_EQ(Field(run.out, "height"), 6);  // rows 0..6
}

TEST_F(CliTest, ConvertOfAPhantomFrameMatchesTheReadersOwnConversion) {
    PhantomOptions phantom;
    phantom.rows = 32;
    phantom.columns = 40;
    phantom.frames = 5;
    std::string study = folder.File("phantom.dcm");
    ASSERT_EQ(WriteCtPhantom(study, phantom), "");
    ASSERT_EQ(RunCli({"convert", study, folder.File("cli.bmp"), "--frame", "4", "--center", "-600"}).status, 0);

    CDicomFile reader;
    ASSERT_EQ(reader.LoadFile(study), 0);
    reader.ParseElements(reader.DetectLayout());
    DisplayState state;
    state.window = DisplayWindow{reader.Attributes()->shared.windows.at(0).width, -600};
    PackedDibPtr expected = Rendered(reader, 4, state);
    ASSERT_NE(expected, nullptr);
    ASSERT_TRUE(WriteBmpFile(expected.get(), folder.File("reader.bmp")).written);
    EXPECT_EQ(ReadFileBytes(folder.File("cli.bmp")), ReadFileBytes(folder.File("reader.bmp")));
}

// A signed study that leaves out High Bit, or Bits Stored too, reads its samples as
// the same study that gives them: one below Bits Stored, itself Bits Allocated.
TEST_F(CliTest, ASignedStudyWithoutHighBitReadsAsTheStudyWithIt) {
    PhantomOptions phantom;
    phantom.rows = 24;
    phantom.columns = 30;
    phantom.frames = 2;
    phantom.writeWindow = false;  // the default window comes from the range
    const std::string study = folder.File("phantom.dcm");
    ASSERT_EQ(WriteCtPhantom(study, phantom), "");
    ASSERT_EQ(RunCli({"convert", study, folder.File("given.bmp"), "--frame", "1"}).status, 0);
    const std::string given = RunCli({"info", study}).out;
    const std::vector<std::uint8_t> highBit = {0x28, 0, 0x02, 0x01, 'U', 'S', 2, 0, 15, 0};
    const std::vector<std::uint8_t> bitsStored = {0x28, 0, 0x01, 0x01, 'U', 'S', 2, 0, 16, 0};
    std::vector<std::uint8_t> bytes = ReadFileBytes(study);
    for (const auto& element : {highBit, bitsStored}) {
        const auto at = std::search(bytes.begin(), bytes.end(), element.begin(), element.end());
        ASSERT_NE(at, bytes.end());
        bytes.erase(at, at + static_cast<std::ptrdiff_t>(element.size()));
        const std::string left = folder.Put("left.dcm", bytes);
        ASSERT_EQ(RunCli({"convert", left, folder.File("left.bmp"), "--frame", "1"}).status, 0);
        EXPECT_EQ(ReadFileBytes(folder.File("left.bmp")), ReadFileBytes(folder.File("given.bmp")));
        const std::string info = RunCli({"info", left}).out;
        for (const char* key : {"min_sample", "max_sample", "window_width", "window_center"}) {
            EXPECT_EQ(Field(info, key), Field(given, key)) << key;
        }
        EXPECT_EQ(Field(info, "high_bit"), 0);  // as the file says: not there
    }
}

TEST_F(CliTest, ConvertWithNothingToWriteCreatesNoFile) {
    // A colour selection is cropped like a grey one.
    std::string rgb = folder.Put("rgb.dcm", tp::DicomRgb(4, 4).Bytes());
    CliRun run = RunCli({"convert", rgb, folder.File("sel.dcm"), "--select", "0,0,2,2"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(HasFile(folder.File("sel.dcm")));
    EXPECT_EQ(RunCli({"convert", rgb, folder.File("rgb.bmp")}).status, 0);

    std::string empty = folder.Put("nopixels.dcm", tp::DicomWithoutPixels().Bytes());
    EXPECT_EQ(RunCli({"convert", empty, folder.File("none.bmp")}).status, 1);
    EXPECT_FALSE(HasFile(folder.File("none.bmp")));

    // A selection beside the image, or of no area, holds no pixel of it: nothing is
    // written, alone or in a batch, rather than a bitmap of 0 x 0 pixels.
    std::string ct = folder.Put("ct.dcm", tp::Dicom16(4, 4, 1).Bytes());
    for (const char* rect : {"50,50,60,60", "2,2,2,3", "-9,-9,-1,-1"}) {
        run = RunCli({"convert", ct, folder.File("outside.bmp"), "--select", rect});
        EXPECT_EQ(run.status, 1) << rect;
        EXPECT_FALSE(HasFile(folder.File("outside.bmp"))) << rect;
        EXPECT_NE(run.err.find("the selection holds no pixel of the image"), std::string::npos) << run.err;
    }
    run = RunCli({"convert", "--out-dir", folder.File("batch"), "--all-frames", "--select", "50,50,60,60", ct});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(HasFile(folder.File("batch/ct_0001.bmp")));
    EXPECT_NE(run.err.find("no image: 1 the selection holds no pixel of the image"), std::string::npos) << run.err;
    // A selection that reaches into the image writes the part it holds.
    EXPECT_EQ(RunCli({"convert", ct, folder.File("corner.bmp"), "--select", "-9,-9,1,1"}).status, 0);
    EXPECT_EQ(Field(RunCli({"info", folder.File("corner.bmp")}).out, "height"), 1);
}

TEST_F(CliTest, OutputThatCannotBeWrittenExitsWithThree) {
    std::string bmp = folder.Put("a.bmp", BmpFile(8, 3, 8));
    CliRun run = RunCli({"convert", bmp, folder.Path().string()});
    EXPECT_EQ(run.status, 3);
    EXPECT_FALSE(run.err.empty());
    // A folder named with its ending slash has no file name: the message names it whole.
    const std::string slashed = folder.Path().string() + "/";
    run = RunCli({"convert", bmp, slashed});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.err.rfind("dorvanelle-cli: " + slashed + " was not saved: ", 0), 0U) << run.err;
    EXPECT_EQ(RunCli({"convert", bmp, folder.File("no/such/folder/x.dcm")}).status, 3);
    std::string pipe = folder.File("pipe.dcm");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(RunCli({"convert", bmp, pipe}).status, 3);
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));
}

TEST_F(CliTest, DumpListsEveryElementPlainOrAsJson) {
    Bytes name = {'O', 0x92, 'B', 'R', 'I', 'E', 'N', ' '};
    DicomStreamBuilder b = tp::Dicom8(2, 4, 1);
    Bytes bytes = b.Bytes();
    DicomStreamBuilder head;
    head.Preamble().MetaGroup().Explicit(0x0010, 0x0010, "PN", name).ImageAttributes(2, 4, 8).PixelData8(Bytes(8, 1));
    std::string path = folder.Put("named.dcm", head.Bytes());

    CliRun plain = RunCli({"dump", path});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(plain.out.find("Tag Name"), std::string::npos);
    EXPECT_NE(plain.out.find("0x0028  0x0010"), std::string::npos);
    EXPECT_NE(plain.out.find("Rows"), std::string::npos);
    EXPECT_NE(plain.out.find("O\xE2\x80\x99"
                             "BRIEN"),
              std::string::npos);

    CliRun json = RunCli({"dump", path, "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(IsWellFormedJson(json.out)) << json.out;
    EXPECT_NE(json.out.find("[\"0x0010\", \"0x0010\", \"Patient\xE2\x80\x99s Name\", \"PN\", \"8\", \"O\xE2\x80\x99"
                            "BRIEN"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("[\"0x7FE0\", \"0x0010\""), std::string::npos);
    // One row per element: as many rows as the plain listing has lines after its heading.
    std::size_t jsonRows = static_cast<std::size_t>(std::count(json.out.begin(), json.out.end(), '\n')) - 2;
    std::size_t plainRows = static_cast<std::size_t>(std::count(plain.out.begin(), plain.out.end(), '\n')) - 1;
    EXPECT_EQ(jsonRows, plainRows);

    EXPECT_EQ(RunCli({"dump", folder.Put("a.bmp", BmpFile(4, 4, 8))}).status, 1);
}

// A file cut inside a value lists the elements before it and says where it ends,
// in every format; the listing itself is no failure.
TEST_F(CliTest, DumpOfAFileCutInsideAValueSaysWhereItEnds) {
    const std::vector<std::uint8_t> whole = tp::Dicom16(8, 8, 1).Bytes();
    const std::string cut = folder.Put("cut.dcm", std::vector<std::uint8_t>(whole.begin(), whole.end() - 10));
    const std::string note = "the file ends inside element (7FE0,0010): its value declares 128 bytes from byte " +
                             std::to_string(whole.size() - 128) + " on, 118 of them are there";
    CliRun plain = RunCli({"dump", cut});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(plain.out.find("Rows"), std::string::npos);
    EXPECT_NE(plain.err.find(note), std::string::npos) << plain.err;
    CliRun lines = RunCli({"dump", "--json", cut, cut});
    EXPECT_NE(lines.out.find("], \"note\": \"" + note), std::string::npos) << lines.out;
    EXPECT_EQ(RunCli({"dump", folder.Put("whole.dcm", whole)}).err, "");
}

// A file of zeros (sparse: no disk) is no data set: dump lists no element, says why
// on stderr and in a JSON Lines object, and exits 0.
TEST_F(CliTest, DumpOfAFileOfZerosStopsAtOnceAndSaysWhy) {
    const std::string zeros = folder.File("zeros.dcm");
    std::ofstream(zeros).close();
    std::filesystem::resize_file(zeros, std::uintmax_t{8} << 20);
    const std::string note = "the last 8388476 bytes, from byte 132 on, repeat element (0000,0000)";
    CliRun plain = RunCli({"dump", zeros});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(std::count(plain.out.begin(), plain.out.end(), '\n'), 1) << plain.out;  // the heading
    EXPECT_NE(plain.err.find(note), std::string::npos) << plain.err;
    CliRun json = RunCli({"dump", "--json", zeros});
    EXPECT_EQ(json.out, "[]\n");
    CliRun lines = RunCli({"dump", "--json", zeros, zeros});
    EXPECT_NE(lines.out.find("\"elements\": [], \"note\": \"" + note), std::string::npos) << lines.out;
    EXPECT_EQ(RunCli({"info", zeros}).status, 0);
}

TEST_F(CliTest, HistogramsOfTheWholeImageAndTheSelection) {
    std::string bmp = folder.Put("a.bmp", BmpFile(8, 2, 8));
    CliRun run = RunCli({"histogram", bmp});
    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(IsWellFormedJson(run.out)) << run.out;
    EXPECT_NE(run.out.find("\"selected\": null"), std::string::npos);
    std::string whole = run.out.substr(run.out.find('['), run.out.find(']') - run.out.find('[') + 1);
    EXPECT_EQ(std::count(whole.begin(), whole.end(), ','), 255);
    // Every one of the 16 pixel values 0..7 and 10..17 once: each bin 100.
    EXPECT_EQ(whole.substr(0, 44), "[100, 100, 100, 100, 100, 100, 100, 100, 0, ");

    run = RunCli({"histogram", bmp, "--select", "0,0,4,1"});
    ASSERT_EQ(run.status, 0);
    std::string selected = run.out.substr(run.out.rfind('['));
    EXPECT_EQ(selected.substr(0, 46), "[100, 100, 100, 100, 0, 0, 0, 0, 0, 0, 0, 0, 0");

    // A 4-bit picture cannot be cropped: the selection gives no image, printed as null.
    Bytes nibbles = InfoHeader(40, 2, 1, 4);
    nibbles.resize(40 + 64, 0);
    Append(nibbles, {0x12, 0, 0, 0});
    run = RunCli({"histogram", folder.Put("nibbles.bmp", BmpFileBytes(nibbles)), "--select", "0,0,1,1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"selected\": null"), std::string::npos) << run.out;
    // So does a selection beside the picture: it holds no pixel to count.
    run = RunCli({"histogram", bmp, "--select", "40,40,50,50"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"selected\": null"), std::string::npos) << run.out;
}

}  // namespace

namespace {

// Enhanced multi-frame files keep a window and a rescale per frame in their functional
// groups: info speaks of the frame asked for.
TEST_F(CliTest, InfoOfAFrameOfAnEnhancedStudyGivesThatFramesWindowAndRescale) {
    const auto groups = [](const char* slope, const char* centre, const char* width) {
        DicomStreamBuilder pvt;
        pvt.ExplicitText(0x0028, 0x1053, "DS", slope).ExplicitText(0x0028, 0x1052, "DS", "-100");
        DicomStreamBuilder voi;
        voi.ExplicitText(0x0028, 0x1050, "DS", centre).ExplicitText(0x0028, 0x1051, "DS", width);
        voi.ExplicitText(0x0028, 0x1055, "LO", "FRAME");
        DicomStreamBuilder pvtItems;
        pvtItems.Item(pvt);
        DicomStreamBuilder voiItems;
        voiItems.Item(voi);
        DicomStreamBuilder item;
        item.DefinedSequence(0x0028, 0x9145, pvtItems).DefinedSequence(0x0028, 0x9132, voiItems);
        return item;
    };
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(4, 4, 16).ExplicitUS(0x0028, 0x0103, 1);
    b.ExplicitText(0x0028, 0x0008, "IS", "3");
    b.BeginSequence(0x5200, 0x9230);
    for (const auto& [slope, centre, width] :
         {std::tuple{"1", "500", "1000"}, std::tuple{"1.5", "600", "1200"}, std::tuple{"2", "700", "1400"}}) {
        b.BeginItem().Raw(groups(slope, centre, width).Bytes()).EndItem();
    }
    b.EndSequence().PixelData16(std::vector<std::int16_t>(48, 300));
    const std::string path = folder.Put("enhanced.dcm", b.Bytes());
    const CliRun run = RunCli({"info", path, "--frame", "2"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Field(run.out, "window_width"), 1400);
    EXPECT_EQ(Field(run.out, "window_center"), 700);
    EXPECT_EQ(Field(run.out, "rescale_slope"), 2);
    EXPECT_EQ(Field(run.out, "rescale_intercept"), -100);
    EXPECT_NE(run.out.find("\"explanation\": \"FRAME\""), std::string::npos) << run.out;
    EXPECT_EQ(Field(RunCli({"info", path, "--frame", "1"}).out, "window_width"), 1200);
}

}  // namespace
