#include "io/AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace {

Reason Failure(const std::string& path, int error) {
    return Reason(WriteFailure::CannotWrite).About(path).Errno(error);
}

// Creates a new, empty file beside `path` whose name no other writer uses, with the
// ordinary permissions (0666 less the umask). Returns its descriptor or -1.
int CreateTemporaryBeside(const std::string& path, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path target(path);
    // Part of the name is enough to tell the file apart; all of it could pass NAME_MAX.
    const std::string base = target.filename().string().substr(0, 100);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + base + "." + std::to_string(::getpid()) + "." +
                                 std::to_string(counter.fetch_add(1)) + ".tmp";
        tempPath = (target.parent_path() / name).string();
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
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

}  // namespace

std::string ReasonText(WriteFailure code, const Reason& reason) {
    switch (code) {
        case WriteFailure::NoName:
            return "cannot write a file without a name";
        case WriteFailure::NotRegularFile:
            return "cannot write " + reason.Subject() + ": it is not a regular file (a folder, a device or a pipe)";
        case WriteFailure::CannotWrite:
            break;
    }
    return "cannot write " + reason.Subject() + ": " + SystemErrorText(reason.ErrorNumber());
}

WriteOutcome WriteFileAtomically(const std::string& path, std::span<const std::span<const std::uint8_t>> pieces) {
    if (path.empty()) {
        return WriteOutcome::Failed(WriteFailure::NoName);
    }
    // Renaming replaces whatever the name stands for: a folder, a device or a pipe
    // would be replaced by an ordinary file, so only ordinary files are written.
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        return WriteOutcome::Failed(Reason(WriteFailure::NotRegularFile).About(path));
    }
    // Renaming would replace even a file the user may not write; such a file is kept,
    // as it would be by writing it in place.
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0) {
        return WriteOutcome::Failed(Failure(path, errno));
    }
    std::string tempPath;
    const int fd = CreateTemporaryBeside(path, tempPath);
    if (fd < 0) {
        return WriteOutcome::Failed(Failure(path, errno));
    }
    KeepModeOf(path, fd);
    bool ok = true;
    for (const auto& piece : pieces) {
        if (!WriteAll(fd, piece)) {
            ok = false;
            break;
        }
    }
    if (ok && ::fsync(fd) != 0) {
        ok = false;
    }
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && std::rename(tempPath.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(tempPath.c_str());
        return WriteOutcome::Failed(Failure(path, error));
    }
    SyncFolderOf(path);
    return WriteOutcome::Ok();
}
