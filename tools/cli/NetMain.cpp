// dorvanelle-net: the network commands of dorvanelle-cli (echo, find, get, send),
// in a program of their own so that dorvanelle-cli never loads DCMTK's network
// libraries for its other commands. dorvanelle-cli hands its whole command line
// over; run by hand it takes the same arguments.
#include <cstdio>
#include <string>

#include "io/TemporaryFile.h"
#include "tools/cli/CliCommands.h"
#include "tools/cli/NetCommands.h"
#include "tools/cli/NetOptions.h"

int main(int argc, char** argv) {
    // A file being received when Ctrl+C comes twice leaves no temporary behind.
    InstallTemporaryFileCleanup();
    std::string error;
    std::optional<NetOptions> options = ParseNetCommandLine(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "dorvanelle-cli: %s\n(dorvanelle-cli %s --help shows how to use it)\n", error.c_str(),
                     argc > 1 ? argv[1] : "");
        return net_exit::kUsage;
    }
    if (options->help) {
        return WriteStdout(NetUsageText(options->command)) ? net_exit::kDone : net_exit::kPartly;
    }
    return RunNetCommand(*options);
}
