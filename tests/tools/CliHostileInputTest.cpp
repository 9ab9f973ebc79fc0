// dorvanelle-cli against files made to cost memory, and saves cut short by signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "io/TemporaryFile.h"
#include "tests/codecs/CodecTestSupport.h"
#include "tests/support/HostileStreams.h"
#include "tests/support/NonRegularFiles.h"
#include "tests/support/TempFiles.h"
#include "tests/tools/CliProcess.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "tools/generator/PhantomStudy.h"

namespace {

// An 8-bit study of rows x columns whose pixels are all 0, the file made sparse
// so that writing it costs nothing.
std::string PutLargeStudy(const TempFolder& folder, std::uint16_t rows, std::uint16_t columns) {
    const std::string path = folder.File("large.dcm");
    const std::uint32_t pixels = std::uint32_t{rows} * columns;
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(rows, columns, 8).ExplicitHeader(0x7FE0, 0x0010, "OB", pixels);
    EXPECT_TRUE(b.WriteTo(path));
    std::filesystem::resize_file(path, b.Size() + pixels);
    return path;
}

// Whether `pid` has a file open in `folder` other than `input`: the save's temporary.
bool WritesInto(pid_t pid, const std::string& folder, const std::string& input) {
    std::error_code ec;
    const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
    for (std::filesystem::directory_iterator it(fds, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec)) {
        std::error_code linkError;
        const std::string target = std::filesystem::read_symlink(it->path(), linkError).string();
        if (!linkError && target.rfind(folder + "/", 0) == 0 && target != input) return true;
    }
    return false;
}

std::string LE16(std::uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string LE32(std::uint32_t v) {
    return LE16(static_cast<std::uint16_t>(v)) + LE16(static_cast<std::uint16_t>(v >> 16));
}

// One implicit-VR element holding a 16-bit number: ten bytes.
std::string ImplicitUS(std::uint16_t group, std::uint16_t element, std::uint16_t value) {
    return LE16(group) + LE16(element) + LE32(2) + LE16(value);
}

// A PCX picture of `lines` lines of `bytesPerLine` bytes (a multiple of 63), all
// made of the longest runs there are: 63 pixels from two bytes.
std::string LongestRunsPcx(std::uint16_t bytesPerLine, std::uint16_t lines) {
    std::string bytes(128, '\0');
    bytes[0] = 10, bytes[1] = 5, bytes[2] = 1, bytes[3] = 8;
    bytes.replace(10, 2, LE16(static_cast<std::uint16_t>(lines - 1)));
    bytes[65] = 1;
    bytes.replace(66, 2, LE16(bytesPerLine));
    const std::string run = {static_cast<char>(0xC0 + 63), 9};
    for (int i = 0; i < bytesPerLine / 63 * lines; ++i)
        bytes += run;
    return bytes;
}

constexpr std::size_t kMiB = std::size_t{1} << 20;

class CliUnderMemoryLimit : public ::testing::Test {
protected:
    void SetUp() override {
        if (SanitizersBuiltIn()) GTEST_SKIP() << "the sanitizers need more address space than any limit allows";
    }
    TempFolder folder;
};

}  // namespace

// The 12-bit path compared its frame with nothing: 30 bytes claiming 65535 x 65535
// took 4.2 GB to show and 8.4 GB to convert.
TEST_F(CliUnderMemoryLimit, ThirtyBytesClaimingAHuge12BitFrameGiveNoImage) {
    const std::string study =
        folder.Put("claim.dcm", ImplicitUS(0x0028, 0x0010, 65535) + ImplicitUS(0x0028, 0x0011, 65535) +
                                    ImplicitUS(0x0028, 0x0100, 12));
    ASSERT_EQ(std::filesystem::file_size(study), 30u);
    CliRun run = RunCliLimited({"info", study}, 256 * kMiB);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"image\": null"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("claim.dcm shows no image: no pixel data"), std::string::npos) << run.err;

