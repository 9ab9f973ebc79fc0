// Compressed studies: a frame step on a 100-frame JPEG-lossless and JPEG 2000
// study costs one frame's decode wherever the frame lies (first frames against
// last frames), and a shown frame costs little more than the decoder's own work on
// the same stream. One 512 x 512 16-bit frame is compressed by DCMTK's or
// OpenJPEG's tool and repeated 100 times, one fragment per frame, without offsets.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "codecs/FrameDecoder.h"
#include "dicom/DicomFile.h"
#include "dicom/FrameRender.h"
#include "tests/support/TempFiles.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "tools/generator/PhantomStudy.h"

namespace {

constexpr std::uint16_t kSize = 512;
constexpr std::uint32_t kFrames = 100;

void Run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
        std::fprintf(stderr, "codecs_bench: '%s' failed (DCMTK and OpenJPEG's tools are needed)\n", command.c_str());
        std::exit(1);
    }
}

struct Study {
    std::vector<std::uint8_t> stream;  // one frame's codestream
    std::string path;                  // the 100-frame study
};

// One phantom frame compressed by the tools, and a study that repeats it.
class Studies {
public:
    static const Study& Get(FrameCodec codec) {
        static Studies studies;
        auto it = studies.m_studies.find(codec);
        if (it == studies.m_studies.end()) {
            it = studies.m_studies.emplace(codec, studies.Make(codec)).first;
        }
        return it->second;
    }

private:
    Study Make(FrameCodec codec) {
        PhantomOptions o;
        o.rows = o.columns = kSize;
        o.frames = 1;
        const std::string plain = m_folder.File("plain.dcm");
        if (!WriteCtPhantom(plain, o).empty()) {
            std::abort();
        }
        Study study;
        const char* syntax = "1.2.840.10008.1.2.4.70";
        if (codec == FrameCodec::Jpeg) {
            // The stream is the JPEG inside the compressed file: from SOI to EOI.
            Run("dcmcjpeg +e1 " + plain + " " + m_folder.File("jpeg.dcm"));
            const auto file = ReadFileBytes(m_folder.File("jpeg.dcm"));
            std::size_t soi = 0;
            while (soi + 1 < file.size() && !(file[soi] == 0xFF && file[soi + 1] == 0xD8))
                ++soi;
            std::size_t eoi = file.size() - 2;
            while (eoi > soi && !(file[eoi] == 0xFF && file[eoi + 1] == 0xD9))
                --eoi;
            study.stream.assign(file.begin() + static_cast<std::ptrdiff_t>(soi),
                                file.begin() + static_cast<std::ptrdiff_t>(eoi + 2));
        } else {
            syntax = "1.2.840.10008.1.2.4.90";
            std::ofstream pgm(m_folder.File("frame.pgm"), std::ios::binary);
            pgm << "P5\n" << kSize << " " << kSize << "\n65535\n";
            for (std::uint16_t r = 0; r < kSize; ++r) {
                for (std::uint16_t c = 0; c < kSize; ++c) {
                    const auto v = static_cast<std::uint16_t>(PhantomSample(o, 0, r, c));
                    pgm.put(static_cast<char>(v >> 8)).put(static_cast<char>(v));
                }
            }
            pgm.close();
            Run("opj_compress -i " + m_folder.File("frame.pgm") + " -o " + m_folder.File("frame.j2k"));
            study.stream = ReadFileBytes(m_folder.File("frame.j2k"));
        }
        if (study.stream.size() % 2 != 0) {
            study.stream.push_back(0);
        }
        DicomStreamBuilder b;
        b.Preamble().MetaGroup(syntax).ImageAttributes(kSize, kSize, 16);
        b.ExplicitText(0x0028, 0x0008, "IS", std::to_string(kFrames))
            .ExplicitUS(0x0028, 0x0101, 16)
            .ExplicitUS(0x0028, 0x0102, 15)
            .ExplicitUS(0x0028, 0x0103, 0)
            .ExplicitText(0x0028, 0x1050, "DS", "1064")
            .ExplicitText(0x0028, 0x1051, "DS", "400");
        b.ExplicitHeader(0x7FE0, 0x0010, "OB", 0xFFFFFFFFu).U16(0xFFFE).U16(0xE000).U32(0);
        for (std::uint32_t f = 0; f < kFrames; ++f) {
            b.U16(0xFFFE).U16(0xE000).U32(static_cast<std::uint32_t>(study.stream.size())).Raw(study.stream);
        }
        b.U16(0xFFFE).U16(0xE0DD).U32(0);
        study.path = m_folder.File(codec == FrameCodec::Jpeg ? "jpeg100.dcm" : "j2k100.dcm");
        if (!b.WriteTo(study.path)) {
            std::abort();
        }
        return study;
    }

    TempFolder m_folder;
    std::map<FrameCodec, Study> m_studies;
};

// Steps back and forth between two neighbouring frames, so that every step decodes.
void Step(benchmark::State& state, FrameCodec codec, std::int32_t first) {
    CDicomFile reader;
    reader.Reset();
    if (reader.LoadFile(Studies::Get(codec).path)) {
        std::abort();
    }
    reader.ParseElements(reader.DetectLayout());
    std::int32_t step = 0;
    for (auto _ : state) {
        // A frame not kept: every step decodes.
        auto samples = reader.Frames()->FrameUncached(first + (step++ & 1));
        if (!samples) {
            state.SkipWithError(samples.Why().Text().c_str());
            break;
        }
        auto dib = RenderFrame(**samples, *reader.Attributes(), DisplayState());
        benchmark::DoNotOptimize(dib->get());
    }
}

// The decoder alone on the same stream: the floor a shown frame is measured against.
void DecodeOnly(benchmark::State& state, FrameCodec codec) {
    const Study& study = Studies::Get(codec);
    FrameGeometry g;
    g.rows = g.columns = kSize;
    g.bitsAllocated = 16;
    DecodedFrame out;
    for (auto _ : state) {
        if (!DecodeFrame(codec, study.stream, g, out, nullptr)) {
            state.SkipWithError("the frame did not decode");
            break;
        }
        benchmark::DoNotOptimize(out.samples.data());
    }
}

void BM_JpegLosslessDecodeOnly(benchmark::State& s) { DecodeOnly(s, FrameCodec::Jpeg); }
void BM_JpegLosslessStepFirstFrames(benchmark::State& s) { Step(s, FrameCodec::Jpeg, 0); }
void BM_JpegLosslessStepLastFrames(benchmark::State& s) { Step(s, FrameCodec::Jpeg, kFrames - 2); }
void BM_Jpeg2000DecodeOnly(benchmark::State& s) { DecodeOnly(s, FrameCodec::Jpeg2000); }
void BM_Jpeg2000StepFirstFrames(benchmark::State& s) { Step(s, FrameCodec::Jpeg2000, 0); }
void BM_Jpeg2000StepLastFrames(benchmark::State& s) { Step(s, FrameCodec::Jpeg2000, kFrames - 2); }

}  // namespace

BENCHMARK(BM_JpegLosslessDecodeOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLosslessStepFirstFrames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLosslessStepLastFrames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg2000DecodeOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg2000StepFirstFrames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg2000StepLastFrames)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
