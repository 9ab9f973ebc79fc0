// The decoders against DCMTK's and OpenJPEG's encoders: generated studies are
// compressed by the tools and every frame must decode to the original samples
// (lossless) or to what DCMTK's own decompressor makes of it (lossy). Corrupt and
// mismatched streams must give a reason, never a crash.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "codecs/DecodeFailure.h"
#include "codecs/FrameDecoder.h"
#include "dicom/EncapsulatedPixelData.h"
#include "tests/codecs/CodecTestSupport.h"
#include "tests/support/TempFiles.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "tools/generator/PhantomStudy.h"

namespace {

PhantomOptions SmallPhantom() {
    PhantomOptions o;
    o.rows = 40;
    o.columns = 56;  // not square: a transposed decode does not pass
    o.frames = 3;
    return o;
}

FrameGeometry PhantomGeometry(const PhantomOptions& o) {
    FrameGeometry g;
    g.rows = o.rows;
    g.columns = o.columns;
    g.samplesPerPixel = 1;
    g.bitsAllocated = 16;
    g.isSigned = true;
    return g;
}

std::vector<std::uint8_t> PhantomFrameBytes(const PhantomOptions& o, std::uint32_t frame) {
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t r = 0; r < o.rows; ++r) {
        for (std::uint16_t c = 0; c < o.columns; ++c) {
            const auto v = static_cast<std::uint16_t>(PhantomSample(o, frame, r, c));
            bytes.push_back(static_cast<std::uint8_t>(v));
            bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    }
    return bytes;
}

// Decodes frame `frame` of an encapsulated file the way the reader does.
bool DecodeFileFrame(const std::vector<std::uint8_t>& file, FrameCodec codec, std::uint32_t frames, std::uint32_t frame,
                     const FrameGeometry& g, DecodedFrame& out, Reason* why) {
    bool encapsulated = false;
    const auto value = PixelDataValue(file, &encapsulated);
    EncapsulatedPixelData pixels;
    std::vector<std::size_t> indices;
    std::vector<std::uint8_t> joined;
    if (!encapsulated || !ParseFragments(value, pixels, why) ||
        !FrameFragments(pixels, {}, frames, frame, codec, indices, why)) {
        return false;
    }
    return DecodeFrame(codec, FrameStream(value, pixels, indices, joined), g, out, why);
}

// An 8-bit RGB study of one frame with a colour ramp; returns its samples, or
// nothing when it cannot be written.
std::vector<std::uint8_t> WriteRgbStudy(const std::string& path, std::uint16_t rows, std::uint16_t columns) {
    std::vector<std::uint8_t> rgb;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            rgb.push_back(static_cast<std::uint8_t>(c * 7));
            rgb.push_back(static_cast<std::uint8_t>(r * 10));
            rgb.push_back(static_cast<std::uint8_t>((r * c) % 256));
        }
    }
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup(kExplicitVrLittleEndian, "1.2.840.10008.5.1.4.1.1.7")
        .ExplicitText(0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.7")
        .ExplicitText(0x0008, 0x0018, "UI", "2.25.2718281828459045235360287471352662497.1.1")
        .ExplicitUS(0x0028, 0x0002, 3)
        .ExplicitText(0x0028, 0x0004, "CS", "RGB")
        .ExplicitUS(0x0028, 0x0006, 0)
        .ExplicitUS(0x0028, 0x0010, rows)
        .ExplicitUS(0x0028, 0x0011, columns)
        .ExplicitUS(0x0028, 0x0100, 8)
        .ExplicitUS(0x0028, 0x0101, 8)
        .ExplicitUS(0x0028, 0x0102, 7)
        .ExplicitUS(0x0028, 0x0103, 0)
        .PixelData8(rgb);
    return b.WriteTo(path) ? rgb : std::vector<std::uint8_t>();
}

struct Compression {
    const char* tool;
    const char* options;
    FrameCodec codec;
};

}  // namespace

