// Compressed, big-endian and deflated files against their decompressed twins made
// by DCMTK's and OpenJPEG's tools: dorvanelle-cli must convert both to the same
// bitmap. The files are pydicom's test set (when Debian's python3-pydicom is
// installed) and the project's own generated studies compressed in the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <tuple>

#include "codecs/DecodeFailure.h"
#include "dicom/DicomFile.h"
#include "dicom/EncapsulatedPixelData.h"
#include "dicom/TransferSyntax.h"
#include "tests/support/TempFiles.h"
#include "tests/tools/CliRunner.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "tools/generator/PhantomStudy.h"

namespace {

namespace fs = std::filesystem;

const char* const kPydicomFiles = "/usr/lib/python3/dist-packages/pydicom/data/test_files";

bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

bool HaveTools() {
    return RunTool("command -v dcmdjpeg") && RunTool("command -v dcmdjpls") && RunTool("command -v dcmdrle") &&
           RunTool("command -v dcmconv") && RunTool("command -v opj_decompress") && RunTool("command -v dcmcjpeg");
}

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Le32(const std::uint8_t* p) { return Le16(p) | std::uint32_t{Le16(p + 2)} << 16; }

// Where the file meta group ends (its elements are explicit VR little endian).
std::size_t MetaEnd(const std::vector<std::uint8_t>& f) {
    std::size_t at = 132;
    while (at + 8 <= f.size() && Le16(f.data() + at) == 0x0002) {
        const std::string vr(reinterpret_cast<const char*>(f.data() + at + 4), 2);
        const bool longForm = vr == "OB" || vr == "OW" || vr == "UN" || vr == "SQ" || vr == "UT";
        at += longForm ? 12 + std::size_t{Le32(f.data() + at + 8)} : 8 + std::size_t{Le16(f.data() + at + 6)};
    }
    return at;
}

// The twin of a JPEG 2000 file: every frame decoded by opj_decompress, then the
// original's data set with native pixel data in explicit VR little endian.
bool MakeJpeg2000Twin(const std::string& original, const std::string& twin, const TempFolder& folder,
                      std::uint32_t frames, std::uint16_t samples) {
    const auto file = ReadFileBytes(original);
    const std::uint8_t header[] = {0xE0, 0x7F, 0x10, 0x00, 'O', 'B', 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    auto it = std::search(file.rbegin(), file.rend(), std::rbegin(header), std::rend(header));
    if (it == file.rend()) {
        return false;
    }
    const std::size_t pixelAt = static_cast<std::size_t>(file.rend() - it) - sizeof header;
    const std::span<const std::uint8_t> items(file.data() + pixelAt + 12, file.size() - pixelAt - 12);
    EncapsulatedPixelData pixels;
    if (!ParseFragments(items, pixels, nullptr)) {
        return false;
    }
    std::vector<std::uint8_t> decoded;
    for (std::uint32_t f = 0; f < frames; ++f) {
        std::vector<std::size_t> indices;
        std::vector<std::uint8_t> joined;
        if (!FrameFragments(pixels, {}, frames, f, FrameCodec::Jpeg2000, indices, nullptr)) {
            return false;
        }
        const auto stream = FrameStream(items, pixels, indices, joined);
        const bool jp2 = stream.size() > 4 && stream[4] == 'j';
        const std::string in = folder.File(jp2 ? "frame.jp2" : "frame.j2k");
        const std::string out = folder.File("frame.rawl");
        WriteFileBytes(in, std::vector<std::uint8_t>(stream.begin(), stream.end()));
        if (!RunTool("opj_decompress -i " + in + " -o " + out)) {
            return false;
        }
        // OpenJPEG writes each component whole, one after the other.
        const auto raw = ReadFileBytes(out);
        const std::size_t plane = raw.size() / samples;
        for (std::size_t p = 0; p < plane; ++p) {
            for (std::size_t s = 0; s < samples; ++s) {
                decoded.push_back(raw[s * plane + p]);
            }
        }
    }
    DicomStreamBuilder b;
    b.Preamble().MetaGroup(kExplicitVrLittleEndian);
    const std::size_t metaEnd = MetaEnd(file);
    b.Raw(std::vector<std::uint8_t>(file.begin() + static_cast<std::ptrdiff_t>(metaEnd),
                                    file.begin() + static_cast<std::ptrdiff_t>(pixelAt)));
    if (decoded.size() % 2 != 0) {
        decoded.push_back(0);
    }
    b.Explicit(0x7FE0, 0x0010, "OB", decoded);
    return b.WriteTo(twin);
}

// Makes the decompressed twin of `path` with the peer tool for its transfer
// syntax; false when the syntax needs none or the tool cannot decompress it.
bool MakeTwin(const std::string& path, const std::string& twin, const TempFolder& folder) {
    CDicomFile reader;
    if (reader.LoadFile(path) != 0) {
        return false;
    }
    reader.ParseElements(reader.DetectLayout());
    const TransferSyntax* syntax = FindTransferSyntax(reader.TransferSyntaxUid());
    if (syntax == nullptr) {
        return false;
    }
    switch (syntax->kind) {
    case SyntaxKind::ExplicitBig:
    case SyntaxKind::DeflatedLittle: return RunTool("dcmconv +te " + path + " " + twin);
    case SyntaxKind::Encapsulated: break;
    default: return false;
    }
    switch (syntax->codec) {
    case FrameCodec::Jpeg: return RunTool("dcmdjpeg " + path + " " + twin);
    case FrameCodec::JpegLs: return RunTool("dcmdjpls " + path + " " + twin);
    case FrameCodec::Rle: return RunTool("dcmdrle " + path + " " + twin);
    case FrameCodec::JpegXl: return false;  // no DICOM peer decodes it
    case FrameCodec::Jpeg2000:
    case FrameCodec::HtJpeg2000:  // OpenJPEG's tool reads both
        return MakeJpeg2000Twin(path, twin, folder, reader.m_nFrames > 0 ? reader.m_nFrames : 1,
                                reader.m_nSamplesPerPixel == 3 ? 3 : 1);
    }
    return false;
}

// Converts frame `frame` of `path`; the bitmap's bytes, or "no image: <what the tool said>".
std::string Converted(const std::string& path, const std::string& bmp, int frame) {
    fs::remove(bmp);
    const CliRun run = RunCli({"convert", path, bmp, "--frame", std::to_string(frame)});
    if (run.status != 0) {
        return "no image: " + run.err;
    }
    const auto bytes = ReadFileBytes(bmp);
    return std::string(bytes.begin(), bytes.end());
}

// The header listing without the file meta group, whose transfer syntax and
// lengths differ between a file and its twin.
std::string DataSetListing(const std::string& path) {
    const CliRun run = RunCli({"dump", path});
    std::istringstream lines(run.out);
    std::string line;
    std::string kept;
    while (std::getline(lines, line)) {
        if (line.find("0002") == std::string::npos) {
            kept += line + "\n";
        }
    }
    return kept;
}

}  // namespace

TEST(ReferenceComparison, PydicomImagesConvertAsTheirDecompressedTwinsDo) {
    if (!fs::is_directory(kPydicomFiles) || !HaveTools()) {
        GTEST_SKIP() << "pydicom's test files or DCMTK's and OpenJPEG's tools are missing (scripts/install-deps)";
    }
    TempFolder folder;
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(kPydicomFiles)) {
        const std::string path = entry.path().string();
        if (entry.path().extension() != ".dcm") {
            continue;
        }
        const std::string twin = folder.File("twin.dcm");
        fs::remove(twin);
        if (!MakeTwin(path, twin, folder)) {
            continue;
        }
        SCOPED_TRACE(entry.path().filename().string());
        // A file whose twin shows nothing either (32-bit dose grids, 1-bit masks)
        // must give a reason too; every other one the twin's very bitmap.
        const std::string ours = Converted(path, folder.File("ours.bmp"), 0);
        const std::string theirs = Converted(twin, folder.File("twin.bmp"), 0);
        const bool shown = ours.rfind("no image", 0) == std::string::npos;
        EXPECT_EQ(shown, theirs.rfind("no image", 0) == std::string::npos) << ours << theirs;
        EXPECT_TRUE(!shown || ours == theirs);
        compared += shown ? 1 : 0;
    }
    // JPEG of four processes, JPEG-LS, JPEG 2000, RLE, big-endian and deflated files.
    EXPECT_GE(compared, 29);
}