    run = RunCliLimited({"convert", study, folder.File("out.bmp")}, 256 * kMiB);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder.File("out.bmp")));
}

// A bitmap's header can claim 65535 x 65535 in a few dozen bytes.
TEST_F(CliUnderMemoryLimit, ABitmapClaiming65535Squared) {
    std::string header = LE32(40) + LE32(65535) + LE32(65535) + LE16(1) + LE16(8) + std::string(24, '\0');
    const std::string bitmap = folder.Put("claim.bmp", "BM" + LE32(0) + LE32(0) + LE32(54 + 1024) + header +
                                                           std::string(1024, '\0') + std::string(64, '\x7F'));
    CliRun run = RunCliLimited({"info", bitmap}, 256 * kMiB);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"image\": null"), std::string::npos) << run.out;
    run = RunCliLimited({"convert", bitmap, folder.File("out.dcm")}, 256 * kMiB);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder.File("out.dcm")));
}

// Runs of 63 make a 4 MB file a 129 MB picture, which is fine; holding it twice
// (a decoding buffer and the bitmap) is not. The program itself, with its libraries,
// takes less than 64 MiB of address space.
TEST_F(CliUnderMemoryLimit, APcxAtTheLargestRunLengthRatioIsHeldOnce) {
    constexpr std::uint16_t kWidth = 63 * 128, kLines = 16000;
    const std::string picture = folder.Put("runs.pcx", LongestRunsPcx(kWidth, kLines));
    const std::size_t pixels = std::size_t{kWidth} * kLines;
    CliRun run = RunCliLimited({"info", picture}, 64 * kMiB + pixels * 3 / 2);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"width\": " + std::to_string(kWidth)), std::string::npos) << run.out << run.err;
    EXPECT_NE(run.out.find("\"height\": " + std::to_string(kLines)), std::string::npos);
}

// A picture is read as far as its header declares it, never the whole file: a
// sparse file of 4 GiB holding a 32 MB picture once took 4.2 GB. Here each is read
// within 128 MiB of address space, the program and its libraries included.
TEST_F(CliUnderMemoryLimit, APictureInAFileOfFourGibibytesCostsOnlyThePicture) {
    constexpr std::uint64_t kFileSize = (std::uint64_t{4} << 30) - 1;  // the largest file once read whole
    constexpr std::uint16_t kWidth = 8192, kHeight = 4096;
    const std::string header = LE32(40) + LE32(kWidth) + LE32(kHeight) + LE16(1) + LE16(8) + std::string(24, '\0');
    const std::string bitmap = folder.Put("sparse.bmp", "BM" + LE32(0) + LE32(0) + LE32(14 + 40 + 1024) + header +
                                                            std::string(1024, '\0') + std::string(16, '\x7F'));
    std::filesystem::resize_file(bitmap, kFileSize);
    const std::string picture = folder.Put("sparse.pcx", LongestRunsPcx(63 * 130, kHeight));
    std::filesystem::resize_file(picture, kFileSize);

    for (const std::string& path : {bitmap, picture}) {
        CliRun run = RunCliLimited({"info", path}, 128 * kMiB);
        EXPECT_EQ(run.status, 0) << path << run.err;
        EXPECT_NE(run.out.find("\"height\": " + std::to_string(kHeight)), std::string::npos) << run.out << run.err;
    }
    CliRun run = RunCliLimited({"histogram", bitmap}, 128 * kMiB);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"whole\": [100, 0, "), std::string::npos) << run.out.substr(0, 40);

    // Whatever follows a picture in such a file, a header the reader cannot use is
    // said as quickly: no image, and no histogram.
    const std::string junk = folder.Put("junk.bmp", "BM" + std::string(40, '\0'));
    std::filesystem::resize_file(junk, kFileSize);
    run = RunCliLimited({"info", junk}, 128 * kMiB);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"image\": null"), std::string::npos) << run.out;
    EXPECT_EQ(RunCliLimited({"histogram", junk}, 128 * kMiB).status, 1);
}

