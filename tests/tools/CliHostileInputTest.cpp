// dorvanelle-cli against files made to cost memory, and saves cut short by signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "io/TemporaryFile.h"
#include "tests/support/SpecialFiles.h"
#include "tests/support/TempFiles.h"
#include "tests/tools/CliProcess.h"
#include "tools/dicomstream/DicomStreamBuilder.h"

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
TEST(CliSpecialFiles, PipesDevicesAndSocketsAreRefusedByEveryCommandUnopened) {
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
