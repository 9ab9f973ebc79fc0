#include "tools/cli/BatchInputs.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "dicom/DicomDirectory.h"

namespace fs = std::filesystem;

namespace {

class Collector {
public:
    Collector(std::vector<BatchInput>& inputs, const fs::path& outDir) : m_inputs(inputs), m_outDir(outDir) {}

    void Named(const std::string& argument) {
        std::error_code ec;
        fs::file_status status = fs::status(argument, ec);
        if (fs::is_directory(status)) {
            Walk(argument, {});
        } else {
            // A missing file is still tried, so that its reason is reported like any other.
            Add(argument, {}, status);
        }
    }

private:
    void Walk(const fs::path& folder, const fs::path& relative) {
        std::error_code ec;
        std::vector<fs::directory_entry> entries;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().filename().string().starts_with(".")) continue;
            entries.push_back(*it);
        }
        if (ec) {
            m_inputs.push_back(
                {folder.string(), relative, Reason(BatchInputProblem::FolderUnreadable).Errno(ec.value()), {}, {}});
            return;
        }
        std::sort(entries.begin(), entries.end(),
                  [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
        for (const fs::directory_entry& entry : entries) {
            const fs::path name = entry.path().filename();
            std::error_code linkEc;
            if (entry.is_directory(ec) && !entry.is_symlink(linkEc)) {
                if (Canonical(entry.path()) != m_outDir) Walk(entry.path(), relative / name);
            } else if (!entry.is_directory(ec) && !IsDicomDirName(name.string())) {
                // A DICOMDIR is the index of the folder the walk goes through anyway,
                // not an image: a CD's folder converts without it.
                Add(entry.path().string(), relative, fs::status(entry.path(), ec));
            }
        }
    }

    void Add(const std::string& path, const fs::path& folder, fs::file_status status) {
        if (!m_seen.insert(Canonical(path)).second) return;
        Reason problem;
        if (fs::exists(status) && !fs::is_regular_file(status)) problem = BatchInputProblem::NotOrdinaryFile;
        m_inputs.push_back({path, folder, problem, {}, {}});
    }

    static fs::path Canonical(const fs::path& path) {
        std::error_code ec;
        fs::path canonical = fs::weakly_canonical(path, ec);
        return ec ? fs::absolute(path, ec).lexically_normal() : canonical;
    }

    std::vector<BatchInput>& m_inputs;
    fs::path m_outDir;
    std::set<fs::path> m_seen;
};

}  // namespace

std::string ReasonText(BatchInputProblem code, const Reason& reason) {
    switch (code) {
    case BatchInputProblem::NotOrdinaryFile: return "not an ordinary file (a pipe, a device or a socket)";
    case BatchInputProblem::FolderUnreadable: break;
    }
    return "the folder cannot be read: " + SystemErrorText(reason.ErrorNumber());
}

std::vector<BatchInput> CollectInputs(const std::vector<std::string>& arguments, const fs::path& outDir) {
    std::vector<BatchInput> inputs;
    Collector collector(inputs, outDir);
    for (const std::string& argument : arguments)
        collector.Named(argument);
    return inputs;
}
