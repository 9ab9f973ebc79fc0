#include "io/TemporaryFile.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "io/AtomicFileWriter.h"
#include "tests/support/PictureBytes.h"
#include "tests/support/TempFiles.h"

namespace {

// The number of a process that has ended: a child that exits at once.
pid_t EndedProcess() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

// Runs `body` in a child process and returns its wait status.
template <typename Body>
int InChild(Body body) {
    const pid_t child = ::fork();
    if (child == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

}  // namespace

TEST(TemporaryFile, ASignalRemovesTheNamedTemporaryAndStillEndsTheProcess) {
    TempFolder folder;
    const auto target = folder.Path() / "out.bmp";
    for (const int signal : {SIGTERM, SIGINT}) {
        const int status = InChild([&] {
            InstallTemporaryFileCleanup();
            TemporaryFile temporary(target.string(), TemporaryFile::Kind::Named);
            if (temporary.Descriptor() < 0 || ::write(temporary.Descriptor(), "abc", 3) != 3) {
                ::_exit(3);
            }
            ::raise(signal);
            ::_exit(4);  // not reached: the signal ends the process
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(folder.FileCount(), 0u);
    }
}

TEST(TemporaryFile, AnUnnamedTemporaryLeavesNothingWhenTheProcessIsKilled) {
    TempFolder folder;
    const auto target = folder.Path() / "out.bmp";
    {
        TemporaryFile probe(target.string());
        if (!probe.IsUnnamed()) {
            GTEST_SKIP() << "this file system has no unnamed files";
        }
        EXPECT_EQ(folder.FileCount(), 0u);  // invisible while it is written
    }
    const int status = InChild([&] {
        TemporaryFile temporary(target.string());
        if (::write(temporary.Descriptor(), "abc", 3) != 3) {
            ::_exit(3);
        }
        ::raise(SIGKILL);
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(folder.FileCount(), 0u);
}

TEST(TemporaryFile, ASaveRemovesOnlyStaleTemporariesOfOurPattern) {
    TempFolder folder;
    const std::string dead = std::to_string(EndedProcess());
    const std::string alive = std::to_string(::getppid());
    const std::string stale[] = {".scan.bmp." + dead + ".0.tmp", ".a.b.c.dcm." + dead + ".17.tmp"};
    const std::string kept[] = {
        ".scan.bmp." + alive + ".0.tmp",  // its process may still be writing
        ".scan.bmp." + dead + ".x.tmp",   // not our pattern
        "." + dead + ".0.tmp",            // no name before the process number
        "scan.bmp." + dead + ".0.tmp",    // not hidden
        ".scan.bmp." + dead + ".0.tmp.bak",
    };
    for (const auto& name : stale)
        WriteFileBytes(folder.Path() / name, "\x01");
    for (const auto& name : kept)
        WriteFileBytes(folder.Path() / name, "\x01");
    std::filesystem::create_directory(folder.Path() / (".dir." + dead + ".1.tmp"));  // not a file

    const Bytes picture = {1, 2, 3};
    const std::span<const std::uint8_t> pieces[] = {picture};
    ASSERT_TRUE(WriteFileAtomically((folder.Path() / "fresh.bmp").string(), pieces).written);
    EXPECT_EQ(ReadFileBytes(folder.Path() / "fresh.bmp"), picture);
    for (const auto& name : stale)
        EXPECT_FALSE(std::filesystem::exists(folder.Path() / name)) << name;
    for (const auto& name : kept)
        EXPECT_TRUE(std::filesystem::exists(folder.Path() / name)) << name;
    EXPECT_TRUE(std::filesystem::exists(folder.Path() / (".dir." + dead + ".1.tmp")));
}