TEST(ReferenceComparison, GeneratedStudiesConvertTheSameCompressedBigEndianAndDeflated) {
    if (!HaveTools()) {
        GTEST_SKIP() << "DCMTK's and OpenJPEG's tools are missing (scripts/install-deps)";
    }
    TempFolder folder;
    PhantomOptions o;
    o.rows = 48;
    o.columns = 60;
    o.frames = 3;
    const std::string plain = folder.File("plain.dcm");
    ASSERT_EQ(WriteCtPhantom(plain, o), "");
    o.writeWindow = false;  // the default window comes from the samples
    const std::string noWindow = folder.File("nowindow.dcm");
    ASSERT_EQ(WriteCtPhantom(noWindow, o), "");
    struct Copy {
        const char* command;
        const std::string* source;
        const char* syntax;
    };
    const Copy copies[] = {
        {"dcmcjpeg +e1", &plain, "1.2.840.10008.1.2.4.70"},
        {"dcmcjpeg +el -ot +fs 1", &plain, "1.2.840.10008.1.2.4.57"},
        {"dcmcjpls", &plain, "1.2.840.10008.1.2.4.80"},
        {"dcmcrle -ot", &plain, "1.2.840.10008.1.2.5"},
        {"dcmconv +tb", &plain, "1.2.840.10008.1.2.2"},
        {"dcmconv +td", &plain, "1.2.840.10008.1.2.1.99"},
        {"dcmcjpeg +e1", &noWindow, "1.2.840.10008.1.2.4.70"},
        {"dcmconv +tb", &noWindow, "1.2.840.10008.1.2.2"},
    };
    for (const Copy& c : copies) {
        SCOPED_TRACE(std::string(c.command) + " " + *c.source);
        const std::string copy = folder.File("copy.dcm");
        ASSERT_TRUE(RunTool(std::string(c.command) + " " + *c.source + " " + copy));
        for (int frame = 0; frame < 3; ++frame) {
            const std::string ours = Converted(copy, folder.File("ours.bmp"), frame);
            EXPECT_EQ(ours.rfind("no image", 0), std::string::npos) << ours;
            EXPECT_TRUE(ours == Converted(*c.source, folder.File("plain.bmp"), frame)) << "frame " << frame;
        }
        EXPECT_NE(RunCli({"info", copy}).out.find(std::string("\"transfer_syntax\": \"") + c.syntax + "\""),
                  std::string::npos);
        if (std::string(c.command).rfind("dcmconv", 0) == 0) {
            // Big-endian and inflated elements are listed as the little-endian ones are.
            EXPECT_EQ(DataSetListing(copy), DataSetListing(*c.source));
        }
    }
}

