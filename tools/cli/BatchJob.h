// One input of a batch conversion: opened as the viewer opens it, the options
// applied, and its image (or every frame) written under its planned name.
#pragma once

#include <string>
#include <vector>

#include "io/Reason.h"
#include "tools/cli/BatchInputs.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/OutputNaming.h"

enum class InputOutcome { Converted, NoImage, Failed };

enum class BatchNoImage {
    EmptySelection,  // --select leaves nothing of the image
};
std::string ReasonText(BatchNoImage code, const Reason& reason);

struct JobResult {
    InputOutcome outcome = InputOutcome::Converted;
    Reason noImage;                     // why there was no image (the first frame's reason)
    std::vector<std::string> messages;  // what went wrong, one line each, naming the input
    int written = 0;                    // files written
    bool cutShort = false;              // a stop signal came between two of its frames
};

// Converts `input` into the outputs planned for it. Several jobs run at once, each
// with a document of its own; `names` is shared. With every frame, the input ends
// at the first frame without an image, at the first write that fails, and between
// two frames when a stop signal came (StopSignals).
JobResult ConvertInput(const BatchInput& input, const std::string& plannedStem, const CliOptions& options,
                       OutputNames& names);
