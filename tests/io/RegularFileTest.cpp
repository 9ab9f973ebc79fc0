// Only ordinary files are opened for reading: pipes, devices and sockets are refused
// from what the file system says of them, so that no read waits on a writer.
#include "io/RegularFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "io/RandomAccessFile.h"
#include "tests/support/NonRegularFiles.h"
#include "tests/support/TempFiles.h"

TEST(RegularFile, PipesDevicesSocketsAndFoldersAreRefusedUnopened) {
    TempFolder folder;
    const std::string pipe = folder.File("pipe.dcm");
    ASSERT_TRUE(MakeFifo(pipe));
    const std::string socketPath = folder.File("socket.dcm");
    BoundSocket socket(socketPath);
    ASSERT_TRUE(socket.Bound());
    const std::string device = folder.File("zero.dcm");
    ASSERT_EQ(::symlink("/dev/zero", device.c_str()), 0);
    // Should anything open the pipe, it is let go after a while instead of waiting for ever.
    PipeReleaser releaser(pipe, 300);

    const struct {
        std::string path;
        FileKind kind;
        const char* words;
    } refused[] = {
        {pipe, FileKind::Pipe, "it is a named pipe (FIFO), not a regular file"},
        {socketPath, FileKind::Socket, "it is a socket, not a regular file"},
        {device, FileKind::CharacterDevice, "it is a character device, not a regular file"},
    };
    for (const auto& file : refused) {
        Reason why;
        EXPECT_EQ(OpenRegularFile(file.path, &why), -1) << file.path;
        EXPECT_TRUE(why.Is(FileReadFailure::NotRegularFile)) << why;
        EXPECT_EQ(static_cast<FileKind>(why.First()), file.kind);
        EXPECT_EQ(why.Text(), "cannot read " + file.path + ": " + file.words);
        // Every reader of the core goes through it.
        EXPECT_EQ(RandomAccessFile::Open(file.path, &why), nullptr);
        EXPECT_TRUE(why.Is(FileReadFailure::NotRegularFile)) << why;
        FileBuffer bytes;
        EXPECT_TRUE(ReadWholeFile(file.path, bytes).Is(FileReadFailure::NotRegularFile));
    }
    EXPECT_EQ(releaser.Released(), 0) << "a reader waited on the pipe";

    Reason why = RegularFileProblem(folder.Path().string());
    EXPECT_TRUE(why.Is(FileReadFailure::CannotOpen));
    EXPECT_EQ(why.ErrorNumber(), EISDIR);
    EXPECT_EQ(RegularFileProblem(folder.File("missing")).ErrorNumber(), ENOENT);
    EXPECT_FALSE(RegularFileProblem(folder.Put("plain.dcm", "DICM")));
    // A link to an ordinary file is followed.
    ASSERT_EQ(::symlink(folder.File("plain.dcm").c_str(), folder.File("link.dcm").c_str()), 0);
    const int fd = OpenRegularFile(folder.File("link.dcm"), &why);
    EXPECT_GE(fd, 0);
    ::close(fd);
}
