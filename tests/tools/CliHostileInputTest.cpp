// dorvanelle-cli against files made to cost memory, and saves cut short by signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "io/TemporaryFile.h"
#include "tests/support/DicomStreamBuilder.h"
#include "tests/support/TempFiles.h"
#include "tests/tools/CliProcess.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::size_t EntriesIn(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
}

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

}  // namespace

TEST(CliInterruptedSave, ASaveKilledWhileWritingLeavesTheOldTargetAndNoTemporary) {
    TempFolder folder;
    const std::string input = PutLargeStudy(folder, 6000, 6000);
    const std::string target = folder.File("out.bmp");
    const bool unnamed = TemporaryFile(target).IsUnnamed();
    for (const int signal : {SIGTERM, SIGKILL}) {
        bool caught = false;
        for (int attempt = 0; attempt < 10 && !caught; ++attempt) {
            WriteAll(target, "old picture");
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
        EXPECT_EQ(ReadAll(target), "old picture") << signal;
        EXPECT_EQ(EntriesIn(folder.Path()), 2u) << signal;  // the study and the target only
    }
}
