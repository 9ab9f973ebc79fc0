#include "io/AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "io/TemporaryFile.h"

namespace {

Reason Failure(const std::string& path, int error) {
    return Reason(WriteFailure::CannotWrite).About(path).Errno(error);
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A file that is replaced keeps its permissions, as it would if it were rewritten in place.
void KeepModeOf(const std::string& path, int fd) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        ::fchmod(fd, existing.st_mode & 07777);
    }
}

// Makes the rename itself durable; a failure here cannot undo the save, so it is ignored.
void SyncFolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) {
        folder = ".";
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The file a save replaces: the path itself, or for a symbolic link the file it
// points to, so that the link stays and the linked file changes as if rewritten.
// Empty, with `why` set, for a link that leads nowhere.
std::string ResolveTarget(const std::string& path, Reason& why) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
        return path;
    }
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
    if (ec) {
        why = Reason(WriteFailure::BrokenLink).About(path).Errno(ec.value());
        return {};
    }
    return resolved.string();
}

// Writes the whole file through one temporary file and renames it over `target`.
// `namingFailed` tells the caller that an unnamed file could not be named and a
// named one should be tried.
WriteOutcome WriteThrough(const std::string& path, const std::string& target, const FileProducer& produce,
                          Placement placement, TemporaryFile::Kind kind, bool& namingFailed) {
    TemporaryFile temporary(target, kind);
    const int fd = temporary.Descriptor();
    if (fd < 0) {
        return WriteOutcome::Failed(Failure(path, errno));
    }
    KeepModeOf(target, fd);
    errno = 0;
    bool ok = produce([fd](std::span<const std::uint8_t> piece) { return WriteAll(fd, piece); });
    if (!ok && errno == 0) {
        errno = EIO;  // the producer gave up without a system error
    }
    if (ok && ::fsync(fd) != 0) {
        ok = false;
    }
    const bool replace = placement == Placement::ReplaceExisting;
    if (ok && !(replace ? temporary.CloseAndReplaceTarget() : temporary.CloseAndCreateTarget())) {
        ok = false;
        namingFailed = temporary.NamingFailed();
        if (!replace && errno == EEXIST) {
            return WriteOutcome::Failed(Reason(WriteFailure::AlreadyExists).About(path));
        }
    }
    if (!ok) {
        return WriteOutcome::Failed(Failure(path, errno));
    }
    SyncFolderOf(target);
    return WriteOutcome::Ok();
}

}  // namespace

std::string ReasonText(WriteFailure code, const Reason& reason) {
    const std::string& path = reason.Subject();
    switch (code) {
    case WriteFailure::NoName: return "cannot write a file without a name";
    case WriteFailure::NotRegularFile:
        return "cannot write " + path + ": it is not a regular file (a folder, a device or a pipe)";
    case WriteFailure::BrokenLink:
        return "cannot write " + path + ": it is a symbolic link to a file that does not exist (" +
               SystemErrorText(reason.ErrorNumber()) + ")";
    case WriteFailure::AlreadyExists: return "cannot write " + path + ": a file of that name is there already";
    case WriteFailure::CannotWrite: break;
    }
    return "cannot write " + path + ": " + SystemErrorText(reason.ErrorNumber());
}

WriteOutcome WriteFileAtomically(const std::string& path, std::span<const std::span<const std::uint8_t>> pieces,
                                 Placement placement, TemporaryFile::Kind kind) {
    return WriteFileAtomically(
        path,
        [pieces](const PieceWriter& write) {
            for (const auto& piece : pieces) {
                if (!write(piece)) {
                    return false;
                }
            }
            return true;
        },
        placement, kind);
}

WriteOutcome WriteFileAtomically(const std::string& path, const FileProducer& produce, Placement placement,
                                 TemporaryFile::Kind kind) {
    if (path.empty()) {
        return WriteOutcome::Failed(WriteFailure::NoName);
    }
    struct stat there {};
    if (placement == Placement::KeepExisting && ::lstat(path.c_str(), &there) == 0) {
        // A name that is taken (a symbolic link included) is not written through.
        return WriteOutcome::Failed(Reason(WriteFailure::AlreadyExists).About(path));
    }
    Reason why;
    const std::string target = ResolveTarget(path, why);
    if (target.empty()) {
        return WriteOutcome::Failed(std::move(why));
    }
    // Renaming replaces whatever the name stands for: a folder, a device or a pipe
    // would be replaced by an ordinary file, so only ordinary files are written.
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        return WriteOutcome::Failed(Reason(WriteFailure::NotRegularFile).About(path));
    }
    // Renaming would replace even a file the user may not write; such a file is kept,
    // as it would be by writing it in place.
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) {
        return WriteOutcome::Failed(Failure(path, errno));
    }
    // Temporaries that an earlier, killed save left in this folder go first.
    RemoveStaleTemporaries(std::filesystem::path(target).parent_path().string());
    bool namingFailed = false;
    WriteOutcome outcome = WriteThrough(path, target, produce, placement, kind, namingFailed);
    if (namingFailed) {
        outcome = WriteThrough(path, target, produce, placement, TemporaryFile::Kind::Named, namingFailed);
    }
    return outcome;
}
