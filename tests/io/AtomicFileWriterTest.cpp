#include "io/AtomicFileWriter.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>

#include "tests/support/PictureBytes.h"
#include "tests/support/TempFiles.h"

namespace {

WriteOutcome Write(const std::filesystem::path& path, const Bytes& first, const Bytes& second = {}) {
    const std::span<const std::uint8_t> pieces[] = {first, second};
    return WriteFileAtomically(path.string(), pieces);
}

// Lowers the largest file this process may write, so that a write fails part-way.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

}  // namespace

TEST(AtomicFileWriter, WritesThePiecesAndReplacesTheOldFileKeepingItsMode) {
    TempFolder folder;
    const auto target = folder.Path() / "image.bmp";
    ASSERT_TRUE(Write(target, {1, 2}, {3}).written);
    EXPECT_EQ(ReadFileBytes(target), (Bytes{1, 2, 3}));

    ::chmod(target.c_str(), 0640);
    const WriteOutcome again = Write(target, {9});
    EXPECT_TRUE(again.written);
    EXPECT_FALSE(again.reason);
    EXPECT_EQ(ReadFileBytes(target), (Bytes{9}));
    struct stat info {};
    ::stat(target.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(folder.FileCount(), 1u);  // no temporary file left behind
}

TEST(AtomicFileWriter, TakesNamesAsLongAsTheFolderAllows) {
    TempFolder folder;
    const auto target = folder.Path() / (std::string(250, 'n') + ".bmp");
    const WriteOutcome outcome = Write(target, {1});
    EXPECT_TRUE(outcome.written) << outcome.reason;
    EXPECT_EQ(ReadFileBytes(target), (Bytes{1}));
}

TEST(AtomicFileWriter, AFailedRenameLeavesTheTargetAndNoTemporaryFile) {
    TempFolder folder;
    const auto target = folder.Path() / "taken";
    std::filesystem::create_directory(target);
    WriteFileBytes(target / "inside", {5});
    const WriteOutcome outcome = Write(target, {1, 2, 3});
    EXPECT_FALSE(outcome.written);
    EXPECT_TRUE(outcome.reason.Is(WriteFailure::NotRegularFile)) << outcome.reason;
    EXPECT_EQ(outcome.reason.Subject(), target.string());
    EXPECT_EQ(ReadFileBytes(target / "inside"), (Bytes{5}));
    EXPECT_EQ(folder.FileCount(), 1u);
}

TEST(AtomicFileWriter, AFailedWriteLeavesTheOldContents) {
    TempFolder folder;
    const auto target = folder.Path() / "study.dcm";
    WriteFileBytes(target, {7, 7, 7});
    WriteOutcome outcome;
    {
        FileSizeLimit limit(4096);
        outcome = Write(target, Bytes(10000, 1));
    }
    EXPECT_FALSE(outcome.written);
    EXPECT_TRUE(outcome.reason.Is(WriteFailure::CannotWrite)) << outcome.reason;
    EXPECT_EQ(outcome.reason.ErrorNumber(), EFBIG);
    EXPECT_EQ(ReadFileBytes(target), (Bytes{7, 7, 7}));
    EXPECT_EQ(folder.FileCount(), 1u);
}

TEST(AtomicFileWriter, SaysWhyAFolderCannotTakeTheFile) {
    TempFolder folder;
    const auto target = folder.Path() / "missing" / "x.bmp";
    const WriteOutcome outcome = Write(target, {1});
    EXPECT_FALSE(outcome.written);
    EXPECT_TRUE(outcome.reason.Is(WriteFailure::CannotWrite));
    EXPECT_EQ(outcome.reason.ErrorNumber(), ENOENT);
    EXPECT_EQ(outcome.reason.Text().rfind("cannot write " + target.string() + ": ", 0), 0u) << outcome.reason;
    EXPECT_TRUE(Write("", {1}).reason.Is(WriteFailure::NoName));
}

TEST(AtomicFileWriter, ASaveOntoALinkReplacesTheLinkedFileAndKeepsTheLink) {
    TempFolder folder;
    std::filesystem::create_directory(folder.Path() / "studies");
    const auto real = folder.Path() / "studies" / "scan.bmp";
    WriteFileBytes(real, {1, 1});
    ::chmod(real.c_str(), 0604);
    const auto link = folder.Path() / "latest.bmp";
    std::filesystem::create_symlink("studies/scan.bmp", link);  // relative, as users make them

    const WriteOutcome outcome = Write(link, {2, 2, 2});
    ASSERT_TRUE(outcome.written) << outcome.reason;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::filesystem::read_symlink(link), "studies/scan.bmp");
    EXPECT_EQ(ReadFileBytes(real), (Bytes{2, 2, 2}));
    struct stat info {};
    ::stat(real.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0604u);
    EXPECT_EQ(folder.FileCount(), 2u);  // the folder and the link: no temporary in either place
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path() / "studies"), {}), 1);
}

