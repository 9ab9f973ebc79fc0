#include "tools/cli/BatchConvert.h"

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "tools/cli/BatchInputs.h"
#include "tools/cli/BatchJob.h"
#include "tools/cli/CliCommands.h"
#include "tools/cli/OutputNaming.h"
#include "tools/cli/ProgressBar.h"
#include "tools/cli/SeriesInputs.h"
#include "tools/cli/StopSignals.h"

namespace fs = std::filesystem;

namespace {

struct Tally {
    std::size_t converted = 0;
    std::size_t noImage = 0;
    std::size_t failed = 0;
    std::size_t written = 0;
    std::size_t cutShort = 0;  // inputs stopped between two frames
    // The reasons for no image, counted by code, each with its first instance.
    std::vector<std::pair<Reason, std::size_t>> noImageReasons;

    void Add(const JobResult& result) {
        written += static_cast<std::size_t>(result.written);
        cutShort += result.cutShort ? 1 : 0;
        switch (result.outcome) {
        case InputOutcome::Converted: ++converted; break;
        case InputOutcome::NoImage:
            ++noImage;
            CountReason(result.noImage);
            break;
        case InputOutcome::Failed: ++failed; break;
        }
    }
    void CountReason(const Reason& reason) {
        for (auto& [known, count] : noImageReasons) {
            if (known.SameCode(reason)) {
                ++count;
                return;
            }
        }
        noImageReasons.emplace_back(reason, 1);
    }
    std::size_t Done() const { return converted + noImage + failed; }
    int ExitStatus() const {
        if (failed > 0) return exit_status::kOutputUnwritable;
        if (noImage > 0) return exit_status::kInputUnreadable;
        return exit_status::kDone;
    }
};

std::string Plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// A reason's words as the label of all reasons of its code: the file it names
// becomes "the file", and a last detail in parentheses, which differs from one
// file to the next, goes.
std::string GroupLabel(const Reason& reason) {
    std::string text = reason.Text();
    const std::string& subject = reason.Subject();
    if (!subject.empty()) {
        for (std::size_t at; (at = text.find(subject)) != std::string::npos;)
            text.replace(at, subject.size(), "the file");
    }
    if (!text.empty() && text.back() == ')') {
        if (std::size_t open = text.rfind(" ("); open != std::string::npos) text.resize(open);
    }
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text;
}

void PrintSummary(const Tally& tally, std::size_t total, int signal) {
    std::fprintf(stderr, "dorvanelle-cli: %s: %zu converted (%s), %zu no image, %zu failed\n",
                 Plural(total, "input", "inputs").c_str(), tally.converted,
                 Plural(tally.written, "file written", "files written").c_str(), tally.noImage, tally.failed);
    if (!tally.noImageReasons.empty()) {
        std::string groups;
        for (const auto& [reason, count] : tally.noImageReasons) {
            groups += (groups.empty() ? "" : ", ") + std::to_string(count) + " " + GroupLabel(reason);
        }
        std::fprintf(stderr, "dorvanelle-cli: no image: %s\n", groups.c_str());
    }
    if (signal != 0) {
        const std::string cut = tally.cutShort == 0 ? "" : Plural(tally.cutShort, "input", "inputs") + " cut short, ";
        std::fprintf(stderr, "dorvanelle-cli: stopped by %s: %s%s not converted\n",
                     signal == SIGINT ? "Ctrl+C" : "a signal", cut.c_str(),
                     Plural(total - tally.Done(), "input", "inputs").c_str());
    }
}

// The outputs' stems, chosen in the inputs' order before any job starts.
std::vector<std::string> PlanNames(const std::vector<BatchInput>& inputs, OutputNames& names, bool frames) {
    for (const BatchInput& input : inputs) {
        names.Protect(input.path);
        names.ClaimFolder(input.folder);
    }
    std::vector<std::string> stems;
    stems.reserve(inputs.size());
    for (const BatchInput& input : inputs) {
        const std::string stem = !input.stem.empty() ? input.stem : OutputStem(fs::path(input.path).filename().string());
        stems.push_back(names.PlanStem(input.folder, stem, frames));
    }
    return stems;
}

class Runner {
public:
    Runner(const std::vector<BatchInput>& inputs, const std::vector<std::string>& stems, const CliOptions& options,
           OutputNames& names)
        : m_inputs(inputs), m_stems(stems), m_options(options), m_names(names), m_results(inputs.size()) {}

