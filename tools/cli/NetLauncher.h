// The network commands run in a helper program, dorvanelle-net, which links DCMTK's
// network libraries: dorvanelle-cli itself never maps them, so its other commands
// start as fast as before.
#pragma once

#include <string_view>

// Whether `name` is a network command (echo, find, get, send).
bool IsNetworkCommandName(std::string_view name);

// Replaces this process with the helper, found where the decoder module is, with
// the same arguments. Returns only when it cannot: the exit status to end with.
int RunNetworkHelper(char** argv);
