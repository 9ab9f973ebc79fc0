// The inputs of a batch conversion: files named on the command line, and every file
// found by walking the folders named there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "io/Reason.h"

// Why a path found for a batch is not even tried.
enum class BatchInputProblem {
    NotOrdinaryFile,   // a pipe, device or socket: opening a pipe would wait for a writer
    FolderUnreadable,  // ErrorNumber says why
};
std::string ReasonText(BatchInputProblem code, const Reason& reason);

struct BatchInput {
    std::string path;              // as given, or the walked folder's path joined with the file's
    std::filesystem::path folder;  // where under the output folder its outputs go; empty for named files
    Reason problem;                // why it is not even tried, or empty
    // A slice of a series (convert --by-series): the frame it is, and its output's
    // stem (its place in the series) instead of one made from the file's name.
    std::optional<std::int32_t> frame;
    std::string stem;
};

// Expands `arguments` into inputs, in the order given; a folder's files follow in
// name order, its subfolders walked likewise, keeping their layout in `folder`.
// Files whose names start with "." are left out of walks, symbolic links to folders
// are not followed, and a subfolder that is the output folder `outDir` (canonical
// path) is skipped, so a run into a folder inside its input never converts its
// own outputs. A file
// reached twice is taken once. A folder that cannot be read becomes an input with
// that problem.
std::vector<BatchInput> CollectInputs(const std::vector<std::string>& arguments, const std::filesystem::path& outDir);
