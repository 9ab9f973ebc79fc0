// dorvanelle-cli index: the study index as JSON Lines, and the study index behind
// convert --out-dir --by-series.
#pragma once

#include <string>

#include "document/StudyIndex.h"
#include "tools/cli/CliOptions.h"

int RunIndex(const CliOptions& options);

// Indexes the inputs as `index` does, with a progress line on a terminal and the
// problems counted on stderr. Exit status so far: 0, or 1 when a path named
// cannot be read.
IndexResult IndexInputs(const CliOptions& options, int& status);

// A reason's words as the label of all reasons of its code: the path it names
// becomes "the file".
std::string ProblemLabel(const Reason& reason);
