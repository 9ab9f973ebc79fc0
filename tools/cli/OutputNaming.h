// Names of the files a batch conversion writes. Every name is claimed once per run:
// two inputs that would give the same name never overwrite each other, and no
// output replaces one of the run's inputs or anything that is not an ordinary file.
#pragma once

#include <filesystem>
#include <mutex>
#include <set>
#include <string>

// The part of an output's name taken from its input's file name: the name without
// its extension when that is an image file's (.dcm, .dicom, .bmp, .pcx, in any
// case), else the whole name. DICOM files are often named by UIDs full of dots,
// which must not be cut at the last one.
std::string OutputStem(const std::string& fileName);

class OutputNames {
public:
    // `outDir`: the output folder, canonical. `extension`: ".bmp" or ".dcm".
    OutputNames(std::filesystem::path outDir, std::string extension);

    // A path that must never be written over (an input of the run).
    void Protect(const std::filesystem::path& path);
    // A folder under the output folder that the run will create.
    void ClaimFolder(const std::filesystem::path& relative);

    // Chooses the stem of one input's outputs: `stem`, or "STEM-2", "STEM-3"... when
    // that is taken. Without frames the output STEM.ext is claimed at once; with
    // frames the stem itself is, and FramePath claims each frame's file. Called in
    // the run's order, so that the names do not depend on which job ends first.
    std::string PlanStem(const std::filesystem::path& relative, const std::string& stem, bool frames);
    // outDir/relative/STEM.ext for a planned stem.
    std::string Path(const std::filesystem::path& relative, const std::string& plannedStem) const;
    // outDir/relative/STEM_0001.ext for frame 1 and so on, claimed; should that name
    // be an input's, "-2" and so on follow the frame number. Safe from several threads.
    std::string FramePath(const std::filesystem::path& relative, const std::string& plannedStem, int frame);

    const std::string& Extension() const { return m_extension; }

private:
    bool Taken(const std::filesystem::path& path) const;

    std::filesystem::path m_outDir;
    std::string m_extension;
    std::set<std::filesystem::path> m_taken;
    std::set<std::filesystem::path> m_stems;
    std::mutex m_mutex;
};