namespace {

// An 8-bit study of a million 16 x 16 frames whose pixels are all 0, the file made
// sparse: converting every frame takes far longer than any test waits.
std::string PutEndlessStudy(const TempFolder& folder) {
    const std::string path = folder.File("endless.dcm");
    constexpr std::uint32_t kFrames = 1000000, kPixels = 16 * 16 * kFrames;
    DicomStreamBuilder b;
    b.Preamble().MetaGroup().ImageAttributes(16, 16, 8).ExplicitText(0x0028, 0x0008, "IS", "1000000");
    b.ExplicitHeader(0x7FE0, 0x0010, "OB", kPixels);
    EXPECT_TRUE(b.WriteTo(path));
    std::filesystem::resize_file(path, b.Size() + kPixels);
    return path;
}

std::size_t FilesIn(const std::string& folder) {
    std::error_code ec;
    std::size_t count = 0;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        ++count;
    return count;
}

}  // namespace

// One Ctrl+C or TERM stops --all-frames between two frames of the input being
// converted; it used to be ignored until that input ended.
TEST(CliEndlessFrames, OneStopSignalEndsALongInputBetweenFrames) {
    for (const int signal : {SIGINT, SIGTERM}) {
        TempFolder folder;
        const std::string study = PutEndlessStudy(folder);
        const std::string out = folder.File("frames");
        const pid_t pid =
            StartCli({"convert", "--out-dir", out, "--all-frames", study}, 0, "/dev/null", folder.File("err"));
        for (int waited = 0; waited < 2000 && FilesIn(out) < 3; ++waited)
            ::usleep(10000);
        ASSERT_GE(FilesIn(out), 3u) << ReadFileText(folder.File("err"));
        ASSERT_EQ(::kill(pid, signal), 0);
        EXPECT_EQ(WaitForCliAtMost(pid, 10), -signal) << "still converting after one signal";
        const std::string err = ReadFileText(folder.File("err"));
        EXPECT_NE(err.find(study + ": stopped after frame "), std::string::npos) << err;
        EXPECT_NE(err.find(": 1 input cut short, 0 inputs not converted"), std::string::npos) << err;
        for (const auto& entry : std::filesystem::directory_iterator(out))
            EXPECT_EQ(entry.path().extension(), ".bmp") << entry.path() << ": a temporary was left";
    }
}

// A write that fails (here every file is limited to 1,000 bytes, as on a full disk)
// would fail for every later frame as well: the input ends at the first, with its
// reason, and the run exits with 3. It used to go on failing, silently, with its
// messages piling up in memory until the input's end.
TEST(CliEndlessFrames, AFailedWriteEndsTheInputWithItsReason) {
    TempFolder folder;
    const std::string study = PutEndlessStudy(folder);
    const std::string out = folder.File("frames");
    const pid_t pid =
        StartCli({"convert", "--out-dir", out, "--all-frames", study}, 0, "/dev/null", folder.File("err"), 1000);
    EXPECT_EQ(WaitForCliAtMost(pid, 10), 3) << "still converting after a failed write";
    const std::string err = ReadFileText(folder.File("err"));
    EXPECT_NE(
        err.find(study + ": endless_0001.bmp was not saved: cannot write " + out + "/endless_0001.bmp: File too large"),
        std::string::npos)
        << err;
    EXPECT_NE(err.find("1 input: 0 converted (0 files written), 0 no image, 1 failed"), std::string::npos) << err;
    EXPECT_EQ(FilesIn(out), 0u);
}

