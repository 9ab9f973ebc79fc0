#include "tools/cli/NetOptions.h"

#include <charconv>

namespace {

struct CommandName {
    const char* name;
    NetCommand command;
};
constexpr CommandName kCommands[] = {
    {"echo", NetCommand::Echo}, {"find", NetCommand::Find}, {"get", NetCommand::Get}, {"send", NetCommand::Send}};

bool ParseNumber(std::string_view text, unsigned long long low, unsigned long long high, unsigned long long& value) {
    const auto [end, fault] = std::from_chars(text.data(), text.data() + text.size(), value);
    return fault == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

bool TakesOption(NetCommand command, std::string_view name) {
    if (name == "--server" || name == "--calling-ae" || name == "--timeout") return true;
    switch (command) {
    case NetCommand::Echo: return false;
    case NetCommand::Find: return name == "--level" || name == "--limit";
    case NetCommand::Get: return name == "--study" || name == "--series" || name == "--out-dir" || name == "--move-to-port";
    case NetCommand::Send: return name == "--files0-from";
    }
    return false;
}

bool Store(NetOptions& options, std::string_view name, std::string_view value, std::string& error) {
    unsigned long long number = 0;
    if (name == "--server") {
        std::optional<ServerAddress> address = ParseServerAddress(value, error);
        if (!address) return false;
        options.settings.server = *address;
    } else if (name == "--calling-ae") {
        if (!IsValidAeTitle(value)) {
            error = "\"" + std::string(value) + "\" is not an AE title (1 to 16 characters, no backslash)";
            return false;
        }
        options.settings.callingAe = std::string(value);
    } else if (name == "--timeout") {
        if (!ParseNumber(value, 1, 86400, number)) {
            error = "--timeout wants seconds from 1 to 86400, not \"" + std::string(value) + "\"";
            return false;
        }
        const int seconds = static_cast<int>(number);
        options.settings.timeouts = {seconds, seconds, seconds};
    } else if (name == "--level") {
        if (value == "study") {
            options.level = QueryLevel::Study;
        } else if (value == "series") {
            options.level = QueryLevel::Series;
        } else if (value == "image") {
            options.level = QueryLevel::Image;
        } else {
            error = "--level is study, series or image, not \"" + std::string(value) + "\"";
            return false;
        }
    } else if (name == "--limit") {
        if (!ParseNumber(value, 1, 10000000, number)) {
            error = "--limit wants a number of matches from 1 to 10000000, not \"" + std::string(value) + "\"";
            return false;
        }
        options.limit = static_cast<std::size_t>(number);
    } else if (name == "--move-to-port") {
        if (!ParseNumber(value, 1, 65535, number)) {
            error = "--move-to-port wants a port from 1 to 65535, not \"" + std::string(value) + "\"";
            return false;
        }
        options.movePort = static_cast<std::uint16_t>(number);
    } else if (value.empty()) {
        error = std::string(name) + " needs a value";
        return false;
    } else if (name == "--files0-from") {
        options.filesFrom = std::string(value);
    } else if (name == "--study") {
        options.study = std::string(value);
    } else if (name == "--series") {
        options.series = std::string(value);
    } else {
        options.outDir = std::string(value);
    }
    return true;
}

std::string Check(const NetOptions& options) {
    if (options.settings.server.host.empty()) return "--server AE@HOST:PORT is needed";
    switch (options.command) {
    case NetCommand::Get:
        if (options.study.empty() && options.series.empty()) return "get needs --study UID or --series UID";
        if (options.outDir.empty()) return "get needs --out-dir DIR";
        break;
    case NetCommand::Send:
        if (options.files.empty() && options.filesFrom.empty()) return "send needs files or folders";
        break;
    default: break;
    }
    return {};
}

}  // namespace

bool IsNetCommand(std::string_view name) {
    for (const CommandName& entry : kCommands) {
        if (name == entry.name) return true;
    }
    return false;
}

std::optional<NetOptions> ParseNetCommandLine(int argc, const char* const* argv, std::string& error) {
    NetOptions options;
    if (argc < 2 || !IsNetCommand(argv[1])) {
        error = "no network command given";
        return std::nullopt;
    }
    for (const CommandName& entry : kCommands) {
        if (std::string_view(argv[1]) == entry.name) options.command = entry.command;
    }
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (options.command == NetCommand::Find) {
                std::optional<QueryKey> key = ParseQueryKey(arg, error);
                if (!key) return std::nullopt;
                options.keys.push_back(std::move(*key));
            } else if (options.command == NetCommand::Send) {
                options.files.emplace_back(arg);
            } else {
                error = "unexpected argument \"" + std::string(arg) + "\"";
                return std::nullopt;
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg == "--events") {
            options.events = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        if (!TakesOption(options.command, name)) {
            error = "unknown option \"" + std::string(arg) + "\" for " + argv[1];
            return std::nullopt;
        }
        std::string_view value;
        if (equals != std::string_view::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = std::string(name) + " needs a value";
            return std::nullopt;
        }
        if (!Store(options, name, value, error)) return std::nullopt;
    }
    if (options.help) return options;
    error = Check(options);
    if (!error.empty()) return std::nullopt;
    return options;
}

const char* NetUsageText(NetCommand command) {
    switch (command) {
    case NetCommand::Echo:
        return "usage: dorvanelle-cli echo --server AE@HOST:PORT [--calling-ae AE] [--timeout S]\n"
               "\n"
               "Asks the DICOM server whether it answers (C-ECHO). Prints \"AE@HOST:PORT answers\"\n"
               "or why not. Exit status 0 when it answers, 3 when it does not.\n"
               "\n"
               "Options of every network command:\n"
               "  --server AE@HOST:PORT  the server's AE title, host name or address, and port\n"
               "  --calling-ae AE        our own AE title (default DORVANELLE), as the server knows us\n"
               "  --timeout S            seconds to wait at each step: the connection, the\n"
               "                         association, and each reply or file (default 30, 30, 180)\n"
               "  --events               for programs: one JSON object per line on standard output\n"
               "                         as things happen, ending with {\"event\": \"end\", ...}\n";
    case NetCommand::Find:
        return "usage: dorvanelle-cli find --server AE@HOST:PORT [--level study|series|image]\n"
               "                          [--limit N] [KEY=VALUE...]\n"
               "\n"
               "Queries the server (C-FIND, Study Root) and prints one JSON object per match on\n"
               "a line of its own (JSON Lines), attributes by their keywords. KEY is a keyword\n"
               "(PatientName) or a tag (0010,0010); VALUE may hold the wildcards * and ?, a date\n"
               "range (20240101-20241231), or be empty to ask for the attribute. Series and image\n"
               "queries usually need StudyInstanceUID=UID.\n"
               "  --level L   study (default), series or image\n"
               "  --limit N   at most N matches (default 1000); with more, the query is cancelled\n"
               "              and \"more results than shown\" is said on standard error\n"
               "Exit status 0 when the query ran, 1 when the server refused it, 3 when it could\n"
               "not be reached.\n";
    case NetCommand::Get:
        return "usage: dorvanelle-cli get --server AE@HOST:PORT (--study UID | --series UID [--study UID])\n"
               "                         --out-dir DIR [--move-to-port N]\n"
               "\n"
               "Retrieves a study or a series into DIR, one folder per study named after its\n"
               "Study Instance UID, each file named after its SOP Instance UID. By C-GET the files\n"
               "come back on our own connection; with --move-to-port N by C-MOVE: we listen on\n"
               "port N and the server, which must know our AE title (--calling-ae) at this\n"
               "host and port, sends the files there. Files are kept as they arrive. A progress\n"
               "bar shows on a terminal and a summary ends the run; Ctrl+C cancels, keeping the\n"
               "files that arrived. The retrieve stops when less than 512 MiB would stay free.\n"
               "Exit status 0 when everything arrived, 1 when the server reports failures or\n"
               "some files could not be kept, 3 when the server could not be reached or the\n"
               "retrieve broke off.\n";
    case NetCommand::Send:
        return "usage: dorvanelle-cli send --server AE@HOST:PORT [--files0-from FILE] FILES|FOLDERS...\n"
               "\n"
               "Sends DICOM files to the server (C-STORE), folders walked recursively, each file\n"
               "as it is stored (compressed data stays compressed). A progress bar shows on a\n"
               "terminal, each refused file is named with why, and a summary ends the run.\n"
               "  --files0-from FILE  also the paths in FILE (\"-\": standard input), each ended by\n"
               "                      a NUL byte, as find -print0 writes them\n"
               "Exit status 0 when the server took every file, 1 when some were refused or are\n"
               "not DICOM, 3 when the server could not be reached or the connection broke off.\n";
    }
    return "";
}
