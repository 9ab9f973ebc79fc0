// convert --out-dir: many inputs converted in one run by a few jobs at once, with a
// progress bar on a terminal and a summary at the end. Ctrl+C (or SIGTERM) stops
// the run between files: the files being converted are finished, no others begun.
#pragma once

#include "tools/cli/CliOptions.h"

// Exit status: 0 every input converted, 1 some input gave no image, 3 some output
// could not be written. A run stopped by a signal ends by that signal.
int RunBatchConvert(const CliOptions& options);
