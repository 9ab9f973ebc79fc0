#include "io/Reason.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "io/AtomicFileWriter.h"
#include "io/FileBuffer.h"

TEST(Reason, EmptyMeansNoFailureAndCodesOfOtherEnumerationsNeverMatch) {
    const Reason none;
    EXPECT_FALSE(none);
    EXPECT_EQ(none.Text(), "");
    EXPECT_FALSE(none.Is(FileReadFailure::CannotOpen));

    // Both codes are 0 in their enumerations; only the one given matches.
    const Reason open = Reason(FileReadFailure::CannotOpen).About("/x/a.bmp").Errno(ENOENT);
    ASSERT_EQ(static_cast<int>(FileReadFailure::CannotOpen), static_cast<int>(WriteFailure::NoName));
    EXPECT_TRUE(open);
    EXPECT_TRUE(open.Is(FileReadFailure::CannotOpen));
    EXPECT_FALSE(open.Is(FileReadFailure::CannotRead));
    EXPECT_FALSE(open.Is(WriteFailure::NoName));
    EXPECT_EQ(open.Subject(), "/x/a.bmp");
    EXPECT_EQ(open.ErrorNumber(), ENOENT);
    // The words name the path and end with the system's own words for the error.
    EXPECT_EQ(open.Text(), "cannot open /x/a.bmp: " + SystemErrorText(ENOENT));

    Reason copy = open;
    EXPECT_TRUE(copy.Is(FileReadFailure::CannotOpen));
    copy = WriteFailure::NoName;
    EXPECT_TRUE(copy.Is(WriteFailure::NoName));
    EXPECT_EQ(copy.Subject(), "");
}

TEST(ReadWholeFile, SaysWhichStepFailedAndLeavesTheBlockAlone) {
    FileBuffer out = FileBuffer::Allocate(3);
    const std::uint8_t* before = out.Data();
    const Reason missing = ReadWholeFile("/nonexistent/study.dcm", out);
    EXPECT_TRUE(missing.Is(FileReadFailure::CannotOpen)) << missing;
    EXPECT_EQ(missing.ErrorNumber(), ENOENT);
    EXPECT_EQ(out.Data(), before);

    // Only ordinary files are opened: a folder is refused unopened.
    const Reason folder = ReadWholeFile("/", out);
    EXPECT_TRUE(folder.Is(FileReadFailure::CannotOpen)) << folder;
    EXPECT_EQ(folder.ErrorNumber(), EISDIR);
    EXPECT_EQ(out.Data(), before);
}