    // Runs the jobs; prints each input's problems in the inputs' order as they come in.
    Tally Run(int jobs) {
        ProgressBar progress(stderr, m_inputs.size());
        std::vector<std::thread> threads;
        for (int i = 0; i < jobs; ++i) {
            Started();
            try {
                threads.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                Ended();
                break;
            }
        }
        if (threads.empty()) {
            // No thread to be had: the run goes on in this one.
            Started();
            Work();
        }
        Tally tally;
        std::size_t printed = 0;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait_for(lock, std::chrono::milliseconds(100));
            while (printed < m_results.size() && m_results[printed]) {
                const JobResult& result = *m_results[printed++];
                tally.Add(result);
                if (!result.messages.empty()) progress.Clear();
                for (const std::string& message : result.messages) {
                    std::fprintf(stderr, "dorvanelle-cli: %s\n", message.c_str());
                }
            }
            progress.Update(tally.Done());
            if (m_active == 0) break;
        }
        lock.unlock();
        for (std::thread& thread : threads)
            thread.join();
        progress.Clear();
        return tally;
    }

private:
    void Work() {
        for (;;) {
            if (StopSignals::Caught() != 0) break;
            const std::size_t i = m_next.fetch_add(1);
            if (i >= m_inputs.size()) break;
            JobResult result;
            try {
                result = ConvertInput(m_inputs[i], m_stems[i], m_options, m_names);
            } catch (const std::exception& e) {
                result.outcome = InputOutcome::Failed;
                result.messages = {m_inputs[i].path + ": " + e.what()};
            }
            std::lock_guard lock(m_mutex);
            m_results[i] = std::move(result);
            m_changed.notify_one();
        }
        Ended();
    }

    void Started() {
        std::lock_guard lock(m_mutex);
        ++m_active;
    }

    void Ended() {
        std::lock_guard lock(m_mutex);
        --m_active;
        m_changed.notify_one();
    }

    const std::vector<BatchInput>& m_inputs;
    const std::vector<std::string>& m_stems;
    const CliOptions& m_options;
    OutputNames& m_names;
    std::vector<std::optional<JobResult>> m_results;
    std::atomic<std::size_t> m_next{0};
    int m_active = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

int JobCount(const CliOptions& options, std::size_t inputs) {
    int jobs = options.jobs > 0 ? options.jobs : static_cast<int>(std::thread::hardware_concurrency());
    if (jobs < 1) jobs = 1;
    if (static_cast<std::size_t>(jobs) > inputs) jobs = static_cast<int>(inputs);
    return jobs;
}

}  // namespace

int RunBatchConvert(const CliOptions& options) {
    std::error_code ec;
    fs::create_directories(options.outDir, ec);
    if (!fs::is_directory(options.outDir)) {
        std::fprintf(stderr, "dorvanelle-cli: the output folder %s cannot be made: %s\n", options.outDir.c_str(),
                     (ec ? ec : std::make_error_code(std::errc::not_a_directory)).message().c_str());
        return exit_status::kOutputUnwritable;
    }
    const fs::path outDir = fs::canonical(options.outDir, ec);
    if (ec) {
        std::fprintf(stderr, "dorvanelle-cli: the output folder %s cannot be used: %s\n", options.outDir.c_str(),
                     ec.message().c_str());
        return exit_status::kOutputUnwritable;
    }

    Tally tally;
    std::size_t total = 0;
    int signal = 0;
    int indexStatus = exit_status::kDone;
    {
        // The index runs before the signals are caught for the conversion: Ctrl+C
        // while indexing ends the index, and the run converts nothing then.
        const std::vector<BatchInput> inputs =
            options.bySeries ? SeriesInputs(options, outDir, indexStatus) : CollectInputs(options.files, outDir);
        StopSignals signals;
        OutputNames names(outDir, "." + options.format);
        const std::vector<std::string> stems = PlanNames(inputs, names, options.allFrames);
        names.RecordExistingFiles();
        total = inputs.size();
        if (!inputs.empty()) tally = Runner(inputs, stems, options, names).Run(JobCount(options, inputs.size()));
        signal = StopSignals::Caught();
    }
    PrintSummary(tally, total, signal);
    if (signal != 0) {
        // Ends as the signal would have ended it (the handlers from before the run are
        // back), so that a calling script stops too.
        std::fflush(nullptr);
        std::raise(signal);
        return 128 + signal;
    }
    return tally.ExitStatus() != exit_status::kDone ? tally.ExitStatus() : indexStatus;
}
