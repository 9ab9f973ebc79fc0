#include "tools/cli/IndexCommand.h"

#include <atomic>
#include <csignal>
#include <cstdio>

#include "tools/cli/CliCommands.h"
#include "tools/cli/JsonWriter.h"
#include "tools/cli/ProgressBar.h"

namespace {

const char* OrderName(SliceOrder order) {
    switch (order) {
    case SliceOrder::Position: return "position";
    case SliceOrder::InstanceNumber: return "instance_number";
    case SliceOrder::FileName: break;
    }
    return "file_name";
}

const char* StateName(IndexedInstance::State state) {
    switch (state) {
    case IndexedInstance::State::Image: return "image";
    case IndexedInstance::State::NoImage: return "no_image";
    case IndexedInstance::State::Missing: break;
    }
    return "missing";
}

void OptionalInt(JsonWriter& json, const std::optional<std::int32_t>& value) {
    if (value) {
        json.Int(*value);
    } else {
        json.Null();
    }
}

void Text(JsonWriter& json, const char* key, const std::string& text) {
    json.Key(key);
    json.BytesString(text);
}

// The files of a stack in slice order, each once (a multi-frame file where its first frame lies).
void StackFiles(JsonWriter& json, const Series& series, const Stack& stack) {
    json.Key("files");
    json.BeginArray();
    std::vector<bool> listed(series.instances.size());
    for (const Slice& slice : stack.slices) {
        if (!listed[slice.instance]) {
            listed[slice.instance] = true;
            json.BytesString(series.instances[slice.instance].path);
        }
    }
    json.EndArray();
}

void StackFields(JsonWriter& json, const Series& series, const Stack& stack) {
    json.Key("rows");
    json.Int(stack.rows);
    json.Key("columns");
    json.Int(stack.columns);
    json.Key("order");
    json.String(OrderName(stack.order));
    json.Key("slices");
    json.Int(static_cast<std::int64_t>(stack.slices.size()));
    json.Key("spacing");
    if (stack.spacing) {
        json.Double(*stack.spacing);
    } else {
        json.Null();
    }
    json.Key("even_spacing");
    if (stack.spacing) {
        json.Bool(stack.evenSpacing);
    } else {
        json.Null();
    }
    StackFiles(json, series, stack);
}

void WriteSeries(JsonWriter& json, const Series& series) {
    const SeriesLevel& l = *series.level;
    json.BeginObject();
    json.Key("record");
    json.String("series");
    json.Key("patient");
    json.BeginObject();
    Text(json, "name", l.patientName);
    Text(json, "id", l.patientId);
    Text(json, "birth_date", l.patientBirthDate);
    json.EndObject();
    json.Key("study");
    json.BeginObject();
    Text(json, "uid", l.studyUid);
    Text(json, "id", l.studyId);
    Text(json, "date", l.studyDate);
    Text(json, "time", l.studyTime);
    Text(json, "description", l.studyDescription);
    Text(json, "accession", l.accessionNumber);
    json.EndObject();
    json.Key("series");
    json.BeginObject();
    Text(json, "uid", l.seriesUid);
    json.Key("number");
    OptionalInt(json, l.seriesNumber);
    Text(json, "modality", l.modality);
    Text(json, "description", l.seriesDescription);
    json.EndObject();
    json.Key("instances");
    json.Int(static_cast<std::int64_t>(series.instances.size()));
    json.Key("frames");
    json.Int(static_cast<std::int64_t>(series.Frames()));
    if (!series.stacks.empty()) {
        StackFields(json, series, series.stacks.front());
    } else {
        json.Key("slices");
        json.Int(0);
        json.Key("files");
        json.BeginArray();
        json.EndArray();
    }
    json.Key("split");
    json.BeginArray();
    for (std::size_t i = 1; i < series.stacks.size(); ++i) {
        const Stack& stack = series.stacks[i];
        json.BeginObject();
        json.Key("reason");
        const int code = stack.split.CodeOf<StackSplit>();
        json.String(code >= 0 ? SplitName(static_cast<StackSplit>(code)) : "");
        json.Key("why");
        json.String(stack.split.Text());
        StackFields(json, series, stack);
        json.EndObject();
    }
    json.EndArray();
    json.Key("no_image");
    json.BeginArray();
    for (const IndexedInstance& instance : series.instances) {
        if (instance.state == IndexedInstance::State::NoImage) {
            json.BytesString(instance.path);
        }
    }
    json.EndArray();
    json.Key("missing");
    json.BeginArray();
    for (const IndexedInstance& instance : series.instances) {
        if (instance.state == IndexedInstance::State::Missing) {
            json.BeginObject();
            Text(json, "file", instance.path);
            json.Key("why");
            json.BytesString(instance.missing.Text());
            json.EndObject();
        }
    }
    json.EndArray();
    json.EndObject();
}

void WriteInstances(std::string& out, const Series& series) {
    // Where each instance's first slice lies: stack and slice number.
    std::vector<std::pair<int, std::int64_t>> place(series.instances.size(), {-1, -1});
    for (std::size_t s = 0; s < series.stacks.size(); ++s) {
        const std::vector<Slice>& slices = series.stacks[s].slices;
        for (std::size_t i = 0; i < slices.size(); ++i) {
            auto& at = place[slices[i].instance];
            if (at.first < 0) {
                at = {static_cast<int>(s), static_cast<std::int64_t>(i)};
            }
        }
    }
    for (std::size_t i = 0; i < series.instances.size(); ++i) {
        const IndexedInstance& instance = series.instances[i];
        const InstanceLevel& f = instance.fields;
        JsonWriter json(out, true);
        json.BeginObject();
        json.Key("record");
        json.String("instance");
        Text(json, "series_uid", series.level->seriesUid);
        Text(json, "file", instance.path);
        json.Key("state");
        json.String(StateName(instance.state));
        Text(json, "sop_class_uid", f.sopClassUid);
        Text(json, "sop_instance_uid", f.sopInstanceUid);
        json.Key("number");
        OptionalInt(json, f.instanceNumber);
        json.Key("frames");
        json.Int(f.frames);
        json.Key("rows");
        json.Int(f.rows);
        json.Key("columns");
        json.Int(f.columns);
        json.Key("position");
        if (f.position) {
            json.BeginArray();
            for (double v : *f.position) {
                json.Double(v);
            }
            json.EndArray();
        } else {
            json.Null();
        }
        json.Key("stack");
        if (place[i].first >= 0) {
            json.Int(place[i].first);
        } else {
            json.Null();
        }
        json.Key("slice");
        if (place[i].first >= 0) {
            json.Int(place[i].second);
        } else {
            json.Null();
        }
        if (instance.state == IndexedInstance::State::Missing) {
            json.Key("why");
            json.BytesString(instance.missing.Text());
        }
        json.EndObject();
    }
}

std::atomic<int> g_indexSignal{0};
std::atomic<bool> g_indexCancel{false};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

extern "C" void OnIndexSignal(int signal) {
    g_indexSignal.store(signal);
    g_indexCancel.store(true);
}

}  // namespace

