// dorvanelle-cli index and convert --by-series, run as a user runs them on a
// generated study: the JSON Lines, the slice order, and the folders written.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "dicom/DicomFile.h"
#include "tests/support/TempFiles.h"
#include "tests/tools/CliRunner.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "tools/generator/SeriesStudy.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The strings of the JSON array after `"key": [` (no escapes in the paths used here).
std::vector<std::string> Array(const std::string& json, const std::string& key) {
    std::vector<std::string> items;
    const std::size_t at = json.find("\"" + key + "\": [");
    if (at == std::string::npos) {
        return items;
    }
    const std::size_t end = json.find(']', at);
    for (std::size_t q = json.find('"', at + key.size() + 4); q < end; q = json.find('"', q + 1)) {
        const std::size_t close = json.find('"', q + 1);
        items.push_back(json.substr(q + 1, close - q - 1));
        q = close;
    }
    return items;
}

// A slice of the study on disk: its z, read by the reader the viewer uses.
double SliceZ(const std::string& path) {
    std::string text = ReadFileText(path);
    const std::size_t at = text.find("-89.6\\-89.6\\");
    return std::stod(text.substr(at + 12));
}

class IndexCommand : public ::testing::Test {
protected:
    void SetUp() override {
        SeriesStudyOptions o;
        o.rows = 32;
        o.columns = 32;
        o.series = 2;
        o.slices = 6;
        ASSERT_EQ(WriteSeriesStudy(folder.File("study"), o), "");
    }
    TempFolder folder;
};

