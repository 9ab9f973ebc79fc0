#include "tools/cli/SeriesInputs.h"

#include <cstdio>
#include <set>

#include "tools/cli/IndexCommand.h"

namespace fs = std::filesystem;

namespace {

// A name part: letters, digits, "-" and "." kept, anything else one "_", at most 48 bytes.
std::string Part(const std::string& text) {
    std::string part;
    for (char c : text) {
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '.';
        if (kept) {
            part += c;
        } else if (!part.empty() && part.back() != '_') {
            part += '_';
        }
        if (part.size() >= 48) {
            break;
        }
    }
    while (!part.empty() && (part.back() == '_' || part.back() == '.')) {
        part.pop_back();
    }
    while (!part.empty() && part.front() == '.') {
        part.erase(part.begin());  // never a hidden name, never ".."
    }
    return part;
}

std::string Joined(std::initializer_list<std::string> parts) {
    std::string joined;
    for (const std::string& p : parts) {
        if (!p.empty()) {
            joined += (joined.empty() ? "" : "_") + p;
        }
    }
    return joined.empty() ? "unknown" : joined;
}

}  // namespace

fs::path SeriesFolder(const SeriesLevel& l, std::size_t stack) {
    const std::string patient = Joined({Part(!l.patientName.empty() ? l.patientName : l.patientId), Part(l.studyDate)});
    char number[16] = "";
    if (l.seriesNumber) {
        std::snprintf(number, sizeof number, "%03d", static_cast<int>(*l.seriesNumber));
    }
    std::string series = Joined({number, Part(l.modality), Part(l.seriesDescription)});
    if (stack > 0) {
        series += "_stack" + std::to_string(stack + 1);
    }
    return fs::path(patient) / series;
}

std::vector<BatchInput> SeriesSlices(const StudyTree& tree) {
    std::vector<BatchInput> inputs;
    std::set<fs::path> used;
    for (const Patient& patient : tree.patients) {
        for (const Study& study : patient.studies) {
            for (const Series& series : study.series) {
                for (std::size_t s = 0; s < series.stacks.size(); ++s) {
                    const fs::path base = SeriesFolder(*series.level, s);
                    fs::path folder = base;
                    for (int copy = 2; !used.insert(folder).second; ++copy) {
                        folder = base.parent_path() / (base.filename().string() + "-" + std::to_string(copy));
                    }
                    const std::vector<Slice>& slices = series.stacks[s].slices;
                    const int width = slices.size() >= 10000 ? static_cast<int>(std::to_string(slices.size()).size()) : 4;
                    for (std::size_t i = 0; i < slices.size(); ++i) {
                        BatchInput input;
                        input.path = series.instances[slices[i].instance].path;
                        input.folder = folder;
                        input.frame = slices[i].frame;
                        char stem[32];
                        std::snprintf(stem, sizeof stem, "%0*zu", width, i + 1);
                        input.stem = stem;
                        inputs.push_back(std::move(input));
                    }
                }
            }
        }
    }
    return inputs;
}

std::vector<BatchInput> SeriesInputs(const CliOptions& options, const fs::path& outDir, int& status) {
    const IndexResult result = IndexInputs(options, status);
    std::vector<BatchInput> inputs = SeriesSlices(result.tree);
    // The output folder may lie inside an input (a run before this one wrote DICOM
    // files there): its files are not part of the study.
    std::erase_if(inputs, [&](const BatchInput& input) {
        std::error_code ec;
        const fs::path canonical = fs::weakly_canonical(input.path, ec);
        const std::string text = canonical.string();
        return !ec && text.compare(0, outDir.string().size(), outDir.string()) == 0 &&
               text.size() > outDir.string().size() && text[outDir.string().size()] == '/';
    });
    return inputs;
}
