// End-to-end tests of convert --out-dir: a folder of mixed inputs, names that would
// collide, outputs that cannot be written, and a run stopped by Ctrl+C.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "dicom/DicomFile.h"
#include "image/BmpFile.h"
#include "tests/dicom/DicomTestHelpers.h"
#include "tests/document/TestPictures.h"
#include "tests/support/TempFiles.h"
#include "tests/tools/CliRunner.h"

namespace {

namespace fs = std::filesystem;
namespace tp = test_pictures;

class BatchTest : public ::testing::Test {
protected:
    std::string In(const std::string& name = "") const { return (folder.Path() / "in" / name).string(); }
    std::string Out(const std::string& name = "") const { return (folder.Path() / "out" / name).string(); }

    // Every file under `root`, as paths relative to it.
    static std::set<std::string> Tree(const std::string& root) {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (!entry.is_directory()) names.insert(fs::relative(entry.path(), root).string());
        }
        return names;
    }

    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    TempFolder folder;
};

std::pair<int, int> BmpSize(const std::string& path) {
    PackedDibPtr dib = ReadBmpFile(path);
    return {DibWidth(dib.get()), DibHeight(dib.get())};
}

TEST_F(BatchTest, FolderOfMixedInputsConvertsWhatGivesAnImageAndCountsTheRest) {
    folder.Put("in/ct.dcm", tp::Dicom16(6, 10, 3).Bytes());
    folder.Put("in/series/1.2.840.10008.7.1", tp::Dicom8(4, 8, 1).Bytes());
    folder.Put("in/series/IM0002", tp::Dicom8(4, 8, 1).Bytes());
    folder.Put("in/pictures/grey.bmp", BmpFile(8, 3, 8));
    folder.Put("in/pictures/colour.bmp", BmpFile(4, 2, 24, 9, 9, 9));
    folder.Put("in/pictures/scan.pcx", PcxFilled(6, 5, 7));
    folder.Put("in/nopixels.dcm", tp::DicomWithoutPixels().Bytes());
    folder.Put("in/notes.txt", {'h', 'i', '\n'});
    folder.Put("in/.hidden.dcm", tp::Dicom8(4, 8, 1).Bytes());
    fs::create_symlink("missing.dcm", In("dangling.dcm"));
    fs::create_symlink("nothing.dcm", In("series/gone.dcm"));

    CliRun run = RunCli({"convert", "--out-dir", Out(), "-j", "2", In()});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(run.out.empty());
    EXPECT_EQ(Tree(Out()), (std::set<std::string>{"ct.bmp", "series/1.2.840.10008.7.1.bmp", "series/IM0002.bmp",
                                                  "pictures/grey.bmp", "pictures/colour.bmp", "pictures/scan.bmp"}));
    EXPECT_EQ(BmpSize(Out("ct.bmp")), std::make_pair(12, 6));  // rows padded to 4-pixel multiples
    EXPECT_EQ(BmpSize(Out("pictures/scan.bmp")), std::make_pair(8, 5));
    EXPECT_EQ(BmpSize(Out("pictures/colour.bmp")), std::make_pair(4, 2));

    EXPECT_NE(run.err.find("10 inputs: 6 converted (6 files written), 4 no image, 0 failed"), std::string::npos)
        << run.err;
    // Reasons counted by their code, in the order they first came.
    EXPECT_NE(run.err.find("no image: 2 the file was not found, 1 no pixel data, 1 the file gives no rows or columns"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("dangling.dcm was not found"), std::string::npos);
    EXPECT_EQ(run.err.find("Converted to 8 bpp"), std::string::npos) << "no notices in a batch";
    // The problems come in the inputs' order whatever job finished first.
    EXPECT_LT(run.err.find("dangling.dcm"), run.err.find("nopixels.dcm"));
    EXPECT_LT(run.err.find("nopixels.dcm"), run.err.find("notes.txt"));

    // The same images, one process per file, give the same bytes.
    ASSERT_EQ(RunCli({"convert", In("ct.dcm"), Out("single.bmp")}).status, 0);
    EXPECT_EQ(Slurp(Out("single.bmp")), Slurp(Out("ct.bmp")));

    // Everything converted: 0. A DICOMDIR found beside the images is no input.
    folder.Put("in/pictures/DICOMDIR", tp::DicomWithoutPixels().Bytes());
    run = RunCli({"convert", "--out-dir", Out("again"), In("ct.dcm"), In("pictures")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Tree(Out("again")).size(), 4u);
    EXPECT_NE(run.err.find("4 inputs: 4 converted"), std::string::npos) << run.err;
}

TEST_F(BatchTest, AllFramesWriteOneFilePerFrameInEitherFormat) {
    folder.Put("in/cine.dcm", tp::Dicom8(4, 8, 3).Bytes());
    folder.Put("in/still.bmp", BmpFile(8, 3, 8));
    CliRun run = RunCli({"convert", "--out-dir", Out(), "--all-frames", "--format", "dcm", In()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Tree(Out()),
              (std::set<std::string>{"cine_0001.dcm", "cine_0002.dcm", "cine_0003.dcm", "still_0001.dcm"}));
    for (int frame = 0; frame < 3; ++frame) {
        CDicomFile reader;
        ASSERT_EQ(reader.LoadFile(Out("cine_000" + std::to_string(frame + 1) + ".dcm")), 0);
        reader.ParseElements(reader.DetectLayout());
        PackedDibPtr dib = Rendered(reader, 0);
        ASSERT_NE(dib, nullptr);
        EXPECT_EQ(DibWidth(dib.get()), 8);
        EXPECT_EQ(DibBits(dib.get())[0], 10 * frame + 5) << "frame " << frame;
    }
    EXPECT_NE(run.err.find("2 inputs: 2 converted (4 files written)"), std::string::npos) << run.err;

    // A study that claims two billion frames but holds one: the first frame past the
    // pixel data ends it, instead of two billion reports.
    DicomStreamBuilder liar;
    liar.Preamble().MetaGroup().ImageAttributes(4, 8, 8);
    liar.ExplicitText(0x0028, 0x0008, "IS", "2000000000").PixelData8(Bytes(32, 9));
    folder.Put("liar/claims.dcm", liar.Bytes());
    run = RunCli({"convert", "--out-dir", Out("liar"), "--all-frames", folder.File("liar")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Tree(Out("liar")), std::set<std::string>{"claims_0001.bmp"});
    EXPECT_NE(run.err.find("claims.dcm gives no image for frame 1: frame 1 lies outside"), std::string::npos)
        << run.err;

    // The same of packed 12-bit samples: frame N is read at its own offset, so the
    // frames past the data end it too, where frame 0 used to be written again for ever.
    DicomStreamBuilder twelve;
    twelve.Preamble().MetaGroup().ImageAttributes(4, 8, 12);
    twelve.ExplicitText(0x0028, 0x0008, "IS", "2147483647").PixelData8(Bytes(48 * 2, 9));
    folder.Put("twelve/claims.dcm", twelve.Bytes());
    run = RunCli({"convert", "--out-dir", Out("twelve"), "--all-frames", folder.File("twelve")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Tree(Out("twelve")), (std::set<std::string>{"claims_0001.bmp", "claims_0002.bmp"}));

    // A frame past the end of a shorter study gives no image for that study only.
    folder.Put("in/short.dcm", tp::Dicom8(4, 8, 1).Bytes());
    run = RunCli({"convert", "--out-dir", Out("f2"), "--frame", "2", In("cine.dcm"), In("short.dcm")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Tree(Out("f2")), std::set<std::string>{"cine.bmp"});
    EXPECT_NE(run.err.find("no image: 1 the frame lies outside the pixel data"), std::string::npos) << run.err;
}

// The summary counts reasons by their code and says each code's words once, without
// one file's numbers or names standing for the others'.
TEST_F(BatchTest, TheSummaryGroupsReasonsByCodeInWordsOfTheirOwn) {
    DicomStreamBuilder grey24;
    grey24.Preamble().MetaGroup().ImageAttributes(2, 2, 24).PixelData8(Bytes(12, 1));
    DicomStreamBuilder colour12;
    colour12.Preamble().MetaGroup().ImageAttributes(2, 2, 12, 3, "RGB").PixelData8(Bytes(18, 1));
    folder.Put("in/grey24.dcm", grey24.Bytes());
    folder.Put("in/colour12.dcm", colour12.Bytes());
    folder.Put("in/short.dcm", tp::Dicom8(4, 8, 1).Bytes());
    folder.Put("in/two.dcm", tp::Dicom8(4, 8, 2).Bytes());
    CliRun run = RunCli({"convert", "--out-dir", Out(), "--frame", "5", In()});
    EXPECT_EQ(run.status, 1);
    const std::size_t at = run.err.rfind("dorvanelle-cli: no image: ");
    ASSERT_NE(at, std::string::npos) << run.err;
    const std::string summary = run.err.substr(at);
    // Two codes, two buckets that say which is which.
    EXPECT_NE(summary.find("1 unsupported bits allocated for colour"), std::string::npos) << summary;
    EXPECT_NE(summary.find("1 unsupported bits allocated,"), std::string::npos) << summary;
    // One code, one bucket, no frame number of either file.
    EXPECT_NE(summary.find("2 the frame lies outside the pixel data"), std::string::npos) << summary;
    EXPECT_EQ(summary.find("frame 5"), std::string::npos) << summary;
}

// Reasons whose words carry a file's details are summed up in words without them:
// two frames damaged at different bytes are one bucket that names neither byte.
TEST_F(BatchTest, DamagedCompressedFramesAreSummedUpWithoutOneFilesDetails) {
    // Two compressed frames damaged by a sequence delimiter, at different bytes.
    for (const std::size_t at : {2U, 10U}) {
        std::vector<std::uint8_t> fragment(64, 0x55);
        const std::uint8_t delimiter[] = {0xFE, 0xFF, 0xDD, 0xE0};
        std::copy(std::begin(delimiter), std::end(delimiter), fragment.begin() + static_cast<std::ptrdiff_t>(at));
        DicomStreamBuilder damaged;
        damaged.Preamble().MetaGroup("1.2.840.10008.1.2.5").ImageAttributes(2, 2, 8).EncapsulatedFrames({fragment});
        folder.Put("in/damaged" + std::to_string(at) + ".dcm", damaged.Bytes());
    }
    CliRun run = RunCli({"convert", "--out-dir", Out(), In()});
    EXPECT_EQ(run.status, 1);
    const std::size_t at = run.err.rfind("dorvanelle-cli: no image: ");
    ASSERT_NE(at, std::string::npos) << run.err;
    const std::string summary = run.err.substr(at);
    EXPECT_NE(summary.find("2 a compressed frame holds a sequence delimiter, so its data is damaged"),
              std::string::npos)
        << summary;
    EXPECT_EQ(summary.find("at byte"), std::string::npos) << summary;
}

TEST_F(BatchTest, NamesThatWouldCollideNeverOverwriteEachOtherOrTheInputs) {
    std::string bmp = folder.Put("in/a.bmp", BmpFile(8, 3, 8));
    folder.Put("in/a.dcm", tp::Dicom8(4, 8, 1).Bytes());
    folder.Put("in/a.pcx", PcxFilled(6, 5, 7));
    folder.Put("in/a-2.dcm", tp::Dicom8(4, 12, 1).Bytes());
    const std::string original = Slurp(bmp);

    // Into the inputs' own folder: a.bmp stays as it was.
    CliRun run = RunCli({"convert", "--out-dir", In(), "-j", "2", In()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Slurp(bmp), original);
    EXPECT_EQ(Tree(In()), (std::set<std::string>{"a.bmp", "a.dcm", "a.pcx", "a-2.dcm", "a-2.bmp", "a-3.bmp", "a-4.bmp",
                                                 "a-5.bmp"}));
    // Names follow the inputs' order, not the order the jobs end in: a-2.dcm comes
    // first and keeps its own name, a.bmp's output steps past it.
    EXPECT_EQ(BmpSize(In("a-2.bmp")), std::make_pair(12, 4));
    EXPECT_EQ(BmpSize(In("a-3.bmp")), std::make_pair(8, 3));

    // An output folder inside the input folder is not walked: its files are not inputs.
    run = RunCli({"convert", "--out-dir", In("converted"), In()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("8 inputs"), std::string::npos) << run.err;
    run = RunCli({"convert", "--out-dir", In("converted"), In()});
    EXPECT_NE(run.err.find("8 inputs"), std::string::npos) << run.err;
}

TEST_F(BatchTest, OutputsThatCannotBeWrittenExitWithThree) {
    folder.Put("in/ok.dcm", tp::Dicom8(4, 8, 1).Bytes());
    folder.Put("in/sub/x.dcm", tp::Dicom8(4, 8, 1).Bytes());
    folder.Put("in/nopixels.dcm", tp::DicomWithoutPixels().Bytes());
    folder.Put("out/sub", {'f', 'i', 'l', 'e'});  // where the subfolder would go

    CliRun run = RunCli({"convert", "--out-dir", Out(), In()});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_TRUE(fs::exists(Out("ok.bmp")));
    EXPECT_NE(run.err.find("3 inputs: 1 converted (1 file written), 1 no image, 1 failed"), std::string::npos)
        << run.err;

    std::string file = folder.Put("plain-file", {'x'});
    run = RunCli({"convert", "--out-dir", file, In("ok.dcm")});
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("cannot be made"), std::string::npos) << run.err;
}

// Starts the tool with its standard error in `errPath`; the caller waits for it.
pid_t StartCli(const std::vector<std::string>& args, const std::string& errPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> all = {DORVANELLE_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

TEST_F(BatchTest, CtrlCStopsBetweenFilesAndLeavesNoPartialFile) {
    const int total = 400;
    const std::vector<std::uint8_t> study = tp::Dicom16(128, 128, 1).Bytes();
    for (int i = 0; i < total; ++i)
        folder.Put("in/im" + std::to_string(i) + ".dcm", study);

    pid_t pid = StartCli({"convert", "--out-dir", Out(), "-j", "2", In()}, folder.File("err"));
    ASSERT_GT(pid, 0);
    // Stopped once the first outputs are there, well before the last.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline &&
           (!fs::exists(Out()) || std::distance(fs::directory_iterator(Out()), fs::directory_iterator()) < 3)) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_EQ(::kill(pid, SIGINT), 0);
    int raw = 0;
    ASSERT_EQ(::waitpid(pid, &raw, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == SIGINT) << "ends as interrupted, for the calling shell";

    std::set<std::string> outputs = Tree(Out());
    EXPECT_GE(outputs.size(), 3u);
    EXPECT_LT(outputs.size(), static_cast<std::size_t>(total));
    for (const std::string& name : outputs) {
        ASSERT_EQ(fs::path(name).extension(), ".bmp") << name << ": a temporary file was left";
        EXPECT_EQ(BmpSize(Out(name)), std::make_pair(128, 128)) << name;
    }
    std::string err = Slurp(folder.File("err"));
    EXPECT_NE(err.find("stopped by Ctrl+C: " + std::to_string(total - outputs.size()) + " inputs not converted"),
              std::string::npos)
        << err;
}

TEST_F(BatchTest, InfoAndDumpOverSeveralFilesPrintJsonLines) {
    std::string bmp = folder.Put("a.bmp", BmpFile(8, 3, 8));
    std::string ct = folder.Put("ct.dcm", tp::Dicom16(6, 8, 2).Bytes());
    std::string missing = folder.File("missing.dcm");

    CliRun run = RunCli({"info", bmp, missing, ct});
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = run.out.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(run.out.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 3u) << run.out;
    for (const std::string& line : lines)
        EXPECT_TRUE(IsWellFormedJson(line)) << line;
    EXPECT_EQ(lines[0].find("{\"file\": \"" + bmp + "\", \"kind\": \"bmp\""), 0u) << lines[0];
    EXPECT_NE(lines[1].find("\"error\": \"" + missing + " was not found.\""), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("\"dicom\": {\"layout\": 2, \"rows\": 6"), std::string::npos) << lines[2];

    run = RunCli({"dump", "--json", ct, bmp, ct});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3) << run.out;
    std::string first = run.out.substr(0, run.out.find('\n'));
    EXPECT_TRUE(IsWellFormedJson(first));
    EXPECT_EQ(first.find("{\"file\": \"" + ct + "\", \"elements\": [[\"0x0002\""), 0u) << first;
    EXPECT_NE(run.out.find("\"error\": \"" + bmp + " opens as a bitmap picture"), std::string::npos);

    run = RunCli({"dump", ct, ct});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.find("==> " + ct + " <==\nGroup"), 0u);
    EXPECT_NE(run.out.find("\n\n==> " + ct + " <==\n"), std::string::npos);
}

}  // namespace