// Lossless compressions of a signed 16-bit multi-frame study, with and without an
// offset table and with frames split over several fragments: every frame comes
// back sample for sample.
TEST(FrameDecoding, LosslessCompressionsOfGeneratedStudiesDecodeToTheOriginalSamples) {
    const Compression kinds[] = {
        {"dcmcjpeg", "+e1", FrameCodec::Jpeg},
        {"dcmcjpeg", "+el -ot +fs 1", FrameCodec::Jpeg},  // no offset table, fragments of 1 KiB
        {"dcmcjpeg", "+e1 +ot +fs 1", FrameCodec::Jpeg},  // offset table over several fragments
        {"dcmcjpls", "", FrameCodec::JpegLs},
        {"dcmcrle", "", FrameCodec::Rle},
        {"dcmcrle", "-ot", FrameCodec::Rle},
    };
    const PhantomOptions o = SmallPhantom();
    TempFolder folder;
    ASSERT_EQ(WriteCtPhantom(folder.File("plain.dcm"), o), "");
    for (const Compression& kind : kinds) {
        SCOPED_TRACE(std::string(kind.tool) + " " + kind.options);
        if (!HaveTool(kind.tool)) {
            GTEST_SKIP() << kind.tool << " is not installed (scripts/install-deps)";
        }
        const std::string out = folder.File("compressed.dcm");
        ASSERT_TRUE(
            RunQuietly(std::string(kind.tool) + " " + kind.options + " " + folder.File("plain.dcm") + " " + out));
        const auto file = ReadBytes(out);
        for (std::uint32_t f = 0; f < o.frames; ++f) {
            DecodedFrame decoded;
            Reason why;
            ASSERT_TRUE(DecodeFileFrame(file, kind.codec, o.frames, f, PhantomGeometry(o), decoded, &why)) << why;
            EXPECT_EQ(PlainBytes(decoded.samples), PhantomFrameBytes(o, f)) << "frame " << f;
        }
    }
}

// JPEG 2000 codestreams and JP2 files from OpenJPEG, lossless: the same samples.
TEST(FrameDecoding, Jpeg2000CodestreamsAndJp2FilesDecodeToTheOriginalSamples) {
    if (!HaveTool("opj_compress")) {
        GTEST_SKIP() << "opj_compress is not installed (scripts/install-deps)";
    }
    const PhantomOptions o = SmallPhantom();
    TempFolder folder;
    // A 16-bit PGM holds the first frame's samples, most significant byte first.
    const auto frame = PhantomFrameBytes(o, 1);
    {
        std::ofstream pgm(folder.File("frame.pgm"), std::ios::binary);
        pgm << "P5\n" << o.columns << " " << o.rows << "\n65535\n";
        for (std::size_t i = 0; i < frame.size(); i += 2) {
            pgm.put(static_cast<char>(frame[i + 1])).put(static_cast<char>(frame[i]));
        }
    }
    FrameGeometry g = PhantomGeometry(o);
    g.isSigned = false;
    for (const char* extension : {"j2k", "jp2"}) {
        SCOPED_TRACE(extension);
        const std::string out = folder.File(std::string("frame.") + extension);
        ASSERT_TRUE(RunQuietly("opj_compress -i " + folder.File("frame.pgm") + " -o " + out));
        DecodedFrame decoded;
        Reason why;
        ASSERT_TRUE(DecodeFrame(FrameCodec::Jpeg2000, ReadBytes(out), g, decoded, &why)) << why;
        EXPECT_EQ(PlainBytes(decoded.samples), frame);
    }
}

// Lossy 8-bit colour: baseline JPEG in YBR (subsampled 4:2:2) and in RGB gives
// what DCMTK's own decompressor gives, and says when it turned YBR into RGB.
TEST(FrameDecoding, BaselineColourMatchesDcmtksDecompressor) {
    if (!HaveTool("dcmcjpeg") || !HaveTool("dcmdjpeg")) {
        GTEST_SKIP() << "DCMTK's tools are not installed (scripts/install-deps)";
    }
    const std::uint16_t rows = 24;
    const std::uint16_t columns = 34;
    TempFolder folder;
    ASSERT_FALSE(WriteRgbStudy(folder.File("rgb.dcm"), rows, columns).empty());
    struct Case {
        const char* options;
        bool ybr;
    };
    for (const Case& c : {Case{"+eb", true}, Case{"+eb +cr", false}, Case{"+eb +cy +s2", true}}) {
        SCOPED_TRACE(c.options);
        ASSERT_TRUE(RunQuietly(std::string("dcmcjpeg ") + c.options + " " + folder.File("rgb.dcm") + " " +
                               folder.File("jpeg.dcm")));
        ASSERT_TRUE(RunQuietly("dcmdjpeg " + folder.File("jpeg.dcm") + " " + folder.File("twin.dcm")));
        const auto twinFile = ReadBytes(folder.File("twin.dcm"));
        bool encapsulated = true;
        const auto twin = PixelDataValue(twinFile, &encapsulated);
        ASSERT_FALSE(encapsulated);
        FrameGeometry g;
        g.rows = rows;
        g.columns = columns;
        g.samplesPerPixel = 3;
        g.bitsAllocated = 8;
        g.ybr = c.ybr;
        DecodedFrame decoded;
        Reason why;
        ASSERT_TRUE(DecodeFileFrame(ReadBytes(folder.File("jpeg.dcm")), FrameCodec::Jpeg, 1, 0, g, decoded, &why))
            << why;
        EXPECT_EQ(decoded.convertedToRgb, c.ybr);
        EXPECT_TRUE(std::equal(decoded.samples.begin(), decoded.samples.end(), twin.begin(), twin.end()));
    }
}