std::string ProblemLabel(const Reason& reason) {
    std::string text = reason.Text();
    const std::string& subject = reason.Subject();
    if (!subject.empty()) {
        for (std::size_t at; (at = text.find(subject)) != std::string::npos;) {
            text.replace(at, subject.size(), "the file");
        }
    }
    return text;
}

IndexResult IndexInputs(const CliOptions& options, int& status) {
    status = exit_status::kDone;
    // Ctrl+C ends the index soon, keeping what was read; a second one ends the program.
    g_indexSignal.store(0);
    g_indexCancel.store(false);
    struct sigaction action {};
    struct sigaction before[2] {};
    action.sa_handler = OnIndexSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &before[0]);
    sigaction(SIGTERM, &action, &before[1]);

    IndexOptions indexOptions;
    indexOptions.threads = options.jobs > 0 ? static_cast<unsigned>(options.jobs) : 0;
    indexOptions.cancel = &g_indexCancel;
    std::size_t total = 0;
    std::unique_ptr<ProgressBar> bar;
    indexOptions.progress = [&](const IndexProgress& p) {
        if (!p.listing && (bar == nullptr || total != p.found)) {
            total = p.found;
            bar = std::make_unique<ProgressBar>(stderr, total);
        }
        if (bar != nullptr) {
            bar->Update(p.read);
        }
    };
    IndexResult result = IndexStudies(options.files, indexOptions);
    if (bar != nullptr) {
        bar->Clear();
    }
    sigaction(SIGINT, &before[0], nullptr);
    sigaction(SIGTERM, &before[1], nullptr);

    std::size_t studies = 0;
    for (const Patient& patient : result.tree.patients) {
        studies += patient.studies.size();
    }
    const auto count = [](std::size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    std::fprintf(stderr, "dorvanelle-cli: %s read: %s, %s, %s\n", count(result.filesRead, "file", "files").c_str(),
                 count(result.tree.patients.size(), "patient", "patients").c_str(),
                 count(studies, "study", "studies").c_str(), count(result.tree.SeriesCount(), "series", "series").c_str());
    for (const ProblemCount& problem : result.problems) {
        if (problem.count == 1) {
            std::fprintf(stderr, "dorvanelle-cli: %s\n", problem.first.Text().c_str());
        } else {
            std::fprintf(stderr, "dorvanelle-cli: %zu times: %s (first: %s)\n", problem.count,
                         ProblemLabel(problem.first).c_str(), problem.first.Subject().c_str());
        }
        if (problem.first.Is(IndexProblem::PathNotFound)) {
            status = exit_status::kInputUnreadable;
        }
    }
    // Stacks split off their series, counted by why.
    std::size_t splits[3] = {};
    for (const Patient& patient : result.tree.patients) {
        for (const Study& study : patient.studies) {
            for (const Series& series : study.series) {
                for (const Stack& stack : series.stacks) {
                    if (const int code = stack.split.CodeOf<StackSplit>(); code >= 0 && code < 3) {
                        ++splits[code];
                    }
                }
            }
        }
    }
    if (splits[0] + splits[1] + splits[2] != 0) {
        std::string counts;
        const char* names[3] = {"another size", "another pixel kind", "another orientation"};
        for (int i = 0; i < 3; ++i) {
            if (splits[i] != 0) {
                counts += (counts.empty() ? "" : ", ") + std::to_string(splits[i]) + " " + names[i];
            }
        }
        std::fprintf(stderr, "dorvanelle-cli: stacks split off their series: %s\n", counts.c_str());
    }
    if (result.cancelled) {
        std::fprintf(stderr, "dorvanelle-cli: stopped before the end: what was read so far is listed\n");
    }
    return result;
}

int RunIndex(const CliOptions& options) {
    int status = exit_status::kDone;
    const IndexResult result = IndexInputs(options, status);
    std::string out;
    for (const Patient& patient : result.tree.patients) {
        for (const Study& study : patient.studies) {
            for (const Series& series : study.series) {
                JsonWriter json(out, true);
                WriteSeries(json, series);
                if (options.instances) {
                    WriteInstances(out, series);
                }
                if (out.size() >= (std::size_t{1} << 20)) {
                    if (!WriteStdout(out)) {
                        return exit_status::kOutputUnwritable;
                    }
                    out.clear();
                }
            }
        }
    }
    if (!out.empty() && !WriteStdout(out)) {
        return exit_status::kOutputUnwritable;
    }
    if (result.cancelled && g_indexSignal.load() != 0) {
        std::fflush(nullptr);
        std::raise(g_indexSignal.load());
        return 128 + g_indexSignal.load();
    }
    return status;
}