TEST_F(IndexCommand, OneLinePerSeriesWithItsFilesInSliceOrder) {
    // A localiser of another size in series 1 is split off, and a report is listed.
    DicomStreamBuilder scout;
    scout.Preamble()
        .MetaGroup()
        .ExplicitText(0x0010, 0x0010, "PN", "PHANTOM^STUDY")
        .ExplicitText(0x0010, 0x0020, "LO", "PHANTOM-0002")
        .ExplicitText(0x0020, 0x000D, "UI", "2.25.314159265358979323846264338327950288.2.1")
        .ExplicitText(0x0020, 0x000E, "UI", SeriesStudySeriesUid(0))
        .ImageAttributes(4, 4, 8)
        .PixelData8(std::vector<std::uint8_t>(16, 7));
    scout.WriteTo(folder.File("study/SCOUT"));
    DicomStreamBuilder report;
    report.Preamble()
        .MetaGroup()
        .ExplicitText(0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.88.11")
        .ExplicitText(0x0010, 0x0010, "PN", "PHANTOM^STUDY")
        .ExplicitText(0x0010, 0x0020, "LO", "PHANTOM-0002")
        .ExplicitText(0x0020, 0x000D, "UI", "2.25.314159265358979323846264338327950288.2.1")
        .ExplicitText(0x0020, 0x000E, "UI", SeriesStudySeriesUid(1));
    report.WriteTo(folder.File("study/REPORT"));
    WriteFileBytes(folder.File("study/notes.txt"), "not an image");

    const CliRun run = RunCli({"index", folder.File("study")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    for (const std::string& line : lines) {
        EXPECT_TRUE(IsWellFormedJson(line)) << line;
    }
    const std::vector<std::string> files = Array(lines[0], "files");
    ASSERT_EQ(files.size(), 6u);
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_DOUBLE_EQ(SliceZ(files[i]), 1.25 * static_cast<double>(i)) << files[i];
    }
    EXPECT_NE(lines[0].find("\"spacing\": 1.25, \"even_spacing\": true"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("\"reason\": \"size\", \"why\": \"another size: 4 x 4, the series is 32 x 32\""),
              std::string::npos)
        << lines[0];
    EXPECT_EQ(Array(lines[1], "no_image"), (std::vector<std::string>{folder.File("study/REPORT")}));
    EXPECT_NE(lines[1].find("\"spacing\": 2.5"), std::string::npos);
    EXPECT_NE(run.err.find("notes.txt is not a DICOM file"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("stacks split off their series: 1 another size"), std::string::npos) << run.err;

    // --instances: a line per file after its series' line, with its place in the stacks.
    const CliRun instances = RunCli({"index", "--instances", folder.File("study")});
    const std::vector<std::string> all = Lines(instances.out);
    ASSERT_EQ(all.size(), 2u + 7u + 7u);
    EXPECT_NE(all[1].find("\"record\": \"instance\""), std::string::npos);
    EXPECT_NE(instances.out.find("\"file\": \"" + folder.File("study/SCOUT") + "\", \"state\": \"image\""),
              std::string::npos);
}

TEST_F(IndexCommand, PathsThatCannotBeReadAndUsageFaults) {
    const CliRun run = RunCli({"index", folder.File("study"), folder.File("nothing-here")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Lines(run.out).size(), 2u);  // what could be read is still listed
    EXPECT_NE(run.err.find("nothing-here cannot be opened"), std::string::npos) << run.err;
    EXPECT_EQ(RunCli({"index"}).status, 2);
    EXPECT_EQ(RunCli({"index", "--by-series", folder.File("study")}).status, 2);
    EXPECT_EQ(RunCli({"convert", "--by-series", folder.File("study")}).status, 2);
    EXPECT_EQ(RunCli({"convert", "--out-dir", folder.File("o"), "--by-series", "--all-frames", "x"}).status, 2);
}

TEST_F(IndexCommand, ConvertBySeriesWritesEachSeriesInSliceOrder) {
    const CliRun run =
        RunCli({"convert", "--out-dir", folder.File("out"), "--by-series", "--format", "dcm", folder.File("study")});
    ASSERT_EQ(run.status, 0) << run.err;
    const fs::path patient = folder.Path() / "out" / "PHANTOM_STUDY_20261207";
    for (const char* series : {"001_CT_Axial_S1", "002_CT_Axial_S2"}) {
        ASSERT_TRUE(fs::is_directory(patient / series)) << series << "\n" << run.err;
        std::size_t count = 0;
        for (const auto& entry : fs::directory_iterator(patient / series)) {
            (void)entry;
            ++count;
        }
        EXPECT_EQ(count, 6u);
    }
    // Slice n is written from the n-th file in slice order (whose lesion differs in
    // size from its neighbours'): the same bytes as converting that file alone.
    const CliRun index = RunCli({"index", folder.File("study")});
    const std::vector<std::string> files = Array(Lines(index.out)[0], "files");
    ASSERT_EQ(files.size(), 6u);
    for (std::size_t i = 0; i < files.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%04u.dcm", static_cast<unsigned>(i + 1));
        ASSERT_EQ(RunCli({"convert", files[i], folder.File("alone.dcm")}).status, 0);
        EXPECT_EQ(ReadFileBytes(patient / "001_CT_Axial_S1" / name), ReadFileBytes(folder.File("alone.dcm"))) << name;
    }
}

}  // namespace

namespace {

TEST(ConvertBySeries, AMultiFrameFileThatGivesNoImageIsSaidOnce) {
    TempFolder folder;
    // Four frames of four samples a pixel: no frame of it can be shown.
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup()
        .ExplicitText(0x0020, 0x000E, "UI", "1.2.3.4.6")
        .ExplicitText(0x0028, 0x0008, "IS", "4")
        .ImageAttributes(2, 2, 8, 4, "CMYK")
        .PixelData8(std::vector<std::uint8_t>(4 * 2 * 2 * 4, 9));
    std::filesystem::create_directory(folder.File("in"));
    ASSERT_TRUE(b.WriteTo(folder.File("in/frames.dcm")));
    const CliRun run = RunCli({"convert", "--out-dir", folder.File("out"), "--by-series", folder.File("in")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("frames.dcm gives no image: "), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("gives no image: "), run.err.rfind("gives no image: ")) << run.err;
    EXPECT_NE(run.err.find("frames.dcm: 3 more frames give no image for the same reason"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("4 inputs: 0 converted"), std::string::npos) << run.err;
}

}  // namespace