// JPEG-LS colour coded plane by plane, one scan per component, decodes to the
// original samples. A stream whose later scan switches to line interleaving is
// refused: the decoder would lay that scan out for three components in the space
// of one plane, past the end of the frame.
TEST(FrameDecoding, JpegLsScansMustShareTheFirstScansInterleaving) {
    if (!HaveTool("dcmcjpls")) {
        GTEST_SKIP() << "DCMTK's tools are not installed (scripts/install-deps)";
    }
    const std::uint16_t rows = 6;
    const std::uint16_t columns = 8;
    TempFolder folder;
    const auto rgb = WriteRgbStudy(folder.File("rgb.dcm"), rows, columns);
    ASSERT_FALSE(rgb.empty());
    ASSERT_TRUE(RunQuietly("dcmcjpls +in " + folder.File("rgb.dcm") + " " + folder.File("jpls.dcm")));
    const auto file = ReadBytes(folder.File("jpls.dcm"));
    FrameGeometry g;
    g.rows = rows;
    g.columns = columns;
    g.samplesPerPixel = 3;
    DecodedFrame decoded;
    Reason why;
    ASSERT_TRUE(DecodeFileFrame(file, FrameCodec::JpegLs, 1, 0, g, decoded, &why)) << why;
    EXPECT_EQ(PlainBytes(decoded.samples), rgb);

    bool encapsulated = false;
    const auto value = PixelDataValue(file, &encapsulated);
    EncapsulatedPixelData pixels;
    ASSERT_TRUE(ParseFragments(value, pixels, nullptr));
    const auto& f = pixels.fragments.at(0);
    std::vector<std::uint8_t> stream(value.begin() + static_cast<std::ptrdiff_t>(f.valueStart),
                                     value.begin() + static_cast<std::ptrdiff_t>(f.valueStart + f.length));
    // The third scan header: FF DA, length 8, one component, its id and table, NEAR, ILV.
    std::size_t scan = 0;
    std::size_t at = 0;
    for (std::size_t i = 0; i + 1 < stream.size() && scan < 3; ++i) {
        if (stream[i] == 0xFF && stream[i + 1] == 0xDA) {
            ++scan;
            at = i;
        }
    }
    ASSERT_EQ(scan, 3u);
    ASSERT_EQ(stream.at(at + 8), 0);
    stream[at + 8] = 1;
    EXPECT_FALSE(DecodeFrame(FrameCodec::JpegLs, stream, g, decoded, &why));
    EXPECT_TRUE(why.Is(DecodeFailure::JpegLsScansDisagree)) << why;
    EXPECT_TRUE(decoded.samples.empty());
}

