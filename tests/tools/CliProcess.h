// Runs dorvanelle-cli as a child process that the test controls: under a limit on
// its address space, or to be signalled while it works.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/tools/CliRunner.h"

// Starts dorvanelle-cli with `args`, its output going to the files named (or
// /dev/null), and its address space limited to `addressSpace` bytes when not 0.
// With `fileSize` not 0, no file it writes may grow beyond that many bytes: a write
// past it fails (EFBIG) as it would on a full disk.
pid_t StartCli(const std::vector<std::string>& args, std::size_t addressSpace = 0, const std::string& out = "/dev/null",
               const std::string& err = "/dev/null", std::size_t fileSize = 0);

// Runs dorvanelle-cli to its end under the address-space limit. The status is the
// exit status, or minus the signal that ended it.
CliRun RunCliLimited(const std::vector<std::string>& args, std::size_t addressSpace);

// Waits for `pid` and returns the same kind of status.
int WaitForCli(pid_t pid);
// The same, but for at most `seconds`; a process still running then is killed, and
// the status is then -1000.
int WaitForCliAtMost(pid_t pid, int seconds);

// Whether the sanitizers are built in: they reserve terabytes of address space, so
// an address-space limit cannot apply.
bool SanitizersBuiltIn();
