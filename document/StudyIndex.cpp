#include "document/StudyIndex.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "dicom/CharacterSetText.h"
#include "dicom/DicomDirectory.h"
#include "io/FileBuffer.h"
#include "io/FolderLookup.h"
#include "io/FolderWalk.h"
#include "io/RegularFile.h"

namespace {

// Files a worker reads before it hands what it found to the shared lists.
constexpr std::size_t kBatch = 64;
constexpr auto kProgressPeriod = std::chrono::milliseconds(100);

class ProblemTally {
public:
    void Add(Reason reason) {
        for (ProblemCount& count : m_counts) {
            if (count.first.SameCode(reason)) {
                ++count.count;
                return;
            }
        }
        m_counts.push_back({std::move(reason), 1});
    }
    const std::vector<ProblemCount>& Counts() const { return m_counts; }

private:
    std::vector<ProblemCount> m_counts;
};

Reason About(const Reason& reason, const std::string& subject) {
    Reason copy = reason;
    return std::move(copy).About(subject);
}

std::string FileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Fills the empty keys of `into` from `from`.
void MergeKeys(SeriesLevel& into, const SeriesLevel& from) {
    const auto fill = [](std::string& to, const std::string& value) {
        if (to.empty()) {
            to = value;
        }
    };
    fill(into.specificCharacterSet, from.specificCharacterSet);
    fill(into.patientName, from.patientName);
    fill(into.patientId, from.patientId);
    fill(into.patientBirthDate, from.patientBirthDate);
    fill(into.studyUid, from.studyUid);
    fill(into.studyId, from.studyId);
    fill(into.studyDate, from.studyDate);
    fill(into.studyTime, from.studyTime);
    fill(into.studyDescription, from.studyDescription);
    fill(into.accessionNumber, from.accessionNumber);
    fill(into.seriesUid, from.seriesUid);
    fill(into.seriesDescription, from.seriesDescription);
    fill(into.modality, from.modality);
    if (!into.seriesNumber) {
        into.seriesNumber = from.seriesNumber;
    }
}

// A person's name without the empty components and groups that end it: "DOE^JOHN^^^"
// and "DOE^JOHN" name one person, as systems differ in writing them.
std::string TrimmedName(const std::string& name) {
    std::string out;
    std::size_t kept = 0;  // out's length up to its last group that holds something
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = name.find('=', start);
        std::string group = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        while (!group.empty() && (group.back() == '^' || group.back() == ' ')) {
            group.pop_back();
        }
        if (start != 0) {
            out += '=';
        }
        out += group;
        if (!group.empty()) {
            kept = out.size();
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    out.resize(kept);
    return out;
}

// The level's texts in UTF-8, decoded by the character set they were written in, so
// that names match across files written in different sets and show as written.
void DecodeTexts(SeriesLevel& level) {
    const std::string set = level.specificCharacterSet;
    for (std::string* text : {&level.patientName, &level.patientId, &level.studyId, &level.studyDescription,
                              &level.accessionNumber, &level.seriesDescription}) {
        *text = TextInUtf8(*text, set);
    }
    level.specificCharacterSet = "ISO_IR 192";
    level.patientName = TrimmedName(level.patientName);
}

// Keeps one file of each instance of a series stored in one transfer syntax: a
// folder that holds a study twice (a CD copied next to itself) would otherwise give
// each slice twice. The first by path stays; each other is passed to `dropped`. An
// instance stored in two syntaxes keeps both files, which differ.
template <typename Dropped>
void DropCopies(std::vector<IndexedInstance>& instances, Dropped dropped) {
    std::sort(instances.begin(), instances.end(),
              [](const IndexedInstance& a, const IndexedInstance& b) { return a.path < b.path; });
    std::unordered_set<std::string> seen;
    std::erase_if(instances, [&](const IndexedInstance& instance) {
        if (instance.state == IndexedInstance::State::Missing || instance.fields.sopInstanceUid.empty() ||
            instance.level == nullptr) {
            return false;
        }
        const InstanceLevel& f = instance.fields;
        if (seen.insert(instance.level->seriesUid + '\n' + f.sopInstanceUid + '\n' + f.transferSyntaxUid).second) {
            return false;
        }
        dropped(instance);
        return true;
    });
}

struct PendingFile {
    std::string path;
};

}  // namespace

std::string ReasonText(IndexProblem code, const Reason& reason) {
    const std::string& path = reason.Subject();
    switch (code) {
    case IndexProblem::PathNotFound: return path + " cannot be opened: " + SystemErrorText(reason.ErrorNumber());
    case IndexProblem::Vanished: return path + " was there when the folder was listed and gone when it was read";
    case IndexProblem::Unreadable: return path + " cannot be read: " + SystemErrorText(reason.ErrorNumber());
    case IndexProblem::ChangedWhileRead: return path + " changed on disk while it was read";
    case IndexProblem::TooManyFiles:
        return "more than " + std::to_string(reason.First()) + " files were found; the rest were not read";
    case IndexProblem::RecordMissing: return path + ", named by a DICOMDIR, is not there";
    case IndexProblem::SameInstance:
        return path + " holds the same instance as another file of its series; the first of them is listed";
    case IndexProblem::RecordRefused: break;
    }
    return "a DICOMDIR names " + path + ", outside its folder: refused";
}

struct StudyIndexer::State {
    IndexOptions options;
    mutable std::mutex mutex;
    std::vector<IndexedInstance> instances;
    ProblemTally problems;
    std::vector<std::string> foundDirectories;  // DICOMDIRs found by their content

