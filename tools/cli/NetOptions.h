// The command line of the network commands, which dorvanelle-cli hands to its
// network helper: echo, find, get and send, each with --server AE@HOST:PORT.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/Find.h"
#include "net/ServerSettings.h"

enum class NetCommand { Echo, Find, Get, Send };

struct NetOptions {
    NetCommand command = NetCommand::Echo;
    bool help = false;
    // --events: one JSON object per line on standard output as things happen, for a
    // program that runs the helper (the viewer); see NetEvents.h.
    bool events = false;
    ServerSettings settings;
    // find
    QueryLevel level = QueryLevel::Study;
    std::vector<QueryKey> keys;
    std::size_t limit = kDefaultMaxMatches;
    // get
    std::string study;
    std::string series;
    std::string outDir;
    std::uint16_t movePort = 0;  // 0: C-GET
    // send
    std::vector<std::string> files;
    std::string filesFrom;  // --files0-from: a file of NUL-terminated paths, "-" for standard input
};

// Whether `name` is one of the network commands.
bool IsNetCommand(std::string_view name);

// Parses argv (argv[1] is the command). On a usage fault returns nullopt with the
// reason in `error`.
std::optional<NetOptions> ParseNetCommandLine(int argc, const char* const* argv, std::string& error);

const char* NetUsageText(NetCommand command);
