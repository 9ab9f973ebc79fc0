// 8-bit JPEG decoded by libjpeg-turbo must give exactly what DCMTK's IJG 6b copy
// gives (dcmdjpeg runs that copy): streams from cjpeg and dcmcjpeg in every
// subsampling, both colour codings, progressive, with restarts, at odd sizes, and
// with a photometric interpretation that disagrees with the stream's own coding.
#include <gtest/gtest.h>

#include <fstream>

#include "codecs/FrameDecoder.h"
#include "tests/codecs/CodecTestSupport.h"
#include "tests/support/TempFiles.h"
#include "tools/dicomstream/DicomStreamBuilder.h"

namespace {

constexpr std::uint16_t kColumns = 61;  // neither a multiple of 8 nor of 16
constexpr std::uint16_t kRows = 43;

// A picture with smooth ramps, hard edges and noise, which exercises the inverse
// transform, the upsampling and the colour conversion alike.
std::vector<std::uint8_t> Picture(int samples) {
    std::vector<std::uint8_t> out;
    std::uint32_t noise = 12345;
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            noise = noise * 1103515245 + 12345;
            const int edge = (c / 9 + r / 7) % 2 != 0 ? 90 : 0;
            for (int s = 0; s < samples; ++s) {
                out.push_back(static_cast<std::uint8_t>((c * 4 + r * (s + 1) * 3 + edge + (noise >> 28)) & 0xFF));
            }
        }
    }
    return out;
}

void WritePnm(const std::string& path, int samples) {
    std::ofstream pnm(path, std::ios::binary);
    pnm << (samples == 3 ? "P6\n" : "P5\n") << kColumns << " " << kRows << "\n255\n";
    const auto picture = Picture(samples);
    pnm.write(reinterpret_cast<const char*>(picture.data()), static_cast<std::streamsize>(picture.size()));
}

// The JPEG stream inside a file dcmcjpeg wrote: from SOI to EOI.
std::vector<std::uint8_t> StreamOf(const std::vector<std::uint8_t>& file) {
    bool encapsulated = false;
    const auto value = PixelDataValue(file, &encapsulated);
    std::size_t soi = 0;
    while (soi + 1 < value.size() && !(value[soi] == 0xFF && value[soi + 1] == 0xD8)) {
        ++soi;
    }
    std::size_t eoi = value.size() - 2;
    while (eoi > soi && !(value[eoi] == 0xFF && value[eoi + 1] == 0xD9)) {
        --eoi;
    }
    return {value.begin() + static_cast<std::ptrdiff_t>(soi), value.begin() + static_cast<std::ptrdiff_t>(eoi + 2)};
}

struct Variant {
    const char* command;      // makes OUT from IN (a PGM or PPM, or an 8-bit DICOM file for dcmcjpeg)
    int samples;              // 1 or 3
    const char* photometric;  // what the wrapping file says
};

}  // namespace

