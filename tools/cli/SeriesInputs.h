// The inputs of convert --out-dir --by-series: the inputs indexed, and every slice of
// every stack a conversion of its own, into a folder per series, named in slice order.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "document/StudyTree.h"
#include "tools/cli/BatchInputs.h"
#include "tools/cli/CliOptions.h"

// PATIENT_STUDYDATE/NUMBER_MODALITY_DESCRIPTION for a series' main stack, with
// "_stack2" and so on after it for the stacks split off; only letters, digits, "-",
// "." and "_" (others become "_").
std::filesystem::path SeriesFolder(const SeriesLevel& level, std::size_t stack);

// The slices of every stack of `tree`, each series in a folder of its own whose
// name is unique in the run, slices named 0001, 0002... in slice order.
std::vector<BatchInput> SeriesSlices(const StudyTree& tree);

// Indexes the options' inputs (see IndexInputs) and gives their slices.
std::vector<BatchInput> SeriesInputs(const CliOptions& options, const std::filesystem::path& outDir, int& status);
