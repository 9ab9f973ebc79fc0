#include "tools/cli/NetCommands.h"

#include <sys/prctl.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "dicom/DicomDirectory.h"
#include "document/StudyIndex.h"
#include "net/Echo.h"
#include "net/NetFailure.h"
#include "net/Retrieve.h"
#include "net/Send.h"
#include "tools/cli/BatchInputs.h"
#include "tools/cli/CliCommands.h"
#include "tools/cli/IndexCommand.h"
#include "tools/cli/JsonWriter.h"
#include "tools/cli/NetEvents.h"
#include "tools/cli/ProgressBar.h"

namespace {

// Ctrl+C or TERM cancels the operation under way (C-CANCEL, keeping what arrived);
// a second one ends the program as the signal would.
CancelToken g_cancel;
struct sigaction g_before[2];
constexpr int kStopSignals[2] = {SIGINT, SIGTERM};

extern "C" void OnStopSignal(int signal) {
    g_cancel.Cancel();
    for (int i = 0; i < 2; ++i) {
        if (kStopSignals[i] == signal) sigaction(signal, &g_before[i], nullptr);
    }
}

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 2; ++i) {
        sigaction(kStopSignals[i], nullptr, &g_before[i]);
        if (g_before[i].sa_handler != SIG_IGN) sigaction(kStopSignals[i], &action, nullptr);
    }
}

void Say(const std::string& text) { std::fprintf(stderr, "dorvanelle-cli: %s\n", text.c_str()); }

std::string Plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string ServerName(const ServerSettings& settings) {
    const ServerAddress& s = settings.server;
    return s.aeTitle + "@" + s.host + ":" + std::to_string(s.port);
}

int RunEcho(const NetOptions& options) {
    const Reason why = Echo(options.settings);
    if (why) {
        Say(ServerName(options.settings) + ": " + why.Text());
        return net_exit::kUnreachable;
    }
    return WriteStdout(ServerName(options.settings) + " answers\n") ? net_exit::kDone : net_exit::kPartly;
}

int RunFind(const NetOptions& options) {
    FindRequest request;
    request.level = options.level;
    request.keys = options.keys;
    request.maxMatches = options.limit;
    bool written = true;
    const auto print = [&written](const FindMatch& match) {
        std::string line;
        JsonWriter json(line, true);
        json.BeginObject();
        for (const FoundValue& value : match.values) {
            json.Key(value.name);
            json.BytesString(value.text);
        }
        json.EndObject();
        written = WriteStdout(line) && written;
    };
    const FindResult result = Find(options.settings, request, print, &g_cancel);
    if (result.moreThanShown) {
        Say("more results than shown: the first " + std::to_string(result.matches.size()) +
            " are shown (--limit raises the cap)");
    }
    if (result.unreadable > 0) {
        Say(Plural(result.unreadable, "match", "matches") + " left out: not a readable data set, or larger than 1 MiB");
    }
    if (result.failure) {
        Say(ServerName(options.settings) + ": " + result.failure.Text());
        return IsUnreachable(result.failure) ? net_exit::kUnreachable : net_exit::kPartly;
    }
    return written ? net_exit::kDone : net_exit::kPartly;
}

int RunGet(const NetOptions& options) {
    RetrieveRequest request;
    request.studyUid = options.study;
    request.seriesUid = options.series;
    request.folder = options.outDir;
    request.method = options.movePort != 0 ? RetrieveMethod::Move : RetrieveMethod::Get;
    request.movePort = options.movePort;
    ProgressBar progress(stderr, 0);
    RetrieveObserver observer;
    observer.cancel = &g_cancel;
    observer.progress = [&progress](const RetrieveProgress& now) {
        if (now.total > 0) progress.SetTotal(now.total);
        progress.Update(now.stored);
    };
    const RetrieveResult result = Retrieve(options.settings, request, observer);
    progress.Clear();
    const char* operation = request.method == RetrieveMethod::Get ? "C-GET" : "C-MOVE";
    const std::string what = options.series.empty() ? "study " + options.study : "series " + options.series;
    Say(std::string(operation) + " of " + what + ": " + Plural(result.files.size(), "file", "files") + " written to " +
        options.outDir + "; the server reports " + std::to_string(result.completed) + " completed, " +
        std::to_string(result.failed) + " failed, " + std::to_string(result.warnings) + " with warnings");
    if (result.notKept > 0) {
        Say(Plural(result.notKept, "file", "files") + " not kept: " + result.notKeptReason.Text());
    }
    if (result.warning) Say(result.warning.Text());
    if (result.failure) {
        Say((result.failure.Is(NetFailure::Cancelled) ? std::string() : "stopped: ") + result.failure.Text());
        return IsUnreachable(result.failure) ? net_exit::kUnreachable : net_exit::kPartly;
    }
    return result.warning || result.notKept > 0 ? net_exit::kPartly : net_exit::kDone;
}

