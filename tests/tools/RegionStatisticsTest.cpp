// Region statistics (dorvanelle-cli stats, and the viewer's panel through the same
// function) against numpy on the same pixels, as pydicom reads them: rectangles and
// ellipses, on the image and past its edges, on several frames of a sloped CT study.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <algorithm>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "image/Geometry.h"
#include "tests/document/TestPictures.h"
#include "tests/support/PictureBytes.h"
#include "tests/support/TempFiles.h"
#include "tests/tools/CliRunner.h"
#include "tools/generator/PhantomStudy.h"

namespace {

// The numbers of a flat JSON object's members, and its strings, by name (nested
// objects' members too, under their own names).
std::map<std::string, std::string> Members(const std::string& json) {
    std::map<std::string, std::string> members;
    static const std::regex member(R"re("(\w+)": ("[^"]*"|[-+0-9.eE]+|null))re");
    for (auto it = std::sregex_iterator(json.begin(), json.end(), member); it != std::sregex_iterator(); ++it) {
        members[(*it)[1]] = (*it)[2];
    }
    return members;
}

// numpy's answer for the regions, one line "pixels mean std min max" each: the
// modality values of the frame as pydicom reads them, the pixels whose centre lies
// in the rectangle or in the ellipse inscribed in it.
const char* const kNumpyScript = R"py(
import sys
import numpy as np
import pydicom
from pydicom.pixel_data_handlers.util import apply_modality_lut
ds = pydicom.dcmread(sys.argv[1])
frames = apply_modality_lut(ds.pixel_array, ds).astype(np.float64)
if frames.ndim == 2:
    frames = frames[np.newaxis]
for arg in sys.argv[2:]:
    shape, frame, l, t, r, b = arg.split(',')
    l, t, r, b = int(l), int(t), int(r), int(b)
    image = frames[int(frame)]
    ys, xs = np.mgrid[0:image.shape[0], 0:image.shape[1]]
    mask = (xs >= l) & (xs < r) & (ys >= t) & (ys < b)
    if shape == 'ellipse':
        a, c = (r - l) / 2.0, (b - t) / 2.0
        mask &= ((xs + 0.5 - (l + a)) / a) ** 2 + ((ys + 0.5 - (t + c)) / c) ** 2 <= 1.0
    values = image[mask]
    print(values.size, repr(values.mean()), repr(values.std()), repr(values.min()), repr(values.max()))
)py";

bool HaveNumpyAndPydicom() {
    return std::system("/usr/bin/python3 -c 'import numpy, pydicom' >/dev/null 2>&1") == 0;
}

struct Case {
    const char* shape;
    int frame;
    DibRect rect;
};

