// Names of the files a batch conversion writes. Every name is claimed once per run:
// two inputs that would give the same name never overwrite each other, and no
// output replaces one of the run's inputs or anything that is not an ordinary file.
// An ordinary file that was there when the run started is replaced, as a rerun
// expects; one that appears during the run (another batch writing into the same
// folder) is kept, and the output takes the next free name.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "io/WriteOutcome.h"

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

    // Notes the ordinary files in the output folders of the planned stems as they are
    // now, when the run starts.
    void RecordExistingFiles();
    // How an output goes to `path`: replacing the file there when it is still the one
    // recorded when the run started, otherwise keeping whatever is there.
    Placement PlacementFor(const std::string& path) const;
    // Another name for an output whose name `taken` was found taken by someone else
    // during the run: NAME-2.ext, NAME-3.ext... beside it, the first that neither the
    // run claimed nor anything on disk has; claimed. Safe from several threads.
    std::string NextFreeName(const std::string& taken);

private:
    bool Taken(const std::filesystem::path& path) const;

    std::filesystem::path m_outDir;
    std::string m_extension;
    std::set<std::filesystem::path> m_taken;
    std::set<std::filesystem::path> m_stems;
    std::set<std::filesystem::path> m_folders;  // where the planned stems write
    // The ordinary files found there as the run started: device and inode by path.
    std::map<std::filesystem::path, std::pair<std::uint64_t, std::uint64_t>> m_existing;
    std::mutex m_mutex;
};
