#include "tools/cli/OutputNaming.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

std::string OutputStem(const std::string& fileName) {
    std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot == 0) return fileName;
    std::string extension = fileName.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* known : {"dcm", "dicom", "bmp", "pcx"}) {
        if (extension == known) return fileName.substr(0, dot);
    }
    return fileName;
}

OutputNames::OutputNames(fs::path outDir, std::string extension)
    : m_outDir(std::move(outDir)), m_extension(std::move(extension)) {}

void OutputNames::Protect(const fs::path& path) {
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(path, ec);
    std::lock_guard lock(m_mutex);
    m_taken.insert(ec ? path : canonical);
}

void OutputNames::ClaimFolder(const fs::path& relative) {
    std::lock_guard lock(m_mutex);
    for (fs::path folder = relative; !folder.empty(); folder = folder.parent_path()) {
        m_taken.insert(m_outDir / folder);
    }
}

bool OutputNames::Taken(const fs::path& path) const {
    if (m_taken.count(path) != 0) return true;
    // Something already there that the run did not make: replacing an ordinary file
    // from an earlier run is fine, a folder or a pipe is not.
    std::error_code ec;
    fs::file_status status = fs::symlink_status(path, ec);
    return fs::exists(status) && !fs::is_regular_file(status);
}

std::string OutputNames::PlanStem(const fs::path& relative, const std::string& stem, bool frames) {
    std::lock_guard lock(m_mutex);
    m_folders.insert(m_outDir / relative);
    for (int copy = 1;; ++copy) {
        std::string name = copy == 1 ? stem : stem + "-" + std::to_string(copy);
        fs::path base = m_outDir / relative / name;
        if (m_stems.count(base) != 0) continue;
        if (!frames) {
            fs::path path = m_outDir / relative / (name + m_extension);
            if (Taken(path)) continue;
            m_taken.insert(path);
        }
        m_stems.insert(base);
        return name;
    }
}

std::string OutputNames::Path(const fs::path& relative, const std::string& plannedStem) const {
    return (m_outDir / relative / (plannedStem + m_extension)).string();
}

std::string OutputNames::FramePath(const fs::path& relative, const std::string& plannedStem, int frame) {
    char number[16];
    std::snprintf(number, sizeof number, "_%04d", frame);
    std::lock_guard lock(m_mutex);
    for (int copy = 1;; ++copy) {
        std::string name = plannedStem + number;
        if (copy > 1) name += "-" + std::to_string(copy);
        fs::path path = m_outDir / relative / (name + m_extension);
        if (!Taken(path)) {
            m_taken.insert(path);
            return path.string();
        }
    }
}

namespace {

// The device and inode of the ordinary file at `path`; nothing for anything else.
std::optional<std::pair<std::uint64_t, std::uint64_t>> OrdinaryFileIdentity(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return std::pair<std::uint64_t, std::uint64_t>{info.st_dev, info.st_ino};
}

}  // namespace

void OutputNames::RecordExistingFiles() {
    std::lock_guard lock(m_mutex);
    for (const fs::path& folder : m_folders) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (auto identity = OrdinaryFileIdentity(it->path())) m_existing.emplace(it->path(), *identity);
        }
    }
}

Placement OutputNames::PlacementFor(const std::string& path) const {
    const auto recorded = m_existing.find(path);
    if (recorded == m_existing.end()) return Placement::KeepExisting;
    return OrdinaryFileIdentity(path) == recorded->second ? Placement::ReplaceExisting : Placement::KeepExisting;
}

std::string OutputNames::NextFreeName(const std::string& taken) {
    const fs::path path(taken);
    const std::string stem = path.stem().string();
    const std::string extension = path.extension().string();
    std::lock_guard lock(m_mutex);
    for (int copy = 2;; ++copy) {
        std::string name = stem;
        name += "-" + std::to_string(copy);
        name += extension;
        fs::path candidate = path.parent_path() / name;
        std::error_code ec;
        if (m_taken.count(candidate) != 0 || fs::exists(fs::symlink_status(candidate, ec))) continue;
        m_taken.insert(candidate);
        return candidate.string();
    }
}