    // Listing (on the thread that runs the index).
    std::vector<PendingFile> files;
    std::unordered_set<FileIdentity, FileIdentityHash> seen;
    std::vector<std::string> directories;
    std::size_t directoriesRead = 0;
    bool tooMany = false;

    std::atomic<std::size_t> read{0};

    bool Cancelled() const { return options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed); }

    void Problem(Reason reason) {
        std::lock_guard lock(mutex);
        problems.Add(std::move(reason));
    }

    void Progress(bool listing) {
        if (options.progress) {
            options.progress({listing, files.size(), read.load()});
        }
    }

    void AddFile(const std::string& path, FileIdentity identity) {
        if (!seen.insert(identity).second) {
            return;  // reached before, through a link or a directory record
        }
        if (files.size() >= kMaxIndexedFiles) {
            if (!tooMany) {
                tooMany = true;
                Problem(Reason(IndexProblem::TooManyFiles).Numbers(static_cast<std::int64_t>(kMaxIndexedFiles)));
            }
            return;
        }
        files.push_back({path});
        if (files.size() % 1024 == 0) {
            Progress(true);
        }
    }

    void ListFound(const std::string& path, FileIdentity identity) {
        if (IsDicomDirName(FileName(path))) {
            if (seen.insert(identity).second) {
                directories.push_back(path);
            }
            return;
        }
        AddFile(path, identity);
    }

