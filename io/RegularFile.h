// Opening a file for reading only when it is an ordinary file. A named pipe makes
// open(2) wait for a writer for ever, a device can be endless or act on being
// opened, and a socket cannot be read as a file at all: all of them are refused
// from what stat(2) says, before anything opens them (OpenRegularFile). Every reader
// of the core opens its files so.
//
// RegularFile is such a file opened for positioned reads by code that looks at many
// files it did not choose (a folder walked for a study): its identity (device and
// inode) is known, so that a file reached twice, through links or a directory
// record, is read once. Reads are checked as RandomAccessFile checks them: a file
// truncated or rewritten since it was opened gives SourceRead::Changed.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "io/ByteSource.h"
#include "io/FileBuffer.h"
#include "io/Reason.h"

// What a path names, for the words of a refusal.
enum class FileKind { Regular, Folder, Pipe, CharacterDevice, BlockDevice, Socket, Other };

// The kind of file `mode` (a stat(2) st_mode) describes.
FileKind KindOfMode(unsigned mode);

// Opens `path` read-only (close-on-exec) when it names an ordinary file, following
// symbolic links. Returns the descriptor, or -1 with `why` set: a FileReadFailure,
// CannotOpen with the system's error number (EISDIR for a folder) or NotRegularFile
// with the FileKind as its first number. Should the path be replaced by a pipe
// between the look and the open, the open does not wait and the file is refused all
// the same.
int OpenRegularFile(const std::string& path, Reason* why);

// Why `path` cannot be opened for reading, found as OpenRegularFile finds it (the
// file is opened and closed again); empty when it can be.
Reason RegularFileProblem(const std::string& path);

// A file's identity on this machine.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FileIdentityHash {
    std::size_t operator()(const FileIdentity& id) const {
        return static_cast<std::size_t>(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
    }
};

enum class RegularFileFailure {
    NotOrdinaryFile,  // a folder, FIFO, device or socket
};
std::string ReasonText(RegularFileFailure code, const Reason& reason);
const char* ReasonName(RegularFileFailure code);

class RegularFile final : public ByteSource {
public:
    // Null when the file cannot be opened (FileReadFailure::CannotOpen with the
    // system's error number: ENOENT for a file that has gone) or is not a regular
    // file (RegularFileFailure::NotOrdinaryFile).
    static std::shared_ptr<RegularFile> Open(const std::string& path, Reason* why = nullptr);
    ~RegularFile() override;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    std::uint64_t Size() const override { return m_size; }
    SourceRead ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const override;
    bool Unchanged() const override;
    // The first min(size, Size()) bytes, without the check for a change that ReadAt
    // makes: the caller checks Unchanged() once it is done with the file.
    SourceRead ReadHead(std::uint8_t* out, std::size_t size) const;
    FileIdentity Identity() const { return m_identity; }

private:
    RegularFile(int fd, std::uint64_t size, timespec modified, FileIdentity identity);

    int m_fd;
    std::uint64_t m_size;
    timespec m_modified;
    FileIdentity m_identity;
};
