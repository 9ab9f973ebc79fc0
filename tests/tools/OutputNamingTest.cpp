// The batch conversion's output names and progress line, without running the tool.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "tests/support/TempFiles.h"
#include "tools/cli/OutputNaming.h"
#include "tools/cli/ProgressBar.h"

namespace {

namespace fs = std::filesystem;

TEST(OutputStemTest, OnlyImageExtensionsAreCut) {
    EXPECT_EQ(OutputStem("ct.dcm"), "ct");
    EXPECT_EQ(OutputStem("CT.DCM"), "CT");
    EXPECT_EQ(OutputStem("scan.Dicom"), "scan");
    EXPECT_EQ(OutputStem("a.tar.pcx"), "a.tar");
    // UIDs, series numbers and other dotted names keep every part.
    EXPECT_EQ(OutputStem("1.2.840.10008.5.1.4"), "1.2.840.10008.5.1.4");
    EXPECT_EQ(OutputStem("IM0001"), "IM0001");
    EXPECT_EQ(OutputStem("notes.txt"), "notes.txt");
    EXPECT_EQ(OutputStem(".dcm"), ".dcm");
    EXPECT_EQ(OutputStem("trailing."), "trailing.");
}

class OutputNamesTest : public ::testing::Test {
protected:
    std::string At(const std::string& name) const { return (folder.Path() / name).string(); }
    TempFolder folder;
    OutputNames names{fs::canonical(folder.Path()), ".bmp"};
};

TEST_F(OutputNamesTest, SecondClaimsOfAStemGetNumbers) {
    EXPECT_EQ(names.PlanStem("", "ct", false), "ct");
    EXPECT_EQ(names.PlanStem("", "ct", false), "ct-2");
    EXPECT_EQ(names.PlanStem("", "ct-2", false), "ct-2-2");  // a real "ct-2" comes after the made one
    EXPECT_EQ(names.PlanStem("", "ct", false), "ct-3");
    EXPECT_EQ(names.PlanStem("sub", "ct", false), "ct");  // another folder, another name space
    EXPECT_EQ(names.Path("sub", "ct"), (fs::canonical(folder.Path()) / "sub" / "ct.bmp").string());
}

TEST_F(OutputNamesTest, InputsFoldersAndNonFilesAreNeverWrittenOver) {
    std::ofstream(At("scan.bmp")) << "input";
    names.Protect(At("scan.bmp"));
    fs::create_directory(At("pipe.bmp"));
    names.ClaimFolder("x.bmp/deeper");
    std::ofstream(At("old.bmp")) << "from an earlier run";

    EXPECT_EQ(names.PlanStem("", "scan", false), "scan-2");
    EXPECT_EQ(names.PlanStem("", "pipe", false), "pipe-2");
    EXPECT_EQ(names.PlanStem("", "x", false), "x-2");
    EXPECT_EQ(names.PlanStem("", "old", false), "old");  // an ordinary file of an earlier run is replaced

    std::ofstream(At("cine_0002.bmp")) << "input";
    names.Protect(At("cine_0002.bmp"));
    ASSERT_EQ(names.PlanStem("", "cine", true), "cine");
    EXPECT_EQ(names.FramePath("", "cine", 1), At("cine_0001.bmp"));
    EXPECT_EQ(names.FramePath("", "cine", 2), At("cine_0002-2.bmp"));
    EXPECT_EQ(names.FramePath("", "cine", 12345), At("cine_12345.bmp"));
}

TEST_F(OutputNamesTest, FramesClaimedFromSeveralThreadsAreAllDistinct) {
    ASSERT_EQ(names.PlanStem("", "a", true), "a");
    std::vector<std::string> paths(400);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = t; i < 400; i += 4)
                paths[static_cast<std::size_t>(i)] = names.FramePath("", "a", 1 + i % 100);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(std::set<std::string>(paths.begin(), paths.end()).size(), 400u);
}

TEST(ProgressBarTest, LineShowsCountRateAndTimeLeftWithinTheWidth) {
    std::string line = ProgressBar::Line(100, 400, 10.0, 80);
    EXPECT_EQ(line.size(), 79u);
    EXPECT_EQ(line.find("[##########"), 0u);
    EXPECT_NE(line.find("]  100/400  10.0 files/s  0:30 left"), std::string::npos) << line;
    // A quarter done: a quarter of the bar filled.
    std::size_t bar = line.find(']') - 1;
    EXPECT_EQ(std::count(line.begin(), line.end(), '#'), static_cast<long>(bar / 4));

    EXPECT_NE(ProgressBar::Line(1, 100000, 1.0, 80).find("27:46:39 left"), std::string::npos);
    std::string start = ProgressBar::Line(0, 7, 0.0, 80);
    EXPECT_EQ(start.substr(start.find(']')), "]  0/7");  // no rate or time left before the first file
    std::string done = ProgressBar::Line(7, 7, 2.0, 60);
    EXPECT_EQ(done.find('.'), done.find("3.5") + 1);  // full bar: no dots before the rate
    EXPECT_NE(done.find("0:00 left"), std::string::npos);
    // Too narrow for a bar: the numbers alone, cut to the width.
    EXPECT_EQ(ProgressBar::Line(5, 10, 1.0, 20), "5/10  5.0 files/s  ");
    EXPECT_EQ(ProgressBar::Line(5, 10, 1.0, 0), "");
}

}  // namespace
