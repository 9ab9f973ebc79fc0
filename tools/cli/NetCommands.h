// The network commands of dorvanelle-cli, run by its network helper. Each returns
// the process's exit status: 0 done, 1 partly done (files refused or not kept,
// failures the server reports), 2 wrong usage, 3 the server could not be reached
// or the exchange broke off.
#pragma once

#include "tools/cli/NetOptions.h"

namespace net_exit {
inline constexpr int kDone = 0;
inline constexpr int kPartly = 1;
inline constexpr int kUsage = 2;
inline constexpr int kUnreachable = 3;
}  // namespace net_exit

int RunNetCommand(const NetOptions& options);

// Whether `failure` means that the server was not reached, or that the exchange
// with it broke off (exit status 3).
bool IsUnreachable(const Reason& failure);
