#include "tools/cli/NetEvents.h"

#include <cstddef>
#include <string_view>

#include "net/Echo.h"
#include "net/NetFailure.h"
#include "net/Retrieve.h"
#include "net/Send.h"
#include "tools/cli/CliCommands.h"
#include "tools/cli/JsonWriter.h"
#include "tools/cli/NetCommands.h"

namespace {

// One event line, written and flushed at once, so that the reader sees each file
// as it arrives.
class EventLine {
public:
    explicit EventLine(const char* event) : m_json(m_line, true) {
        m_json.BeginObject();
        m_json.Key("event");
        m_json.String(event);
    }
    JsonWriter& Json() { return m_json; }
    void Count(const char* key, std::size_t value) {
        m_json.Key(key);
        m_json.Int(static_cast<std::int64_t>(value));
    }
    void Text(const char* key, const std::string& text) {
        m_json.Key(key);
        m_json.BytesString(text);
    }
    // Ends an "end" line with the failure, if any.
    void Failure(const Reason& failure) {
        Text("failure", failure.Text());
        m_json.Key("cancelled");
        m_json.Bool(failure.Is(NetFailure::Cancelled));
    }
    bool Write() {
        m_json.EndObject();
        return WriteStdout(m_line);
    }

private:
    std::string m_line;
    JsonWriter m_json;
};

int StatusOf(const Reason& failure, bool partly) {
    if (failure) return IsUnreachable(failure) ? net_exit::kUnreachable : net_exit::kPartly;
    return partly ? net_exit::kPartly : net_exit::kDone;
}

int EchoEvents(const NetOptions& options) {
    const Reason why = Echo(options.settings);
    EventLine end("end");
    end.Failure(why);
    end.Write();
    return why ? net_exit::kUnreachable : net_exit::kDone;
}

int FindEvents(const NetOptions& options, const CancelToken& cancel) {
    FindRequest request;
    request.level = options.level;
    request.keys = options.keys;
    request.maxMatches = options.limit;
    const auto print = [](const FindMatch& match) {
        EventLine line("match");
        line.Json().Key("values");
        line.Json().BeginObject();
        for (const FoundValue& value : match.values) {
            line.Json().Key(value.name);
            line.Json().BytesString(value.text);
        }
        line.Json().EndObject();
        line.Write();
    };
    const FindResult result = Find(options.settings, request, print, &cancel);
    EventLine end("end");
    end.Count("matches", result.matches.size());
    end.Json().Key("more_than_shown");
    end.Json().Bool(result.moreThanShown);
    end.Count("unreadable", result.unreadable);
    end.Failure(result.failure);
    end.Write();
    return StatusOf(result.failure, false);
}

// The part of `path` under `folder`, which the store joins with "/".
std::string UnderFolder(const std::string& path, const std::string& folder) {
    const std::string prefix = folder + "/";
    return path.starts_with(prefix) ? path.substr(prefix.size()) : path;
}

int GetEvents(const NetOptions& options, const CancelToken& cancel) {
    RetrieveRequest request;
    request.studyUid = options.study;
    request.seriesUid = options.series;
    request.folder = options.outDir;
    request.method = options.movePort != 0 ? RetrieveMethod::Move : RetrieveMethod::Get;
    request.movePort = options.movePort;
    RetrieveObserver observer;
    observer.cancel = &cancel;
    observer.progress = [](const RetrieveProgress& now) {
        EventLine line("progress");
        line.Count("stored", now.stored);
        line.Count("total", now.total);
        line.Count("remaining", now.remainingKnown ? now.remaining : 0);
        line.Count("failed", now.failed);
        line.Write();
    };
    observer.fileStored = [&options](const std::string& path) {
        EventLine line("file");
        line.Text("path", UnderFolder(path, options.outDir));
        line.Write();
    };
    const RetrieveResult result = Retrieve(options.settings, request, observer);
    EventLine end("end");
    end.Count("files", result.files.size());
    end.Count("not_kept", result.notKept);
    end.Text("not_kept_reason", result.notKeptReason.Text());
    end.Count("completed", result.completed);
    end.Count("failed", result.failed);
    end.Count("warnings", result.warnings);
    end.Text("warning", result.warning.Text());
    end.Failure(result.failure);
    end.Write();
    return StatusOf(result.failure, result.warning || result.notKept > 0);
}

int SendEvents(const NetOptions& options, const std::vector<std::string>& files, const CancelToken& cancel) {
    SendObserver observer;
    observer.cancel = &cancel;
    observer.fileDone = [](const SentFile& sent, std::size_t, std::size_t) {
        EventLine line("sent");
        line.Count("index", sent.index);
        line.Json().Key("stored");
        line.Json().Bool(sent.stored);
        line.Text("problem", sent.problem.Text());
        line.Write();
    };
    const SendResult result = Send(options.settings, files, observer);
    EventLine end("end");
    end.Count("stored", result.stored);
    end.Count("refused", result.refused);
    end.Count("not_sent", result.notSent);
    end.Failure(result.failure);
    end.Write();
    if (result.failure.Is(NetFailure::Cancelled)) return net_exit::kPartly;
    return result.failure ? net_exit::kUnreachable : StatusOf({}, result.refused > 0);
}

}  // namespace

int RunNetCommandWithEvents(const NetOptions& options, const std::vector<std::string>& files,
                            const CancelToken& cancel) {
    switch (options.command) {
    case NetCommand::Echo: return EchoEvents(options);
    case NetCommand::Find: return FindEvents(options, cancel);
    case NetCommand::Get: return GetEvents(options, cancel);
    case NetCommand::Send: return SendEvents(options, files, cancel);
    }
    return net_exit::kUsage;
}
