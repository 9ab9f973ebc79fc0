// The network commands for a program that drives the helper (the viewer runs it as
// a child process): with --events each command writes one JSON object per line on
// standard output as things happen, and a last one that sums up:
//
//   {"event": "match", "values": {"PatientName": "DOE^JANE", ...}}            find
//   {"event": "progress", "stored": 3, "total": 10, "remaining": 7, "failed": 0}  get
//   {"event": "file", "path": "1.2.3/1.2.3.4.5.dcm"}                      get, under --out-dir
//   {"event": "sent", "index": 0, "stored": true, "problem": ""}                 send
//   {"event": "end", "failure": "...", "cancelled": false, ...counts...}         all
//
// Texts are UTF-8; "failure" is empty when the operation went through. A stored
// file's path is relative to the output folder, made of UIDs: plain ASCII whatever
// the folder is called. With --events, send takes its files as given (no folder
// walk, each file once per time given), so that "index" is the place in that list.
// TERM or INT cancels (C-CANCEL), and so does the end of the parent process.
#pragma once

#include <string>
#include <vector>

#include "net/CancelToken.h"
#include "tools/cli/NetOptions.h"

int RunNetCommandWithEvents(const NetOptions& options, const std::vector<std::string>& files,
                            const CancelToken& cancel);