// A DICOMDIR is the index of its folder, not an object a server stores: found in a
// folder it is passed over (the files it names are sent with the folder), and named
// on its own it stands for the files it names.
void AddDirectoryFiles(const std::string& path, std::vector<std::string>& files, std::size_t& unreadable) {
    const IndexResult index = IndexStudies({path});
    for (const ProblemCount& problem : index.problems) {
        Say(problem.count == 1 ? problem.first.Text()
                               : std::to_string(problem.count) + " times: " + ProblemLabel(problem.first) +
                                     " (first: " + problem.first.Subject() + ")");
        unreadable += problem.count;
    }
    for (const Patient& patient : index.tree.patients) {
        for (const Study& study : patient.studies) {
            for (const Series& series : study.series) {
                for (const IndexedInstance& instance : series.instances) {
                    if (instance.state != IndexedInstance::State::Missing) files.push_back(instance.path);
                }
            }
        }
    }
}

int RunSend(const NetOptions& options, const std::vector<std::string>& paths) {
    std::vector<std::string> files;
    std::size_t unreadable = 0;
    for (const BatchInput& input : CollectInputs(paths, {})) {
        if (input.problem) {
            Say(input.path + ": " + input.problem.Text());
            ++unreadable;
        } else if (IsDicomDirName(std::filesystem::path(input.path).filename().string())) {
            if (std::find(paths.begin(), paths.end(), input.path) != paths.end()) {
                AddDirectoryFiles(input.path, files, unreadable);
            }
        } else {
            files.push_back(input.path);
        }
    }
    ProgressBar progress(stderr, files.size());
    SendObserver observer;
    observer.cancel = &g_cancel;
    observer.fileDone = [&progress](const SentFile& sent, std::size_t done, std::size_t) {
        if (sent.problem) {
            progress.Clear();
            Say(sent.stored ? "sent, with a warning: " + sent.problem.Text() : sent.problem.Text());
        }
        progress.Update(done);
    };
    const SendResult result = Send(options.settings, files, observer);
    progress.Clear();
    Say(Plural(files.size() + unreadable, "file", "files") + ": " + std::to_string(result.stored) + " sent, " +
        std::to_string(result.refused + unreadable) + " refused, " + std::to_string(result.notSent) + " not sent");
    if (result.failure) {
        Say(ServerName(options.settings) + ": " + result.failure.Text());
        return result.failure.Is(NetFailure::Cancelled) ? net_exit::kPartly : net_exit::kUnreachable;
    }
    return result.refused + unreadable > 0 ? net_exit::kPartly : net_exit::kDone;
}

// Adds the NUL-terminated paths of `source` ("-": standard input) to `files`.
bool ReadPathList(const std::string& source, std::vector<std::string>& files) {
    std::ifstream file;
    if (source != "-") {
        file.open(source, std::ios::binary);
        if (!file) {
            Say("--files0-from " + source + ": the file cannot be read");
            return false;
        }
    }
    std::istream& in = source == "-" ? std::cin : file;
    std::string path;
    while (std::getline(in, path, '\0')) {
        if (!path.empty()) files.push_back(path);
    }
    return true;
}

}  // namespace

bool IsUnreachable(const Reason& failure) {
    for (NetFailure code : {NetFailure::HostNotFound, NetFailure::ConnectRefused, NetFailure::ConnectTimedOut,
                            NetFailure::ConnectFailed, NetFailure::AssociationTimedOut,
                            NetFailure::AssociationRejected, NetFailure::AssociationAborted,
                            NetFailure::MessageTimedOut, NetFailure::ConnectionLost, NetFailure::ProtocolFault,
                            NetFailure::ReceiverNotOpened}) {
        if (failure.Is(code)) return true;
    }
    return false;
}

int RunNetCommand(const NetOptions& options) {
    CatchStopSignals();
    std::vector<std::string> files = options.files;
    if (!options.filesFrom.empty() && !ReadPathList(options.filesFrom, files)) return net_exit::kUsage;
    if (options.command == NetCommand::Send && files.empty()) {
        Say("no files to send");
        return net_exit::kUsage;
    }
    if (options.events) {
        // A program that runs us and ends (or crashes) cancels what we do.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        return RunNetCommandWithEvents(options, files, g_cancel);
    }
    switch (options.command) {
    case NetCommand::Echo: return RunEcho(options);
    case NetCommand::Find: return RunFind(options);
    case NetCommand::Get: return RunGet(options);
    case NetCommand::Send: return RunSend(options, files);
    }
    return net_exit::kUsage;
}
