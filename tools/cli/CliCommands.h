// The four subcommands of dorvanelle-cli. Each returns the process's exit status.
#pragma once

#include "tools/cli/CliOptions.h"

namespace exit_status {
inline constexpr int kDone = 0;
inline constexpr int kInputUnreadable = 1;  // also: convert has nothing to write
inline constexpr int kUsage = 2;
inline constexpr int kOutputUnwritable = 3;
}  // namespace exit_status

int RunInfo(const CliOptions& options);
int RunConvert(const CliOptions& options);
int RunDump(const CliOptions& options);
int RunHistogram(const CliOptions& options);
int RunStats(const CliOptions& options);

class CDorvanelleDoc;
// Opens `path` into `doc` as the viewer does, then applies the options in their fixed
// order: frame, window width, window centre, selection. Exit status, or -1 when the
// document is ready.
int OpenDocument(CDorvanelleDoc& doc, const CliOptions& options, const std::string& path);
// Writes `text` to stdout; 0, or the status of an output that could not be written.
int Finish(const std::string& text);

// Writes `text` to stdout; false when it could not be written in full.
bool WriteStdout(const std::string& text);