// Two batches writing into one folder at once replaced each other's outputs, and both
// reported success. A file that comes to an output's name during the run (here made
// by the test, as another batch would) is kept, and the output takes the next free
// name; a file that was there when the run started is replaced, as a rerun expects.
TEST(CliEndlessFrames, AFileThatAppearsUnderAnOutputNameDuringTheRunIsKept) {
    TempFolder folder;
    const std::string study = PutEndlessStudy(folder);
    const std::string out = folder.File("frames");
    std::filesystem::create_directory(out);
    const std::string earlier = folder.Put("frames/endless_0002.bmp", "from an earlier run");
    const pid_t pid =
        StartCli({"convert", "--out-dir", out, "--all-frames", study}, 0, "/dev/null", folder.File("err"));
    for (int waited = 0; waited < 2000 && FilesIn(out) < 4; ++waited)
        ::usleep(10000);
    // Names well ahead of the frame being written, taken as another program would
    // take them: created, never replacing anything.
    std::vector<std::string> taken;
    for (int frame = 200; frame < 210; ++frame) {
        const std::string name = out + "/endless_0" + std::to_string(frame) + ".bmp";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0) continue;  // the batch got there first
        EXPECT_EQ(::write(fd, "theirs", 6), 6);
        ::close(fd);
        taken.push_back(name);
    }
    for (int waited = 0; waited < 3000 && !std::filesystem::exists(out + "/endless_0215.bmp"); ++waited)
        ::usleep(10000);
    ::kill(pid, SIGINT);
    EXPECT_EQ(WaitForCliAtMost(pid, 10), -SIGINT);
    if (taken.empty()) GTEST_SKIP() << "the batch passed frame 200 before the test could take a name";

    for (const std::string& name : taken) {
        EXPECT_EQ(ReadFileText(name), "theirs") << name;
        const std::string renamed = name.substr(0, name.size() - 4) + "-2.bmp";
        EXPECT_EQ(ReadFileText(renamed, 2), "BM") << renamed;
    }
    EXPECT_EQ(ReadFileText(earlier, 2), "BM");
    EXPECT_FALSE(std::filesystem::exists(out + "/endless_0002-2.bmp"));
    const std::string err = ReadFileText(folder.File("err"));
    EXPECT_NE(err.find(study + ": " + taken[0] + " appeared during the run and was kept; the output is " +
                       taken[0].substr(0, taken[0].size() - 4) + "-2.bmp"),
              std::string::npos)
        << err;
}

// A few hundred kilobytes whose compressed frames claim gigabytes: each is refused
// from its header before any library allocates the frame, in a process that is
// given far less than the frame would take. The colour frame's bitmap would be
// too large to show, which is said before decoding too.
TEST_F(CliUnderMemoryLimit, CompressedFramesClaimingGigabytesAreRefusedBeforeDecoding) {
    struct Claim {
        const char* name;
        const char* syntax;
        std::uint16_t columns;
        std::uint16_t samples;
        std::uint16_t bits;
        std::vector<std::vector<std::uint8_t>> frames;
        const char* reason;
    };
    const auto j2k16 = HugeJpeg2000Codestream(32768, 32768, 1, 16, 560000);
    const Claim claims[] = {
        {"grey.dcm",
         "1.2.840.10008.1.2.4.90",
         32768,
         1,
         8,
         {HugeJpeg2000Codestream(32768, 32768, 1, 8, 410000)},
         "too large to decode within"},
        {"colour.dcm",
         "1.2.840.10008.1.2.4.90",
         18918,
         3,
         8,
         {HugeJpeg2000Codestream(18918, 18918, 3, 8, 410000)},
         "too large to show (18918 x 18918)"},
        // Four frames and no window: the range of every frame is asked for.
        {"study16.dcm", "1.2.840.10008.1.2.4.90", 32768, 1, 16, {j2k16, j2k16, j2k16, j2k16}, "shows no image"},
        {"progressive.dcm",
         "1.2.840.10008.1.2.4.55",
         32768,
         1,
         8,
         {HugeProgressiveJpeg(32768, 32768, 413000)},
         "too large to decode within"},
    };
    for (const Claim& claim : claims) {
        SCOPED_TRACE(claim.name);
        DicomStreamBuilder b;
        b.Preamble()
            .MetaGroup(claim.syntax)
            .ExplicitUS(0x0028, 0x0002, claim.samples)
            .ExplicitText(0x0028, 0x0004, "CS", claim.samples == 3 ? "RGB" : "MONOCHROME2")
            .ExplicitUS(0x0028, 0x0006, 0)
            .ExplicitText(0x0028, 0x0008, "IS", std::to_string(claim.frames.size()))
            .ExplicitUS(0x0028, 0x0010, claim.columns)
            .ExplicitUS(0x0028, 0x0011, claim.columns)
            .ExplicitUS(0x0028, 0x0100, claim.bits)
            .ExplicitUS(0x0028, 0x0101, claim.bits)
            .ExplicitUS(0x0028, 0x0102, static_cast<std::uint16_t>(claim.bits - 1))
            .ExplicitUS(0x0028, 0x0103, 0)
            .EncapsulatedFrames(claim.frames);
        const std::string study = folder.File(claim.name);
        ASSERT_TRUE(b.WriteTo(study));
        CliRun run = RunCliLimited({"info", study}, 512 * kMiB);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("\"image\": null"), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(claim.reason), std::string::npos) << run.err;
        run = RunCliLimited({"convert", study, folder.File("out.bmp")}, 512 * kMiB);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder.File("out.bmp")));
    }
    // Every frame of the study is refused the same way, the range pass's included.
    const CliRun run = RunCliLimited({"info", folder.File("study16.dcm"), "--frame", "3"}, 512 * kMiB);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("shows no image"), std::string::npos) << run.err;
}