TEST(RegionStatistics, TheCommandLineAgreesWithNumpyOnTheSamePixels) {
    if (!HaveNumpyAndPydicom()) GTEST_SKIP() << "python3-numpy and python3-pydicom are needed (scripts/install-deps)";
    TempFolder folder;
    PhantomOptions options;
    options.rows = 60;
    options.columns = 70;
    options.frames = 3;
    options.rescaleSlope = 0.5;
    options.rescaleIntercept = -1024;
    options.pixelSpacing = "0.5\\0.25";
    const std::string study = folder.File("sloped.dcm");
    ASSERT_TRUE(WriteCtPhantom(study, options).empty());
    const Case cases[] = {
        {"rectangle", 0, {10, 12, 50, 40}},  {"ellipse", 0, {10, 12, 50, 40}},   {"rectangle", 2, {0, 0, 70, 60}},
        {"ellipse", 1, {-20, -10, 30, 45}}, {"rectangle", 1, {65, 55, 90, 80}}, {"ellipse", 2, {3, 4, 8, 5}},
    };
    std::string script = folder.Put("stats.py", kNumpyScript);
    std::string command = "/usr/bin/python3 " + script + " " + study;
    for (const Case& c : cases) {
        // numpy takes the region as clipped, as the viewer measures it.
        const DibRect r{std::max(c.rect.left, 0), std::max(c.rect.top, 0), std::min(c.rect.right, 70),
                        std::min(c.rect.bottom, 60)};
        // The ellipse is the one inscribed in the rectangle as given, not as clipped.
        const DibRect e = std::string(c.shape) == "ellipse" ? c.rect : r;
        command += " " + std::string(c.shape) + "," + std::to_string(c.frame) + "," + std::to_string(e.left) + "," +
                   std::to_string(e.top) + "," + std::to_string(e.right) + "," + std::to_string(e.bottom);
    }
    const std::string answers = folder.File("numpy.txt");
    ASSERT_EQ(std::system((command + " > " + answers).c_str()), 0);
    std::ifstream numpy(answers);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.shape) + " on frame " + std::to_string(c.frame));
        std::uint64_t pixels = 0;
        double mean = 0, deviation = 0, minimum = 0, maximum = 0;
        ASSERT_TRUE(numpy >> pixels >> mean >> deviation >> minimum >> maximum);
        std::vector<std::string> args = {"stats", study, "--frame", std::to_string(c.frame), "--select",
                                         std::to_string(c.rect.left) + "," + std::to_string(c.rect.top) + "," +
                                             std::to_string(c.rect.right) + "," + std::to_string(c.rect.bottom)};
        if (std::string(c.shape) == "ellipse") args.push_back("--ellipse");
        const CliRun run = RunCli(args);
        ASSERT_EQ(run.status, 0) << run.err;
        std::map<std::string, std::string> m = Members(run.out);
        EXPECT_EQ(std::stoull(m["pixels"]), pixels);
        EXPECT_NEAR(std::stod(m["mean"]), mean, 1e-9 * std::max(1.0, std::fabs(mean)));
        EXPECT_NEAR(std::stod(m["standard_deviation"]), deviation, 1e-9 * std::max(1.0, deviation));
        EXPECT_EQ(std::stod(m["minimum"]), minimum);
        EXPECT_EQ(std::stod(m["maximum"]), maximum);
        EXPECT_EQ(m["units"], "\"HU\"");
        EXPECT_NEAR(std::stod(m["area"]), static_cast<double>(pixels) * 0.5 * 0.25, 1e-9);
        EXPECT_EQ(m["area_unit"], "\"mm²\"");
        EXPECT_EQ(m["source"], "\"Pixel Spacing\"");
    }
}

// Without a patient spacing a radiograph's detector spacing is used, and said; a
// picture gives its grey levels in pixels; colour and empty regions give none.
TEST(RegionStatistics, SpacingUnitsAndWhatGivesNoStatistics) {
    TempFolder folder;
    PhantomOptions options;
    options.rows = 20;
    options.columns = 20;
    options.frames = 1;
    options.pixelSpacing.clear();
    options.imagerPixelSpacing = "0.2\\0.2";
    const std::string radiograph = folder.File("dx.dcm");
    ASSERT_TRUE(WriteCtPhantom(radiograph, options).empty());
    CliRun run = RunCli({"stats", radiograph, "--select", "0,0,10,10"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::map<std::string, std::string> m = Members(run.out);
    EXPECT_EQ(m["source"], "\"Imager Pixel Spacing\"");
    EXPECT_NEAR(std::stod(m["area"]), 100 * 0.04, 1e-12);

    // A bitmap: pixel (x, y) = x + 10 y, no spacing.
    const std::string picture = folder.Put("p.bmp", BmpFile(8, 6, 8));
    run = RunCli({"stats", picture, "--select", "2,1,4,3"});
    ASSERT_EQ(run.status, 0) << run.err;
    m = Members(run.out);
    EXPECT_EQ(m["pixels"], "4");
    EXPECT_EQ(m["mean"], "17.5");  // 12, 13, 22, 23
    EXPECT_EQ(m["minimum"], "12");
    EXPECT_EQ(m["units"], "null");
    EXPECT_EQ(m["area_unit"], "\"px²\"");
    EXPECT_EQ(m["source"], "\"none\"");

    run = RunCli({"stats", picture, "--select", "20,20,30,30"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("holds no pixel"), std::string::npos) << run.err;
    const std::string colour = folder.Put("rgb.dcm", test_pictures::DicomRgb(4, 4).Bytes());
    run = RunCli({"stats", colour, "--select", "0,0,2,2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("colour"), std::string::npos) << run.err;
    EXPECT_EQ(RunCli({"stats", picture}).status, 2);
}

}  // namespace