namespace {

// `info` without what differs between a file and its compressed twin by nature:
// the name, the stored length of the pixel data and the transfer syntax.
std::string InfoOfSamples(const std::string& path) {
    std::string info = RunCli({"info", path}).out;
    for (const char* key : {"\"title\"", "\"pixel_data_length\"", "\"pixel_group_length\"", "\"transfer_syntax\""}) {
        const std::size_t at = info.find(key);
        if (at != std::string::npos) {
            const std::size_t end = info.find_first_of(",}", info.find(':', at));
            info.erase(at, end - at);
        }
    }
    return info;
}

}  // namespace

// The range of all samples and the default window come from every frame, whether
// the frames are stored as they are, big-endian or compressed: a study whose frames
// have ranges of their own gives one `info` and one bitmap however it is stored.
TEST(ReferenceComparison, CompressedStudiesTakeTheirRangeAndDefaultWindowFromEveryFrame) {
    if (!HaveTools()) {
        GTEST_SKIP() << "DCMTK's and OpenJPEG's tools are missing (scripts/install-deps)";
    }
    TempFolder folder;
    constexpr std::uint16_t kSide = 32;
    constexpr int kFrames = 5;
    std::vector<std::int16_t> samples;
    for (int f = 0; f < kFrames; ++f) {
        for (int i = 0; i < kSide * kSide; ++i) {
            samples.push_back(static_cast<std::int16_t>(f * 300 + i % 200));
        }
    }
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup()
        .ExplicitText(0x0008, 0x0016, "UI", kCtImageStorage)
        .ExplicitText(0x0008, 0x0018, "UI", "2.25.1")
        .ImageAttributes(kSide, kSide, 16)
        .ExplicitText(0x0028, 0x0008, "IS", std::to_string(kFrames))
        .ExplicitUS(0x0028, 0x0101, 16)
        .ExplicitUS(0x0028, 0x0102, 15)
        .ExplicitUS(0x0028, 0x0103, 0)
        .PixelData16(samples);
    const std::string plain = folder.File("plain.dcm");
    ASSERT_TRUE(b.WriteTo(plain));
    const std::string expected = InfoOfSamples(plain);
    ASSERT_NE(expected.find("\"max_sample\": 1399"), std::string::npos) << expected;
    for (const char* command :
         {"dcmcjpeg +el", "dcmcjpeg +el -ot +fs 1", "dcmcjpeg +el +fs 1", "dcmcjpls", "dcmcrle", "dcmconv +tb"}) {
        SCOPED_TRACE(command);
        const std::string copy = folder.File("copy.dcm");
        ASSERT_TRUE(RunTool(std::string(command) + " " + plain + " " + copy));
        EXPECT_EQ(InfoOfSamples(copy), expected);
        for (int frame : {0, kFrames - 1}) {
            EXPECT_TRUE(Converted(copy, folder.File("ours.bmp"), frame) ==
                        Converted(plain, folder.File("plain.bmp"), frame))
                << "frame " << frame;
        }
    }
}