// A budget set on the command line holds for every decode of the run.
TEST_F(CliUnderMemoryLimit, TheMemoryLimitOptionSetsTheBudget) {
    const std::string study = folder.File("j2k.dcm");
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup("1.2.840.10008.1.2.4.90")
        .ImageAttributes(16384, 16384, 8)
        .ExplicitUS(0x0028, 0x0101, 8)
        .ExplicitUS(0x0028, 0x0102, 7)
        .ExplicitUS(0x0028, 0x0103, 0)
        .EncapsulatedFrames({HugeJpeg2000Codestream(16384, 16384, 1, 8, 70000)});
    ASSERT_TRUE(b.WriteTo(study));
    CliRun run = RunCli({"info", study, "--memory-limit", "64"});
    EXPECT_NE(run.err.find("too large to decode within 64 MiB (needs 1"), std::string::npos) << run.err;
    run = RunCli({"convert", "--memory-limit=1G", study, folder.File("out.bmp")});
    EXPECT_NE(run.err.find("too large to decode within 1024 MiB (needs 1"), std::string::npos) << run.err;
    run = RunCli({"info", study, "--memory-limit", "12"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--memory-limit wants a size"), std::string::npos) << run.err;
}

TEST(CliInterruptedSave, ASaveKilledWhileWritingLeavesTheOldTargetAndNoTemporary) {
    TempFolder folder;
    const std::string input = PutLargeStudy(folder, 6000, 6000);
    const std::string target = folder.File("out.bmp");
    const bool unnamed = TemporaryFile(target).IsUnnamed();
    for (const int signal : {SIGTERM, SIGKILL}) {
        bool caught = false;
        for (int attempt = 0; attempt < 10 && !caught; ++attempt) {
            WriteFileBytes(target, "old picture");
            const pid_t pid = StartCli({"convert", input, target});
            while (::waitpid(pid, nullptr, WNOHANG) == 0) {
                if (WritesInto(pid, folder.Path().string(), input)) {
                    ::kill(pid, signal);
                    caught = true;
                    break;
                }
                ::usleep(100);
            }
            const int status = caught ? WaitForCli(pid) : 0;
            if (caught) {
                // The save may have ended between the look and the signal; then try again.
                caught = status == -signal;
            }
        }
        ASSERT_TRUE(caught) << "the save always ended before the signal (" << signal << ")";
        if (signal == SIGKILL && !unnamed) {
            // A named temporary cannot be removed by a killed process; the next save
            // into the folder removes it.
            ASSERT_EQ(WaitForCli(StartCli({"convert", input, folder.File("next.dcm")})), 0);
            std::filesystem::remove(folder.File("next.dcm"));
        }
        EXPECT_EQ(ReadFileText(target), "old picture") << signal;
        EXPECT_EQ(folder.FileCount(), 2u) << signal;  // the study and the target only
    }
}

// A named pipe made every command wait in open() for a writer that never came; a
// device or a socket is no image file either. Each is refused, with its kind, before
// anything opens it: the releaser, which would let a waiting reader go on after two
// seconds, never finds one.
TEST(CliNonRegularFiles, PipesDevicesAndSocketsAreRefusedByEveryCommandUnopened) {
    TempFolder folder;
    ASSERT_TRUE(MakeFifo(folder.File("pipe.dcm")));
    ASSERT_TRUE(MakeFifo(folder.File("pipe.bmp")));
    BoundSocket socket(folder.File("socket.pcx"));
    ASSERT_TRUE(socket.Bound());
    std::filesystem::create_symlink("/dev/zero", folder.File("zero.dcm"));
    PipeReleaser dicomPipe(folder.File("pipe.dcm"), 2000), bitmapPipe(folder.File("pipe.bmp"), 2000);
    const std::pair<const char*, const char*> files[] = {{"pipe.dcm", "a named pipe (FIFO)"},
                                                         {"pipe.bmp", "a named pipe (FIFO)"},
                                                         {"socket.pcx", "a socket"},
                                                         {"zero.dcm", "a character device"}};
    for (const auto& [name, kind] : files) {
        const std::string path = folder.File(name);
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"info", path}, {"dump", path}, {"histogram", path}, {"convert", path, folder.File("out.bmp")}}) {
            if (args[0] == "dump" && std::string(name).find(".dcm") == std::string::npos) continue;
            const CliRun run = RunCli(args);
            EXPECT_EQ(run.status, 1) << args[0] << " " << name << run.err;
            EXPECT_NE(run.err.find(path + ": it is " + kind + ", not a regular file"), std::string::npos)
                << args[0] << " " << name << ": " << run.err;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(folder.File("out.bmp")));
    // Several files: the others are still listed.
    const std::string study = folder.Put("plain.dcm", std::string(132, '\0'));
    const CliRun run = RunCli({"info", folder.File("pipe.dcm"), study});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("\"file\": \"" + study + "\""), std::string::npos) << run.out;
    EXPECT_EQ(dicomPipe.Released() + bitmapPipe.Released(), 0) << "a command waited on a pipe";
}