// Streams that do not fit the file's geometry, truncated streams and noise give a
// reason and no samples.
TEST(FrameDecoding, MismatchedTruncatedAndCorruptStreamsGiveAReason) {
    if (!HaveTool("dcmcjpeg") || !HaveTool("dcmcjpls") || !HaveTool("dcmcrle") || !HaveTool("opj_compress")) {
        GTEST_SKIP() << "DCMTK's or OpenJPEG's tools are not installed (scripts/install-deps)";
    }
    PhantomOptions o = SmallPhantom();
    o.frames = 1;
    TempFolder folder;
    ASSERT_EQ(WriteCtPhantom(folder.File("plain.dcm"), o), "");
    std::vector<std::pair<FrameCodec, std::vector<std::uint8_t>>> streams;
    for (auto [tool, codec] : {std::pair{"dcmcjpeg", FrameCodec::Jpeg}, std::pair{"dcmcjpls", FrameCodec::JpegLs},
                               std::pair{"dcmcrle", FrameCodec::Rle}}) {
        ASSERT_TRUE(RunQuietly(std::string(tool) + " " + folder.File("plain.dcm") + " " + folder.File("c.dcm")));
        const auto file = ReadBytes(folder.File("c.dcm"));
        bool encapsulated = false;
        const auto value = PixelDataValue(file, &encapsulated);
        EncapsulatedPixelData pixels;
        ASSERT_TRUE(ParseFragments(value, pixels, nullptr));
        ASSERT_EQ(pixels.fragments.size(), 1u);
        const auto& f = pixels.fragments[0];
        streams.emplace_back(
            codec, std::vector<std::uint8_t>(value.begin() + static_cast<std::ptrdiff_t>(f.valueStart),
                                             value.begin() + static_cast<std::ptrdiff_t>(f.valueStart + f.length)));
    }
    const FrameGeometry g = PhantomGeometry(o);
    for (auto& [codec, stream] : streams) {
        SCOPED_TRACE(static_cast<int>(codec));
        DecodedFrame decoded;
        Reason why;
        FrameGeometry wrong = g;
        wrong.samplesPerPixel = 3;
        EXPECT_FALSE(DecodeFrame(codec, stream, wrong, decoded, &why));
        if (codec == FrameCodec::Rle) {
            EXPECT_TRUE(why.Is(DecodeFailure::RleSegmentCount)) << why;
        } else {
            // The words give both shapes, as the file and the stream tell them.
            EXPECT_TRUE(why.Is(DecodeFailure::GeometryMismatch)) << why;
            EXPECT_EQ(why.Text().substr(why.Text().find(" stream holds")),
                      " stream holds 56 x 40 x 1, the file says 56 x 40 x 3");
        }
        EXPECT_TRUE(decoded.samples.empty());

        why = Reason();
        const std::vector<std::uint8_t> head(stream.begin(), stream.begin() + 20);
        EXPECT_FALSE(DecodeFrame(codec, head, g, decoded, &why));
        EXPECT_TRUE(static_cast<bool>(why));

        // Noise after a valid header may decode to something or be refused; either
        // way the call returns.
        std::vector<std::uint8_t> noisy = stream;
        for (std::size_t i = noisy.size() / 3; i < noisy.size(); i += 7) {
            noisy[i] = static_cast<std::uint8_t>(noisy[i] * 31 + 17);
        }
        (void)DecodeFrame(codec, noisy, g, decoded, &why);
    }
    Reason why;
    DecodedFrame decoded;
    const std::vector<std::uint8_t> noise(300, 0xA5);
    for (FrameCodec codec : {FrameCodec::Jpeg, FrameCodec::JpegLs, FrameCodec::Jpeg2000, FrameCodec::Rle}) {
        why = Reason();
        EXPECT_FALSE(DecodeFrame(codec, noise, g, decoded, &why));
        EXPECT_TRUE(static_cast<bool>(why));
    }
    // A frame of gigabytes claimed by a few bytes is refused before it is allocated.
    FrameGeometry huge = g;
    huge.rows = huge.columns = 40000;
    EXPECT_FALSE(DecodeFrame(FrameCodec::Rle, noise, huge, decoded, &why));
    EXPECT_TRUE(why.Is(DecodeFailure::StreamTooSmall)) << why;
    // Run-length data cannot give more than 64 times its bytes, even below a MiB.
    FrameGeometry square = g;
    square.rows = square.columns = 512;
    square.samplesPerPixel = 1;
    square.bitsAllocated = 8;
    EXPECT_FALSE(DecodeFrame(FrameCodec::Rle, std::vector<std::uint8_t>(4095, 0), square, decoded, &why));
    EXPECT_TRUE(why.Is(DecodeFailure::RleTooShort)) << why;
    // A geometry that cannot be decoded into is refused before any decoder runs.
    FrameGeometry odd = g;
    odd.bitsAllocated = 12;
    EXPECT_FALSE(DecodeFrame(FrameCodec::Rle, streams.back().second, odd, decoded, &why));
    EXPECT_TRUE(why.Is(DecodeFailure::FrameNotDecodable)) << why;
}