TEST(EightBitJpeg, DecodesExactlyAsDcmtksIjgCopyDoes) {
    if (!HaveTool("cjpeg") || !HaveTool("dcmdjpeg") || !HaveTool("dcmcjpeg")) {
        GTEST_SKIP() << "cjpeg or DCMTK's tools are not installed (scripts/install-deps)";
    }
    const Variant variants[] = {
        {"cjpeg -grayscale -quality 75", 1, "MONOCHROME2"},
        {"cjpeg -grayscale -progressive -restart 1", 1, "MONOCHROME2"},
        {"cjpeg -quality 90", 3, "YBR_FULL_422"},  // 4:2:0
        {"cjpeg -sample 2x1", 3, "YBR_FULL_422"},
        {"cjpeg -sample 1x2", 3, "YBR_FULL"},  // 4:4:0: IJG 6b replicates, it does not interpolate
        {"cjpeg -sample 1x1 -quality 95", 3, "YBR_FULL"},
        {"cjpeg -progressive -optimize", 3, "YBR_FULL_422"},
        {"cjpeg -restart 2B -quality 50", 3, "YBR_FULL_422"},
        {"cjpeg -rgb", 3, "RGB"},
        // The file and the stream disagree: the file's word decides, as DCMTK decides.
        {"cjpeg -rgb", 3, "YBR_FULL"},
        {"cjpeg -quality 90", 3, "RGB"},
        {"cjpeg -grayscale -smooth 30 -dct float", 1, "MONOCHROME2"},
    };
    TempFolder folder;
    WritePnm(folder.File("grey.pgm"), 1);
    WritePnm(folder.File("colour.ppm"), 3);
    for (const Variant& v : variants) {
        SCOPED_TRACE(std::string(v.command) + " as " + v.photometric);
        const std::string in = folder.File(v.samples == 3 ? "colour.ppm" : "grey.pgm");
        ASSERT_TRUE(RunQuietly(std::string(v.command) + " -outfile " + folder.File("frame.jpg") + " " + in));
        const auto stream = ReadBytes(folder.File("frame.jpg"));
        DicomStreamBuilder b;
        b.Preamble()
            .MetaGroup("1.2.840.10008.1.2.4.50")
            .ExplicitUS(0x0028, 0x0002, static_cast<std::uint16_t>(v.samples))
            .ExplicitText(0x0028, 0x0004, "CS", v.photometric)
            .ExplicitUS(0x0028, 0x0006, 0)
            .ExplicitUS(0x0028, 0x0010, kRows)
            .ExplicitUS(0x0028, 0x0011, kColumns)
            .ExplicitUS(0x0028, 0x0100, 8)
            .ExplicitUS(0x0028, 0x0101, 8)
            .ExplicitUS(0x0028, 0x0102, 7)
            .ExplicitUS(0x0028, 0x0103, 0)
            .EncapsulatedFrames({stream});
        ASSERT_TRUE(b.WriteTo(folder.File("jpeg.dcm")));
        ASSERT_TRUE(RunQuietly("dcmdjpeg " + folder.File("jpeg.dcm") + " " + folder.File("twin.dcm")));
        const auto twinFile = ReadBytes(folder.File("twin.dcm"));
        bool encapsulated = true;
        const auto twin = PixelDataValue(twinFile, &encapsulated);
        ASSERT_FALSE(encapsulated);

        FrameGeometry g;
        g.columns = kColumns;
        g.rows = kRows;
        g.samplesPerPixel = static_cast<std::uint16_t>(v.samples);
        g.ybr = std::string(v.photometric).starts_with("YBR");
        DecodedFrame decoded;
        Reason why;
        ASSERT_TRUE(DecodeFrame(FrameCodec::Jpeg, stream, g, decoded, &why)) << why;
        EXPECT_EQ(decoded.convertedToRgb, g.ybr);
        ASSERT_EQ(decoded.samples.size(), std::size_t{kColumns} * kRows * v.samples);
        ASSERT_GE(twin.size(), decoded.samples.size());
        std::size_t differ = 0;
        for (std::size_t i = 0; i < decoded.samples.size(); ++i) {
            differ += decoded.samples[i] != twin[i] ? 1 : 0;
        }
        EXPECT_EQ(differ, 0u);
    }
    // Extended 8-bit (SOF1) from DCMTK's own encoder.
    DicomStreamBuilder grey;
    grey.Preamble()
        .MetaGroup()
        .ImageAttributes(kRows, kColumns, 8)
        .ExplicitUS(0x0028, 0x0101, 8)
        .ExplicitUS(0x0028, 0x0102, 7)
        .ExplicitUS(0x0028, 0x0103, 0)
        .PixelData8(Picture(1));
    ASSERT_TRUE(grey.WriteTo(folder.File("grey.dcm")));
    ASSERT_TRUE(RunQuietly("dcmcjpeg +ee " + folder.File("grey.dcm") + " " + folder.File("ext.dcm")));
    ASSERT_TRUE(RunQuietly("dcmdjpeg " + folder.File("ext.dcm") + " " + folder.File("twin.dcm")));
    const auto stream = StreamOf(ReadBytes(folder.File("ext.dcm")));
    ASSERT_GT(stream.size(), 4u);
    FrameGeometry g;
    g.columns = kColumns;
    g.rows = kRows;
    DecodedFrame decoded;
    Reason why;
    ASSERT_TRUE(DecodeFrame(FrameCodec::Jpeg, stream, g, decoded, &why)) << why;
    const auto twinFile = ReadBytes(folder.File("twin.dcm"));
    bool encapsulated = true;
    const auto twin = PixelDataValue(twinFile, &encapsulated);
    EXPECT_TRUE(std::equal(decoded.samples.begin(), decoded.samples.end(), twin.begin()));
}