    void ListPath(const std::string& path) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            Problem(Reason(IndexProblem::PathNotFound).About(path).Errno(errno));
            return;
        }
        if (S_ISDIR(info.st_mode)) {
            FolderWalkCallbacks callbacks;
            callbacks.file = [this](const std::string& file, FileIdentity identity) { ListFound(file, identity); };
            callbacks.problem = [this](Reason reason) { Problem(std::move(reason)); };
            callbacks.cancelled = [this] { return Cancelled(); };
            WalkFolder(path, callbacks);
        } else if (S_ISREG(info.st_mode)) {
            ListFound(path, {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)});
        } else {
            Problem(Reason(RegularFileFailure::NotOrdinaryFile).About(path));
        }
    }

    // A record that names no file the index can read, listed under its series.
    void AddMissing(const DicomDirectory& directory, std::size_t index, std::string path, Reason why) {
        const DirectoryRecord& record = directory.records[index];
        SeriesLevel level;
        for (std::int32_t at = static_cast<std::int32_t>(index); at >= 0; at = directory.records[at].parent) {
            MergeKeys(level, directory.records[at].keys);
        }
        DecodeTexts(level);
        IndexedInstance instance;
        instance.path = std::move(path);
        instance.level = std::make_shared<const SeriesLevel>(std::move(level));
        instance.fields.sopClassUid = record.sopClassUid;
        instance.fields.sopInstanceUid = record.sopInstanceUid;
        instance.fields.instanceNumber = record.instanceNumber;
        instance.state = IndexedInstance::State::Missing;
        instance.missing = why;
        std::lock_guard lock(mutex);
        problems.Add(std::move(why));
        instances.push_back(std::move(instance));
    }

    void ReadDirectory(const std::string& path) {
        Reason why;
        std::shared_ptr<RegularFile> file = RegularFile::Open(path, &why);
        if (file == nullptr) {
            Problem(why.Is(FileReadFailure::CannotOpen)
                        ? Reason(IndexProblem::Unreadable).About(path).Errno(why.ErrorNumber())
                        : why);
            return;
        }
        const DicomDirectory directory = ReadDicomDirectory(file);
        if (directory.stop) {
            Problem(About(directory.stop, path));
        }
        FolderLookup lookup(FolderOf(path));
        for (std::size_t i = 0; i < directory.records.size() && !Cancelled(); ++i) {
            const DirectoryRecord& record = directory.records[i];
            if (!record.inUse) {
                continue;
            }
            if (record.fileIdProblem) {
                AddMissing(directory, i, record.fileIdProblem.Subject(),
                           Reason(IndexProblem::RecordRefused).About(record.fileIdProblem.Subject()));
                continue;
            }
            if (record.fileId.empty()) {
                continue;
            }
            std::string found;
            FileIdentity identity;
            std::string named = FolderOf(path);
            for (const std::string& component : record.fileId) {
                named += "/" + component;
            }
            switch (lookup.Find(record.fileId, found, identity)) {
            case FolderLookup::Outcome::Found: AddFile(found, identity); break;
            case FolderLookup::Outcome::Missing:
                AddMissing(directory, i, named, Reason(IndexProblem::RecordMissing).About(named));
                break;
            case FolderLookup::Outcome::LeavesFolder:
                AddMissing(directory, i, named, Reason(IndexProblem::RecordRefused).About(named));
                break;
            }
        }
    }

    void ReadFiles(std::size_t from, std::size_t to);
};

namespace {

// One thread's share of the reading.
class Reader {
public:
    Reader(StudyIndexer::State& state, std::atomic<std::size_t>& next, std::size_t end)
        : m_state(state), m_next(next), m_end(end) {}

    void Run() {
        for (;;) {
            if (m_state.Cancelled()) {
                break;
            }
            const std::size_t i = m_next.fetch_add(1);
            if (i >= m_end) {
                break;
            }
            ReadOne(m_state.files[i].path);
            if (m_instances.size() + m_problems.size() >= kBatch) {
                Flush();
            }
        }
        Flush();
    }

private:
    void ReadOne(const std::string& path) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            Reason why;
            std::shared_ptr<RegularFile> file = RegularFile::Open(path, &why);
            if (file == nullptr) {
                if (why.Is(FileReadFailure::CannotOpen)) {
                    why = Reason(why.ErrorNumber() == ENOENT ? IndexProblem::Vanished : IndexProblem::Unreadable)
                              .About(path)
                              .Errno(why.ErrorNumber());
                }
                m_problems.push_back(std::move(why));
                return;
            }
            InstanceHeader header;
            const Reason scanned = m_scanner.Scan(file, header);
            m_state.read.fetch_add(1, std::memory_order_relaxed);
            if (scanned.Is(FileReadFailure::ChangedOnDisk)) {
                if (attempt == 0) {
                    continue;  // being written when it was listed: once more
                }
                m_problems.push_back(Reason(IndexProblem::ChangedWhileRead).About(path));
                return;
            }
            if (scanned.Is(HeaderScanFailure::DirectoryFile)) {
                m_directories.push_back(path);
                return;
            }
            if (scanned.Is(FileReadFailure::CannotRead)) {
                m_problems.push_back(Reason(IndexProblem::Unreadable).About(path).Errno(EIO));
                return;
            }
            if (scanned) {
                m_problems.push_back(About(scanned, path));
                return;
            }
            Keep(path, std::move(header));
            return;
        }
    }

    void Keep(const std::string& path, InstanceHeader header) {
        IndexedInstance instance;
        instance.path = path;
        // Files of one series usually follow one another: they share one copy of
        // what the series has in common.
        DecodeTexts(header.series);
        if (m_level == nullptr || !(*m_level == header.series)) {
            m_level = std::make_shared<const SeriesLevel>(std::move(header.series));
        }
        instance.level = m_level;
        instance.fields = std::move(header.instance);
        const InstanceLevel& f = instance.fields;
        instance.state = f.hasPixelData && f.rows != 0 && f.columns != 0 ? IndexedInstance::State::Image
                                                                          : IndexedInstance::State::NoImage;
        m_instances.push_back(std::move(instance));
    }

    void Flush() {
        std::lock_guard lock(m_state.mutex);
        for (IndexedInstance& instance : m_instances) {
            m_state.instances.push_back(std::move(instance));
        }
        for (Reason& problem : m_problems) {
            m_state.problems.Add(std::move(problem));
        }
        for (std::string& directory : m_directories) {
            m_state.foundDirectories.push_back(std::move(directory));
        }
        m_instances.clear();
        m_problems.clear();
        m_directories.clear();
    }

    StudyIndexer::State& m_state;
    std::atomic<std::size_t>& m_next;
    std::size_t m_end;
    InstanceHeaderScanner m_scanner;
    std::shared_ptr<const SeriesLevel> m_level;
    std::vector<IndexedInstance> m_instances;
    std::vector<Reason> m_problems;
    std::vector<std::string> m_directories;
};

}  // namespace

