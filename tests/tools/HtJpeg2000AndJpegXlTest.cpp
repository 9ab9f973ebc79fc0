// The newest transfer syntaxes against their encoders' own tools: generated
// frames compressed by ojph_compress (High-Throughput JPEG 2000) and cjxl (JPEG XL),
// wrapped in a DICOM file by the stream builder. Lossless streams must give the
// frame back sample for sample, in the decoder and as dorvanelle-cli's bitmap of
// the file against that of its uncompressed twin; lossy ones must stay close.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "codecs/FrameDecoder.h"
#include "tests/codecs/CodecTestSupport.h"
#include "tests/support/TempFiles.h"
#include "tests/tools/CliRunner.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "tools/generator/PhantomStudy.h"

namespace {

constexpr std::uint16_t kColumns = 75;
constexpr std::uint16_t kRows = 53;

// The phantom's second frame (grey, 16 bits, little-endian) or a colour ramp (RGB, 8 bits).
std::vector<std::uint8_t> Frame(bool colour) {
    PhantomOptions o;
    o.columns = kColumns;
    o.rows = kRows;
    std::vector<std::uint8_t> bytes;
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            if (colour) {
                bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c * 3), static_cast<std::uint8_t>(r * 4),
                                           static_cast<std::uint8_t>(r * 2 + c)});
            } else {
                const auto v = static_cast<std::uint16_t>(
                    PhantomSample(o, 1, static_cast<std::uint16_t>(r), static_cast<std::uint16_t>(c)));
                bytes.push_back(static_cast<std::uint8_t>(v));
                bytes.push_back(static_cast<std::uint8_t>(v >> 8));
            }
        }
    }
    return bytes;
}

// The frame as a PGM or PPM file (samples most significant byte first).
void WritePnm(const std::string& path, const std::vector<std::uint8_t>& frame, bool colour) {
    std::ofstream pnm(path, std::ios::binary);
    pnm << (colour ? "P6\n" : "P5\n") << kColumns << " " << kRows << (colour ? "\n255\n" : "\n65535\n");
    for (std::size_t i = 0; i < frame.size(); i += colour ? 1 : 2) {
        if (colour) {
            pnm.put(static_cast<char>(frame[i]));
        } else {
            pnm.put(static_cast<char>(frame[i + 1])).put(static_cast<char>(frame[i]));
        }
    }
}

DicomStreamBuilder Header(const char* syntax, bool colour) {
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup(syntax)
        .ExplicitUS(0x0028, 0x0002, colour ? 3 : 1)
        .ExplicitText(0x0028, 0x0004, "CS", colour ? "RGB" : "MONOCHROME2")
        .ExplicitUS(0x0028, 0x0006, 0)
        .ExplicitUS(0x0028, 0x0010, kRows)
        .ExplicitUS(0x0028, 0x0011, kColumns)
        .ExplicitUS(0x0028, 0x0100, colour ? 8 : 16)
        .ExplicitUS(0x0028, 0x0101, colour ? 8 : 16)
        .ExplicitUS(0x0028, 0x0102, colour ? 7 : 15)
        .ExplicitUS(0x0028, 0x0103, 0);
    if (!colour) {
        b.ExplicitText(0x0028, 0x1050, "DS", "1064").ExplicitText(0x0028, 0x1051, "DS", "400");
    }
    return b;
}

struct Encoder {
    const char* tool;
    const char* command;  // with IN and OUT to replace
    const char* extension;
    const char* syntax;
    FrameCodec codec;
    bool lossless;
};

std::string Replace(std::string text, const std::string& what, const std::string& with) {
    return text.replace(text.find(what), what.size(), with);
}

}  // namespace

TEST(HtJpeg2000AndJpegXl, StreamsFromTheEncodersToolsDecodeAsTheirTwins) {
    const Encoder encoders[] = {
        {"ojph_compress", "ojph_compress -i IN -o OUT -reversible true", "j2c", "1.2.840.10008.1.2.4.201",
         FrameCodec::HtJpeg2000, true},
        {"ojph_compress", "ojph_compress -i IN -o OUT -qstep 0.0005", "j2c", "1.2.840.10008.1.2.4.203",
         FrameCodec::HtJpeg2000, false},
        {"cjxl", "cjxl IN OUT -d 0 -e 3", "jxl", "1.2.840.10008.1.2.4.110", FrameCodec::JpegXl, true},
        {"cjxl", "cjxl IN OUT -d 0.5", "jxl", "1.2.840.10008.1.2.4.112", FrameCodec::JpegXl, false},
    };
    TempFolder folder;
    for (const bool colour : {false, true}) {
        const std::vector<std::uint8_t> frame = Frame(colour);
        const std::string pnm = folder.File(colour ? "frame.ppm" : "frame.pgm");
        WritePnm(pnm, frame, colour);
        DicomStreamBuilder twin = Header("1.2.840.10008.1.2.1", colour);
        twin.PixelData8(frame);
        ASSERT_TRUE(twin.WriteTo(folder.File("twin.dcm")));
        for (const Encoder& e : encoders) {
            SCOPED_TRACE(std::string(e.command) + (colour ? ", colour" : ", grey"));
            if (!HaveTool(e.tool)) {
                GTEST_SKIP() << e.tool << " is not installed (scripts/install-deps)";
            }
            const std::string out = folder.File(std::string("frame.") + e.extension);
            ASSERT_TRUE(RunQuietly(Replace(Replace(e.command, "IN", pnm), "OUT", out)));
            const auto stream = ReadBytes(out);
            FrameGeometry g;
            g.columns = kColumns;
            g.rows = kRows;
            g.samplesPerPixel = colour ? 3 : 1;
            g.bitsAllocated = colour ? 8 : 16;
            DecodedFrame decoded;
            Reason why;
            ASSERT_TRUE(DecodeFrame(e.codec, stream, g, decoded, &why)) << why;
            ASSERT_EQ(decoded.samples.size(), frame.size());
            if (e.lossless) {
                EXPECT_EQ(PlainBytes(decoded.samples), frame);
                DicomStreamBuilder wrapped = Header(e.syntax, colour);
                wrapped.EncapsulatedFrames({stream});
                ASSERT_TRUE(wrapped.WriteTo(folder.File("compressed.dcm")));
                const CliRun ours = RunCli({"convert", folder.File("compressed.dcm"), folder.File("ours.bmp")});
                ASSERT_EQ(ours.status, 0) << ours.err;
                ASSERT_EQ(RunCli({"convert", folder.File("twin.dcm"), folder.File("twin.bmp")}).status, 0);
                EXPECT_EQ(ReadBytes(folder.File("ours.bmp")), ReadBytes(folder.File("twin.bmp")));
                continue;
            }
            // Lossy: within 1 % of the full scale on average (the encoders aim at what
            // the eye sees, not at a bound per sample), and never wrapped round.
            const std::size_t bytes = colour ? 1 : 2;
            double sum = 0;
            double worst = 0;
            for (std::size_t i = 0; i < frame.size(); i += bytes) {
                const double a = bytes == 2 ? frame[i] | frame[i + 1] << 8 : frame[i];
                const double b = bytes == 2 ? decoded.samples[i] | decoded.samples[i + 1] << 8 : decoded.samples[i];
                sum += std::fabs(a - b);
                worst = std::max(worst, std::fabs(a - b));
            }
            const double scale = colour ? 255.0 : 65535.0;
            EXPECT_LT(sum / static_cast<double>(frame.size() / bytes) / scale, 0.01) << worst;
            EXPECT_LT(worst / scale, 0.5);
        }
    }
}
