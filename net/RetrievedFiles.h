// Where files that arrive from a server go: one folder per study under the cache
// folder, each file named after its SOP Instance UID. Only UIDs that are UIDs
// (digits and dots, at most 64 characters) become names; anything else becomes a
// name of our own, so nothing a server sends chooses a path. A file arrives under
// a temporary name and is renamed into place once complete.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "io/Reason.h"
#include "io/TemporaryFile.h"

// Digits and dots, 1 to 64 characters, no empty component.
bool IsSafeUid(std::string_view uid);

// `uid` when it is safe; otherwise "x" and 16 hexadecimal digits made from its bytes
// (the same for the same bytes), or for an empty UID a name never used before.
std::string NameFromUid(std::string_view uid);

// The UIDs that place a stored file.
struct StoredFileIdentity {
    std::string studyUid;
    std::string seriesUid;
    std::string sopClassUid;
    std::string sopInstanceUid;
    std::string transferSyntaxUid;
};

// Reads the identity of the DICOM file at `path` (its meta group and its data set
// up to the Series Instance UID). False when the file is not DICOM.
bool ReadStoredFileIdentity(const std::string& path, StoredFileIdentity& identity);

// Below this many bytes free, a retrieve stops.
inline constexpr std::uint64_t kDefaultKeepFreeBytes = 512ull << 20;

class RetrievedFileStore {
public:
    // Files go under `folder`, which is made when missing.
    RetrievedFileStore(std::string folder, std::uint64_t keepFreeBytes);

    const std::string& Folder() const { return m_folder; }
    // Empty when the folder can take another file: it exists and its disk keeps
    // more than the bytes to keep free.
    Reason CheckRoom() const;
    // A new temporary file in the folder for the next file, or null with `why`.
    std::unique_ptr<TemporaryFile> NewTemporary(Reason* why) const;
    // Puts the complete temporary in place as <study>/<instance>.dcm, replacing an
    // earlier copy of the same instance. `instanceUid` is the one the server's
    // command gave, used when the file gives none. The final path, or empty with
    // `why` (the temporary then goes).
    std::string Place(TemporaryFile& file, const std::string& instanceUid, Reason* why) const;

private:
    std::string m_folder;
    std::uint64_t m_keepFreeBytes;
};
