// Positioned reads from a file that stays open, and what a change on disk does to them.
#include "io/RandomAccessFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

#include <string>
#include <vector>

#include "tests/support/TempFiles.h"

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    ASSERT_EQ(std::fclose(file), 0);
    // An old modification time, so that a rewrite in the same clock tick still shows.
    const timespec old[2] = {{1000, 0}, {1000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
}

std::string Read(const ByteSource& source, std::uint64_t offset, std::size_t size, SourceRead expected) {
    std::string out(size, '\0');
    EXPECT_EQ(source.ReadAt(offset, reinterpret_cast<std::uint8_t*>(out.data()), size), expected);
    return out;
}

TEST(RandomAccessFile, ReadsByPositionAndRefusesWhatIsNotThere) {
    TempFolder folder;
    const std::string path = folder.File("a.bin");
    WriteFile(path, "0123456789");
    auto file = RandomAccessFile::Open(path);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Size(), 10u);
    EXPECT_EQ(file->Memory(), nullptr);
    EXPECT_EQ(Read(*file, 7, 3, SourceRead::Done), "789");
    EXPECT_EQ(Read(*file, 0, 4, SourceRead::Done), "0123");
    EXPECT_EQ(Read(*file, 10, 0, SourceRead::Done), "");
    Read(*file, 8, 3, SourceRead::Changed);  // past the end: the size the caller trusted is wrong
    Read(*file, ~std::uint64_t{0}, 1, SourceRead::Changed);

    Reason why;
    EXPECT_EQ(RandomAccessFile::Open(folder.File("missing"), &why), nullptr);
    EXPECT_TRUE(why.Is(FileReadFailure::CannotOpen));
    EXPECT_EQ(why.ErrorNumber(), ENOENT);
    EXPECT_EQ(RandomAccessFile::Open(folder.Path().string(), &why), nullptr);
    EXPECT_EQ(why.ErrorNumber(), EISDIR);

    MemorySource memory(FileBuffer::Allocate(4));
    EXPECT_NE(memory.Memory(), nullptr);
    Read(memory, 2, 2, SourceRead::Done);
    Read(memory, 3, 2, SourceRead::Failed);
}

TEST(RandomAccessFile, ChangesOnDiskAreReportedAndARenameKeepsTheOpenedFile) {
    TempFolder folder;
    const std::string path = folder.File("study.dcm");
    WriteFile(path, "original bytes");
    auto file = RandomAccessFile::Open(path);
    ASSERT_NE(file, nullptr);

    // Replaced by a rename (as an editor or a save does): the descriptor keeps the original.
    const std::string other = folder.File("new.dcm");
    WriteFile(other, "another file!!");
    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    EXPECT_TRUE(file->Unchanged());
    EXPECT_EQ(Read(*file, 0, 8, SourceRead::Done), "original");

    // Changed in place: same size, new bytes, new modification time.
    auto again = RandomAccessFile::Open(path);
    ASSERT_NE(again, nullptr);
    std::FILE* inPlace = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(inPlace, nullptr);
    std::fputs("ANOTHER", inPlace);
    std::fclose(inPlace);
    EXPECT_FALSE(again->Unchanged());
    Read(*again, 0, 4, SourceRead::Changed);

    // Truncated: reads of what is gone end early, reads of what is left say the file changed.
    WriteFile(path, std::string(4096, 'x'));
    auto truncated = RandomAccessFile::Open(path);
    ASSERT_NE(truncated, nullptr);
    ASSERT_EQ(::truncate(path.c_str(), 100), 0);
    Read(*truncated, 2000, 100, SourceRead::Changed);
    Read(*truncated, 0, 10, SourceRead::Changed);
}

// Offsets past 4 GiB in a sparse file (no disk is used for the hole).
TEST(RandomAccessFile, ReadsBeyondFourGibibytes) {
    TempFolder folder;
    const std::string path = folder.File("huge.bin");
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    const off_t at = (off_t{1} << 32) + 12345;
    const bool written = ::pwrite(fd, "tail", 4, at) == 4;
    ::close(fd);
    if (!written) {
        GTEST_SKIP() << "this file system cannot hold a sparse file of 4 GiB";
    }
    auto file = RandomAccessFile::Open(path);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Size(), static_cast<std::uint64_t>(at) + 4);
    EXPECT_EQ(Read(*file, static_cast<std::uint64_t>(at), 4, SourceRead::Done), "tail");
    EXPECT_EQ(Read(*file, std::uint64_t{1} << 32, 2, SourceRead::Done), std::string(2, '\0'));
}

}  // namespace