// Deflated data sets: a round trip, a truncated stream, and a bomb refused by the cap.
TEST(FrameDecoding, InflateRefusesBombsAndTruncatedStreams) {
    if (!HaveTool("python3")) {
        GTEST_SKIP() << "python3 is needed to deflate test data";
    }
    TempFolder folder;
    const std::string script =
        "import zlib,sys\n"
        "def raw(b):\n"
        "    c=zlib.compressobj(9,zlib.DEFLATED,-15); return c.compress(b)+c.flush()\n"
        "open(sys.argv[1],'wb').write(raw(bytes(range(256))*40))\n"
        "open(sys.argv[2],'wb').write(raw(bytes(64*1024*1024)))\n";
    { std::ofstream(folder.File("make.py")) << script; }
    ASSERT_TRUE(
        RunQuietly("python3 " + folder.File("make.py") + " " + folder.File("small") + " " + folder.File("bomb")));
    const auto small = ReadBytes(folder.File("small"));
    std::vector<std::uint8_t> out;
    Reason why;
    ASSERT_TRUE(InflateDataSet(small, InflateCap(small.size()), out, &why)) << why;
    ASSERT_EQ(out.size(), 256u * 40);
    EXPECT_EQ(out[257], 1);

    EXPECT_FALSE(InflateDataSet(std::span(small).first(small.size() / 2), InflateCap(small.size()), out, &why));
    EXPECT_TRUE(why.Is(InflateFailure::Truncated)) << why;

    const auto bomb = ReadBytes(folder.File("bomb"));
    EXPECT_FALSE(InflateDataSet(bomb, InflateCap(bomb.size()), out, &why));
    EXPECT_TRUE(why.Is(InflateFailure::TooLarge)) << why;
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(InflateCap(std::size_t{1} << 40), std::size_t{2} << 30);
}

// OpenJPEG 2.5.0 stops the process (an assertion in its High-Throughput block
// decoder) on this stream, found by the codec fuzz target: it decodes in a child
// process, so the caller gets a reason and goes on.
TEST(FrameDecoding, AStreamOnWhichItsLibraryStopsGivesAReason) {
    const auto input = ReadBytes(std::string(DORVANELLE_SOURCE_DIR) + "/fuzz/corpus/fuzz_codecs/htj2k-mel-assert");
    ASSERT_GT(input.size(), 8u);
    const std::vector<std::uint8_t> stream(input.begin() + 8, input.end());
    FrameGeometry g;
    g.rows = 16;
    g.columns = 24;
    g.samplesPerPixel = 3;
    DecodedFrame decoded;
    Reason why;
    for (const FrameCodec codec : {FrameCodec::HtJpeg2000, FrameCodec::Jpeg2000}) {
        EXPECT_FALSE(DecodeFrame(codec, stream, g, decoded, &why));
        EXPECT_TRUE(why.Is(DecodeFailure::DecoderStopped)) << why;
        EXPECT_EQ(why.Text(), "the HTJ2K stream is corrupt: its decoder stopped on it");
        EXPECT_TRUE(decoded.samples.empty());
    }
}

// A process with a handler of its own for the stop (a fuzzer records a crash and
// exits) still hears that the decoder stopped: the child takes the signal plainly.
TEST(FrameDecoding, ADecoderThatStopsIsReportedWhateverHandlerTheCallerInstalled) {
    const auto input = ReadBytes(std::string(DORVANELLE_SOURCE_DIR) + "/fuzz/corpus/fuzz_codecs/htj2k-mel-assert");
    ASSERT_GT(input.size(), 8u);
    const std::vector<std::uint8_t> stream(input.begin() + 8, input.end());
    FrameGeometry g;
    g.rows = 16;
    g.columns = 24;
    g.samplesPerPixel = 3;
    struct sigaction exits {};
    exits.sa_handler = [](int) { _exit(0); };
    sigemptyset(&exits.sa_mask);
    struct sigaction before {};
    ASSERT_EQ(sigaction(SIGABRT, &exits, &before), 0);
    DecodedFrame decoded;
    Reason why;
    const bool done = DecodeFrame(FrameCodec::HtJpeg2000, stream, g, decoded, &why);
    sigaction(SIGABRT, &before, nullptr);
    EXPECT_FALSE(done);
    EXPECT_TRUE(why.Is(DecodeFailure::DecoderStopped)) << why;
}