// A deflated data set is read through its inflated bytes as they are needed: 32 MiB
// of frames, deflated by DCMTK to 300 KB, convert at their last frame and give their
// range within 40 MiB of address space, where holding the data set took twice it.
TEST_F(CliUnderMemoryLimit, ADeflatedDataSetIsNeverHeldWhole) {
    if (!RunQuietly("command -v dcmconv")) GTEST_SKIP() << "dcmconv is not installed (scripts/install-deps)";
    PhantomOptions o;
    o.rows = o.columns = 512;
    o.frames = 64;
    ASSERT_EQ(WriteCtPhantom(folder.File("plain.dcm"), o), "");
    ASSERT_TRUE(RunQuietly("dcmconv +td " + folder.File("plain.dcm") + " " + folder.File("deflated.dcm")));
    ASSERT_LT(std::filesystem::file_size(folder.File("deflated.dcm")), 4u << 20);
    CliRun run =
        RunCliLimited({"convert", "--frame", "63", folder.File("deflated.dcm"), folder.File("last.bmp")}, 40 * kMiB);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(RunCli({"convert", "--frame", "63", folder.File("plain.dcm"), folder.File("twin.bmp")}).status, 0);
    EXPECT_EQ(ReadFileText(folder.File("last.bmp")), ReadFileText(folder.File("twin.bmp")));
    run = RunCliLimited({"info", folder.File("deflated.dcm")}, 40 * kMiB);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"min_sample\": -1000"), std::string::npos) << run.out;
}
