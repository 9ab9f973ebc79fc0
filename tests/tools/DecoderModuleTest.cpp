// dorvanelle-cli loads a frame decoder's module only when a frame needs it, one
// module per library. Where a module cannot be loaded, the frames it decodes give
// no image and a reason of their own, and everything else works as before.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/TempFiles.h"
#include "tests/tools/CliRunner.h"
#include "tools/generator/PhantomStudy.h"

namespace {

// Points the decoder lookup of the programs this test starts at `folder`.
class CodecsFolder {
public:
    explicit CodecsFolder(const std::string& folder) { setenv("DORVANELLE_CODECS_DIR", folder.c_str(), 1); }
    ~CodecsFolder() { unsetenv("DORVANELLE_CODECS_DIR"); }
    CodecsFolder(const CodecsFolder&) = delete;
    CodecsFolder& operator=(const CodecsFolder&) = delete;
};

constexpr const char* kModules[] = {"dorvanelle-codecs-libjpeg-turbo.so", "dorvanelle-codecs-dcmtk.so",
                                    "dorvanelle-codecs-charls.so", "dorvanelle-codecs-openjpeg.so",
                                    "dorvanelle-codecs-libjxl.so"};

}  // namespace

TEST(DecoderModule, WithoutItCompressedFramesSayWhyAndTheRestStillConverts) {
    if (std::system("command -v dcmcjpeg >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "DCMTK's dcmcjpeg is missing (scripts/install-deps)";
    }
    TempFolder folder;
    PhantomOptions o;
    o.rows = 32;
    o.columns = 40;
    o.frames = 2;
    const std::string plain = folder.File("plain.dcm");
    ASSERT_EQ(WriteCtPhantom(plain, o), "");
    const std::string jpeg = folder.File("jpeg.dcm");
    ASSERT_EQ(std::system(("dcmcjpeg +e1 " + plain + " " + jpeg + " >/dev/null 2>&1").c_str()), 0);
    // Found beside the program, as in the build tree.
    EXPECT_EQ(RunCli({"convert", jpeg, folder.File("found.bmp")}).status, 0);

    const std::string empty = folder.File("empty");
    std::filesystem::create_directory(empty);
    const std::string broken = folder.File("broken");
    std::filesystem::create_directory(broken);
    for (const char* module : kModules) {
        WriteFileBytes(broken + "/" + module, std::string_view("not a shared object"));
    }
    for (const std::string& where : {empty, broken, folder.File("missing")}) {
        SCOPED_TRACE(where);
        const CodecsFolder codecs(where);
        const std::string out = folder.File("out.bmp");
        const CliRun run = RunCli({"convert", jpeg, out});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("the decoders for compressed frames could not be loaded"), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(out));
        EXPECT_EQ(RunCli({"convert", plain, out, "--frame", "1"}).status, 0);
        EXPECT_TRUE(std::filesystem::exists(out));
        std::filesystem::remove(out);
        // The header is read without decoders; only the image is missing.
        const CliRun info = RunCli({"info", jpeg});
        EXPECT_NE(info.out.find("\"image\": null"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("\"transfer_syntax\": \"1.2.840.10008.1.2.4.70\""), std::string::npos);
    }
}

TEST(DecoderModule, AnEightBitJpegFrameNeedsOnlyTheLibjpegTurboModule) {
    if (std::system("command -v dcmcjpeg >/dev/null 2>&1") != 0 || std::system("command -v cjpeg >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "DCMTK's dcmcjpeg or cjpeg is missing (scripts/install-deps)";
    }
    TempFolder folder;
    PhantomOptions o;
    o.rows = 24;
    o.columns = 40;
    o.frames = 1;
    const std::string pgm = folder.File("frame.pgm");
    ASSERT_EQ(WritePhantomPgm(pgm, o, 0, 8), "");
    const std::string jpg = folder.File("frame.jpg");
    ASSERT_EQ(std::system(("cjpeg -grayscale " + pgm + " >" + jpg).c_str()), 0);
    std::ifstream in(jpg, std::ios::binary);
    const std::vector<std::uint8_t> stream{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string baseline = folder.File("baseline.dcm");
    ASSERT_EQ(WriteEncapsulatedPhantom(baseline, o, "1.2.840.10008.1.2.4.50", 8, stream), "");
    const std::string plain = folder.File("plain.dcm");
    ASSERT_EQ(WriteCtPhantom(plain, o), "");
    const std::string lossless = folder.File("lossless.dcm");
    ASSERT_EQ(std::system(("dcmcjpeg +e1 " + plain + " " + lossless + " >/dev/null 2>&1").c_str()), 0);

    // A folder holding the libjpeg-turbo module alone.
    const std::string turbo = folder.File("turbo");
    std::filesystem::create_directory(turbo);
    const std::filesystem::path programs = std::filesystem::path(DORVANELLE_CLI).parent_path();
    std::filesystem::copy_file(programs / kModules[0], std::filesystem::path(turbo) / kModules[0]);
    const CodecsFolder codecs(turbo);
    EXPECT_EQ(RunCli({"convert", baseline, folder.File("baseline.bmp")}).status, 0);
    // Lossless JPEG is DCMTK's, whose module is not there.
    const CliRun run = RunCli({"convert", lossless, folder.File("lossless.bmp")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("dorvanelle-codecs-dcmtk.so"), std::string::npos) << run.err;
}