void StudyIndexer::State::ReadFiles(std::size_t from, std::size_t to) {
    if (from >= to) {
        return;
    }
    unsigned threads = options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
    threads = static_cast<unsigned>(std::clamp<std::size_t>(threads, 1, to - from));
    std::atomic<std::size_t> next{from};
    std::mutex doneMutex;
    std::condition_variable doneChanged;
    unsigned active = 0;
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
        try {
            {
                std::lock_guard lock(doneMutex);
                ++active;
            }
            workers.emplace_back([&] {
                Reader(*this, next, to).Run();
                std::lock_guard lock(doneMutex);
                --active;
                doneChanged.notify_one();
            });
        } catch (const std::system_error&) {
            std::lock_guard lock(doneMutex);
            --active;
            break;
        }
    }
    if (workers.empty()) {
        Reader(*this, next, to).Run();  // no thread to be had: read here
    }
    {
        std::unique_lock lock(doneMutex);
        while (active > 0) {
            doneChanged.wait_for(lock, kProgressPeriod);
            lock.unlock();
            Progress(false);
            lock.lock();
        }
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
}

StudyIndexer::StudyIndexer(IndexOptions options) : m_state(std::make_unique<State>()) {
    m_state->options = std::move(options);
}

StudyIndexer::~StudyIndexer() = default;

IndexResult StudyIndexer::Run(const std::vector<std::string>& paths) {
    State& s = *m_state;
    for (const std::string& path : paths) {
        if (s.Cancelled()) {
            break;
        }
        s.ListPath(path);
    }
    s.Progress(true);
    std::size_t readUpTo = 0;
    // DICOMDIRs name more files, and files may turn out to be DICOMDIRs: until
    // neither brings anything new.
    while (!s.Cancelled()) {
        while (s.directoriesRead < s.directories.size() && !s.Cancelled()) {
            s.ReadDirectory(s.directories[s.directoriesRead++]);
        }
        if (readUpTo == s.files.size()) {
            break;
        }
        const std::size_t end = s.files.size();
        s.Progress(false);
        s.ReadFiles(readUpTo, end);
        readUpTo = end;
        std::lock_guard lock(s.mutex);
        for (std::string& directory : s.foundDirectories) {
            s.directories.push_back(std::move(directory));
        }
        s.foundDirectories.clear();
    }
    s.Progress(false);
    IndexResult result;
    result.cancelled = s.Cancelled();
    result.filesRead = s.read.load();
    std::vector<IndexedInstance> instances;
    {
        std::lock_guard lock(s.mutex);
        instances = std::move(s.instances);
        s.instances.clear();
        DropCopies(instances,
                   [&](const IndexedInstance& copy) { s.problems.Add(Reason(IndexProblem::SameInstance).About(copy.path)); });
        result.problems = s.problems.Counts();
    }
    result.tree = BuildStudyTree(std::move(instances));
    return result;
}

StudyTree StudyIndexer::Snapshot() const {
    std::vector<IndexedInstance> instances;
    {
        std::lock_guard lock(m_state->mutex);
        instances = m_state->instances;
    }
    DropCopies(instances, [](const IndexedInstance&) {});
    return BuildStudyTree(std::move(instances));
}

IndexResult IndexStudies(const std::vector<std::string>& paths, IndexOptions options) {
    return StudyIndexer(std::move(options)).Run(paths);
}
