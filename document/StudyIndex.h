// The study index: finds the DICOM files under folders, DICOMDIRs and files named by
// the user, reads each file's header up to its Pixel Data (several files at once),
// and groups them into patients, studies and series (StudyTree.h).
//
// Whatever it cannot use is counted by reason, never fatal: files that are not DICOM,
// cannot be opened, vanish or change while being read; links that loop; pipes and
// devices (never opened); DICOMDIR records that name missing files or files outside
// the DICOMDIR's folder. Memory grows with the DICOM files found, not with the rest:
// a folder of a hundred thousand other files costs their names while listing, and
// counts after.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/StudyTree.h"
#include "io/Reason.h"

enum class IndexProblem {
    PathNotFound,      // a path named to the index is not there (ErrorNumber says why)
    Vanished,          // listed, then gone when it was opened
    Unreadable,        // cannot be opened or read (ErrorNumber says why)
    ChangedWhileRead,  // written or truncated while its header was read, twice over
    TooManyFiles,      // First: the limit; the files past it were not read
    RecordMissing,     // a DICOMDIR record names a file that is not there
    RecordRefused,     // a DICOMDIR record names a file outside the DICOMDIR's folder
    SameInstance,      // holds the instance of another file of its series in its syntax (a copy): listed once
};
std::string ReasonText(IndexProblem code, const Reason& reason);

// Reasons counted by code, each with its first case.
struct ProblemCount {
    Reason first;
    std::size_t count = 0;
};

struct IndexProgress {
    bool listing = true;     // still finding files; `found` grows
    std::size_t found = 0;   // files to read
    std::size_t read = 0;    // files read so far
};

struct IndexOptions {
    unsigned threads = 0;  // files read at once; 0: one per processor
    // Called on the thread that runs the index, about ten times a second and once
    // at the end of each stage.
    std::function<void(const IndexProgress&)> progress;
    // Set from any thread to end the index soon: what was read by then is kept.
    const std::atomic<bool>* cancel = nullptr;
};

struct IndexResult {
    StudyTree tree;
    std::vector<ProblemCount> problems;
    std::size_t filesRead = 0;  // files opened and looked at, DICOM or not
    bool cancelled = false;
};

inline constexpr std::size_t kMaxIndexedFiles = 2000000;

class StudyIndexer {
public:
    explicit StudyIndexer(IndexOptions options = {});
    ~StudyIndexer();
    StudyIndexer(const StudyIndexer&) = delete;
    StudyIndexer& operator=(const StudyIndexer&) = delete;

    // Indexes folders, DICOMDIRs and files. Blocks until done or cancelled.
    IndexResult Run(const std::vector<std::string>& paths);
    // The tree of what has been read so far: safe from any thread while Run runs, so
    // that a series can be opened before the whole folder is read.
    StudyTree Snapshot() const;

    struct State;  // the index's shared state, known to its source file only

private:
    std::unique_ptr<State> m_state;
};

// Indexes with default options.
IndexResult IndexStudies(const std::vector<std::string>& paths, IndexOptions options = {});