namespace {

// Whether the decoder itself refused the frame's stream (or the stream was found
// damaged when it did).
bool DecoderRefused(const Reason& why) {
    if (why.Is(FragmentFailure::DelimiterInside)) {
        return true;
    }
    for (int code = 0; code <= static_cast<int>(DecodeFailure::RleSegmentCorrupt); ++code) {
        if (why.Is(static_cast<DecodeFailure>(code))) {
            return true;
        }
    }
    return false;
}

}  // namespace

// The depth in the title comes from frame 0, which a study opened at another frame
// does not decode: whether it shows is told from the attributes. On every compressed
// file, pydicom's and generated ones, that answer is the decoder's (but where the
// decoder refuses the stream); and a study whose frame 0 is corrupt still converts
// its other frames under the right depth.
TEST(ReferenceComparison, CompressedFilesTellWhetherFrameZeroShowsWithoutDecodingIt) {
    if (!HaveTools()) {
        GTEST_SKIP() << "DCMTK's and OpenJPEG's tools are missing (scripts/install-deps)";
    }
    TempFolder folder;
    PhantomOptions o;
    o.rows = 24;
    o.columns = 30;
    o.frames = 3;
    const std::string grey = folder.File("grey.dcm");
    ASSERT_EQ(WriteCtPhantom(grey, o), "");
    std::vector<std::string> files;
    for (const char* command : {"dcmcjpeg +e1", "dcmcjpeg +el -ot +fs 1", "dcmcjpls", "dcmcrle"}) {
        files.push_back(folder.File("made" + std::to_string(files.size()) + ".dcm"));
        ASSERT_TRUE(RunTool(std::string(command) + " " + grey + " " + files.back())) << command;
    }
    if (fs::is_directory(kPydicomFiles)) {
        for (const auto& entry : fs::directory_iterator(kPydicomFiles)) {
            if (entry.path().extension() == ".dcm") {
                files.push_back(entry.path().string());
            }
        }
        // Colour spaces shown only when the JPEG decoder turns them into RGB.
        for (const auto& [name, from, to] : {std::tuple{"SC_rgb_dcmtk_+eb+cy+s2.dcm", "YBR_FULL_422", "YBR_PART_422"},
                                             std::tuple{"SC_rgb_dcmtk_+eb+cr.dcm", "RGB ", "YBR "}}) {
            auto bytes = ReadFileBytes(fs::path(kPydicomFiles) / name);
            const std::string photometric(from);
            const auto at = std::search(bytes.begin(), bytes.end(), photometric.begin(), photometric.end());
            ASSERT_NE(at, bytes.end());
            std::copy(to, to + photometric.size(), at);
            files.push_back(folder.Put(std::string("relabelled-") + name, bytes));
        }
    }
    int same = 0;
    int compressed = 0;
    for (const std::string& path : files) {
        CDicomFile told;
        CDicomFile decoded;
        for (CDicomFile* reader : {&told, &decoded}) {
            reader->LoadFile(path);
            reader->ParseElements(reader->DetectLayout());
        }
        if (told.PixelDataEncapsulated()) {
            const bool shows = told.FrameShows(0);
            const Reason why = decoded.NoImageReason(0);
            EXPECT_TRUE(shows == !why || (shows && DecoderRefused(why))) << path << ": " << why.Text();
            same += shows == !why ? 1 : 0;
            ++compressed;
        }
    }
    EXPECT_GE(same, 4);
    EXPECT_GE(same, compressed - 1);  // pydicom's one stream that contradicts its attributes

    // Frame 0's RLE header claims one segment where its samples take two.
    const std::string broken = files[3];
    auto bytes = ReadFileBytes(broken);
    const std::uint8_t rleHeader[] = {2, 0, 0, 0, 64, 0, 0, 0};
    const auto first = std::search(bytes.begin(), bytes.end(), std::begin(rleHeader), std::end(rleHeader));
    ASSERT_NE(first, bytes.end());
    *first = 1;
    WriteFileBytes(broken, bytes);
    EXPECT_EQ(Converted(broken, folder.File("ours.bmp"), 0).rfind("no image", 0), 0u);
    EXPECT_TRUE(Converted(broken, folder.File("ours.bmp"), 2) == Converted(grey, folder.File("plain.bmp"), 2));
    const std::string info = RunCli({"info", broken, "--frame", "2"}).out;
    EXPECT_NE(info.find("\"title\": \"made3.dcm ==>8 bpp\""), std::string::npos) << info;
}
