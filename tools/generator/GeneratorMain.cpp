// dorvanelle-gen: writes a generated CT-like phantom study, as one multi-frame file
// or, with --study, as a folder of series of single-frame files.
//
//   dorvanelle-gen [--rows N] [--columns N (or --cols N)] [--frames N] [--extra-elements N]
//                  [--window WIDTH CENTRE | --no-window] [--intercept N]
//                  [--uid-root ROOT] [--instance N] [--pgm BITS | --encapsulate SYNTAX BITS STREAM] OUTPUT
//   dorvanelle-gen --study [--series N] [--slices N] [--rows N] [--columns N] [--in-order]
//                  [--dicomdir] FOLDER
// --pgm writes the first frame as a PGM picture for an encoder's tool instead of a
// study; --encapsulate writes the study with every frame compressed as STREAM (a
// file an encoder wrote) in the transfer syntax SYNTAX, with BITS allocated.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/generator/PhantomStudy.h"
#include "tools/generator/SeriesStudy.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: dorvanelle-gen [--rows N] [--columns N] [--frames N] [--extra-elements N]\n"
                 "                      [--window WIDTH CENTRE | --no-window] [--intercept N] [--axial]\n"
                 "                      [--uid-root ROOT] [--instance N]\n"
                 "                      [--pgm BITS | --encapsulate SYNTAX BITS STREAM] OUTPUT\n"
                 "       dorvanelle-gen --study [--series N] [--slices N] [--rows N] [--columns N]\n"
                 "                      [--in-order] [--dicomdir] FOLDER\n");
}

// A whole decimal number within [low, high], or false.
bool ParseNumber(const char* text, long long low, long long high, long long& out) {
    char* end = nullptr;
    out = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && out >= low && out <= high;
}

}  // namespace

int main(int argc, char** argv) {
    PhantomOptions options;
    SeriesStudyOptions study;
    bool studyFolder = false;
    std::string output;
    long long pgmBits = 0;
    std::string syntax;
    long long streamBits = 0;
    std::string stream;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        long long a = 0;
        long long b = 0;
        const bool hasOne = i + 1 < argc;
        if (arg == "--rows" && hasOne && ParseNumber(argv[++i], 1, 65535, a)) {
            options.rows = static_cast<std::uint16_t>(a);
        } else if ((arg == "--columns" || arg == "--cols") && hasOne && ParseNumber(argv[++i], 1, 65535, a)) {
            options.columns = static_cast<std::uint16_t>(a);
        } else if (arg == "--frames" && hasOne && ParseNumber(argv[++i], 1, 100000, a)) {
            options.frames = static_cast<std::uint32_t>(a);
        } else if (arg == "--extra-elements" && hasOne && ParseNumber(argv[++i], 0, 10000000, a)) {
            options.extraElements = static_cast<std::uint32_t>(a);
        } else if (arg == "--window" && i + 2 < argc && ParseNumber(argv[i + 1], 0, 32767, a) &&
                   ParseNumber(argv[i + 2], -32768, 32767, b)) {
            options.windowWidth = static_cast<std::int16_t>(a);
            options.windowCenter = static_cast<std::int16_t>(b);
            options.writeWindow = true;
            i += 2;
        } else if (arg == "--study") {
            studyFolder = true;
        } else if (arg == "--series" && hasOne && ParseNumber(argv[++i], 1, 999, a)) {
            study.series = static_cast<std::uint32_t>(a);
        } else if (arg == "--slices" && hasOne && ParseNumber(argv[++i], 1, 999999, a)) {
            study.slices = static_cast<std::uint32_t>(a);
        } else if (arg == "--in-order") {
            study.shuffle = false;
        } else if (arg == "--dicomdir") {
            study.dicomDir = true;
        } else if (arg == "--axial") {
            options.orientation = "1\\0\\0\\0\\1\\0";
        } else if (arg == "--no-window") {
            options.writeWindow = false;
        } else if (arg == "--intercept" && hasOne && ParseNumber(argv[++i], -32768, 32767, a)) {
            options.rescaleIntercept = static_cast<std::int16_t>(a);
        } else if (arg == "--uid-root" && hasOne) {
            options.uidRoot = argv[++i];
        } else if (arg == "--instance" && hasOne && ParseNumber(argv[++i], 1, 99999999, a)) {
            options.instanceNumber = static_cast<std::uint32_t>(a);
        } else if (arg == "--pgm" && hasOne && ParseNumber(argv[++i], 8, 16, a)) {
            pgmBits = a;
        } else if (arg == "--encapsulate" && i + 3 < argc && ParseNumber(argv[i + 2], 8, 16, a) &&
                   (a == 8 || a == 16)) {
            syntax = argv[i + 1];
            streamBits = a;
            stream = argv[i + 3];
            i += 3;
        } else if (!arg.empty() && arg[0] != '-' && output.empty()) {
            output = arg;
        } else {
            Usage();
            return 2;
        }
    }
    if (output.empty()) {
        Usage();
        return 2;
    }
    study.rows = options.rows;
    study.columns = options.columns;
    std::string problem;
    if (studyFolder) {
        problem = WriteSeriesStudy(output, study);
    } else if (pgmBits != 0) {
        problem = WritePhantomPgm(output, options, 0, static_cast<int>(pgmBits));
    } else if (!stream.empty()) {
        std::ifstream in(stream, std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        problem = bytes.empty()
                      ? "cannot read " + stream
                      : WriteEncapsulatedPhantom(output, options, syntax, static_cast<int>(streamBits), bytes);
    } else {
        problem = WriteCtPhantom(output, options);
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "dorvanelle-gen: %s\n", problem.c_str());
        return 1;
    }
    return 0;
}