TEST(AtomicFileWriter, ALinkThatLeadsNowhereIsRefusedAndNothingIsCreated) {
    TempFolder folder;
    const auto link = folder.Path() / "gone.bmp";
    std::filesystem::create_symlink("missing/scan.bmp", link);
    const WriteOutcome outcome = Write(link, {1});
    EXPECT_FALSE(outcome.written);
    EXPECT_TRUE(outcome.reason.Is(WriteFailure::BrokenLink)) << outcome.reason;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(folder.FileCount(), 1u);

    const auto loop = folder.Path() / "loop.bmp";
    std::filesystem::create_symlink("loop.bmp", loop);
    EXPECT_FALSE(Write(loop, {1}).written);
    EXPECT_TRUE(std::filesystem::is_symlink(loop));
}

TEST(AtomicFileWriter, ANamedTemporaryIsRemovedAfterASaveAndAFailedOne) {
    TempFolder folder;
    const auto target = folder.Path() / "named.dcm";
    const Bytes bytes = {4, 5, 6};
    const std::span<const std::uint8_t> pieces[] = {bytes};
    ASSERT_TRUE(
        WriteFileAtomically(target.string(), pieces, Placement::ReplaceExisting, TemporaryFile::Kind::Named).written);
    EXPECT_EQ(ReadFileBytes(target), bytes);
    EXPECT_EQ(folder.FileCount(), 1u);

    WriteOutcome outcome;
    {
        FileSizeLimit limit(2);
        outcome = WriteFileAtomically(target.string(), pieces, Placement::ReplaceExisting, TemporaryFile::Kind::Named);
    }
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(ReadFileBytes(target), bytes);
    EXPECT_EQ(folder.FileCount(), 1u);
}

// A write that must not replace anything: a file already there, or one that another
// program puts there while the bytes are written, is kept, and the write says so.
TEST(AtomicFileWriter, KeepingWhatIsThereFailsOnAFileThatAppearedMeanwhile) {
    for (const TemporaryFile::Kind kind : {TemporaryFile::Kind::UnnamedWherePossible, TemporaryFile::Kind::Named}) {
        TempFolder folder;
        const std::string target = folder.File("frame_0001.bmp");
        const Bytes ours = {1, 2, 3};
        const std::span<const std::uint8_t> pieces[] = {ours};
        ASSERT_TRUE(WriteFileAtomically(target, pieces, Placement::KeepExisting, kind).written);
        EXPECT_EQ(ReadFileBytes(target), ours);

        WriteOutcome outcome = WriteFileAtomically(target, pieces, Placement::KeepExisting, kind);
        EXPECT_FALSE(outcome.written);
        EXPECT_TRUE(outcome.reason.Is(WriteFailure::AlreadyExists)) << outcome.reason;
        EXPECT_EQ(outcome.reason.Text(), "cannot write " + target + ": a file of that name is there already");

        const std::string raced = folder.File("frame_0002.bmp");
        outcome = WriteFileAtomically(
            raced,
            [&](const PieceWriter& write) {
                WriteFileBytes(raced, "another batch's frame");
                return write(ours);
            },
            Placement::KeepExisting, kind);
        EXPECT_TRUE(outcome.reason.Is(WriteFailure::AlreadyExists)) << outcome.reason;
        EXPECT_EQ(ReadFileText(raced), "another batch's frame");
        // A save replaces it as before.
        EXPECT_TRUE(WriteFileAtomically(raced, pieces, Placement::ReplaceExisting, kind).written);
        EXPECT_EQ(ReadFileBytes(raced), ours);
        EXPECT_EQ(folder.FileCount(), 2u);  // no temporary left behind
    }
}
