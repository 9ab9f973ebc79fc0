// The command line of dorvanelle-cli: a subcommand, its file arguments and the
// options that change the document after opening it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/Geometry.h"

enum class Subcommand { None, Info, Convert, Dump, Histogram, Index, Stats };

struct CliOptions {
    Subcommand subcommand = Subcommand::None;
    bool help = false;
    std::vector<std::string> files;  // FILE..., IN and OUT, or the inputs of a batch
    std::optional<std::int32_t> frame;
    std::optional<std::int32_t> width;
    std::optional<std::int32_t> center;
    std::optional<DibRect> select;  // as given: not yet normalised or clamped
    bool json = false;              // dump only
    // --memory-limit: the bytes one frame's decode may take (see DecodeMemoryBudget).
    std::optional<std::uint64_t> memoryLimit;
    bool version = false;

    // convert --out-dir: many inputs, one output folder (see BatchConvert.h)
    std::string outDir;
    std::string format = "bmp";  // "bmp" or "dcm"
    bool allFrames = false;
    int jobs = 0;  // 0: one per core (index: files read at once)
    bool bySeries = false;  // convert --out-dir: the inputs indexed, each series in a folder

    // index
    bool instances = false;  // one line per instance after its series' line

    // stats: the ellipse inscribed in --select instead of the rectangle
    bool ellipse = false;

    bool IsBatch() const { return !outDir.empty(); }
};

// Parses argv. On a usage fault returns nullopt and puts the reason in `error`.
std::optional<CliOptions> ParseCommandLine(int argc, const char* const* argv, std::string& error);

// The usage text of the tool (Subcommand::None) or of one subcommand.
const char* UsageText(Subcommand subcommand);
