// dorvanelle-cli: the image document on the command line.
#include <cstdio>
#include <string>

#include "codecs/FrameDecoder.h"
#include "io/TemporaryFile.h"
#include "tools/cli/BatchConvert.h"
#include "tools/cli/CliCommands.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/IndexCommand.h"
#include "tools/cli/NetLauncher.h"

int main(int argc, char** argv) {
    // A save interrupted by Ctrl+C or a TERM signal leaves no temporary file.
    InstallTemporaryFileCleanup();
    if (argc > 1 && IsNetworkCommandName(argv[1])) return RunNetworkHelper(argv);
    std::string error;
    std::optional<CliOptions> options = ParseCommandLine(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "dorvanelle-cli: %s\n(dorvanelle-cli --help shows how to use it)\n", error.c_str());
        return exit_status::kUsage;
    }
    if (options->help) {
        return WriteStdout(UsageText(options->subcommand)) ? exit_status::kDone : exit_status::kOutputUnwritable;
    }
    if (options->version) {
        return WriteStdout("dorvanelle-cli " DORVANELLE_VERSION "\n") ? exit_status::kDone
                                                                      : exit_status::kOutputUnwritable;
    }
    if (options->memoryLimit) {
        SetDecodeMemoryBudget(*options->memoryLimit);
    }
    switch (options->subcommand) {
    case Subcommand::Info: return RunInfo(*options);
    case Subcommand::Convert: return options->IsBatch() ? RunBatchConvert(*options) : RunConvert(*options);
    case Subcommand::Dump: return RunDump(*options);
    case Subcommand::Histogram: return RunHistogram(*options);
    case Subcommand::Index: return RunIndex(*options);
    case Subcommand::Stats: return RunStats(*options);
    case Subcommand::None: break;
    }
    return exit_status::kUsage;
}
