#include "io/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "io/FileBuffer.h"

namespace {

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// Reads exactly `size` bytes at `offset`, or says why not.
SourceRead ReadFully(int fd, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, out + done, std::min(size - done, kChunk), static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return SourceRead::Failed;
        }
        if (got == 0) {
            return SourceRead::Changed;  // the file ends before the size it had
        }
        done += static_cast<std::size_t>(got);
    }
    return SourceRead::Done;
}

}  // namespace

FileKind KindOfMode(unsigned mode) {
    switch (mode & S_IFMT) {
    case S_IFREG: return FileKind::Regular;
    case S_IFDIR: return FileKind::Folder;
    case S_IFIFO: return FileKind::Pipe;
    case S_IFCHR: return FileKind::CharacterDevice;
    case S_IFBLK: return FileKind::BlockDevice;
    case S_IFSOCK: return FileKind::Socket;
    default: return FileKind::Other;
    }
}

namespace {

int Refuse(const std::string& path, FileKind kind, Reason* why) {
    if (kind == FileKind::Folder) {
        SetReason(why, Reason(FileReadFailure::CannotOpen).About(path).Errno(EISDIR));
    } else {
        SetReason(why, Reason(FileReadFailure::NotRegularFile).About(path).Numbers(static_cast<int>(kind)));
    }
    return -1;
}

}  // namespace

int OpenRegularFile(const std::string& path, Reason* why) {
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0) {
        SetReason(why, Reason(FileReadFailure::CannotOpen).About(path).Errno(errno));
        return -1;
    }
    if (!S_ISREG(before.st_mode)) {
        return Refuse(path, KindOfMode(before.st_mode), why);
    }
    // Without blocking, so that a pipe put in the file's place since the look cannot
    // make the open wait; the file's kind is then checked on what was opened.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        SetReason(why, Reason(FileReadFailure::CannotOpen).About(path).Errno(errno));
        return -1;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
        const int error = errno;
        ::close(fd);
        SetReason(why, Reason(FileReadFailure::CannotOpen).About(path).Errno(error));
        return -1;
    }
    if (!S_ISREG(opened.st_mode)) {
        ::close(fd);
        return Refuse(path, KindOfMode(opened.st_mode), why);
    }
    // Ordinary files ignore the flag, but reads should not depend on that.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

Reason RegularFileProblem(const std::string& path) {
    Reason why;
    const int fd = OpenRegularFile(path, &why);
    if (fd >= 0) {
        ::close(fd);
    }
    return why;
}

std::string ReasonText(RegularFileFailure code, const Reason& reason) {
    switch (code) {
    case RegularFileFailure::NotOrdinaryFile: break;
    }
    return reason.Subject() + " is not an ordinary file (a folder, a pipe, a device or a socket)";
}

const char* ReasonName(RegularFileFailure code) {
    return code == RegularFileFailure::NotOrdinaryFile ? "not_ordinary_file" : "unknown";
}

std::shared_ptr<RegularFile> RegularFile::Open(const std::string& path, Reason* why) {
    Reason refusal;
    const int fd = OpenRegularFile(path, &refusal);
    if (fd < 0) {
        // Anything but a file that is not there or cannot be opened is "not an
        // ordinary file" here, a folder included.
        const bool notOrdinary = refusal.Is(FileReadFailure::NotRegularFile) || refusal.ErrorNumber() == EISDIR;
        SetReason(why, notOrdinary ? Reason(RegularFileFailure::NotOrdinaryFile).About(path) : std::move(refusal));
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        ::close(fd);
        SetReason(why, Reason(RegularFileFailure::NotOrdinaryFile).About(path));
        return nullptr;
    }
    const FileIdentity identity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return std::shared_ptr<RegularFile>(
        new RegularFile(fd, static_cast<std::uint64_t>(info.st_size), info.st_mtim, identity));
}

RegularFile::RegularFile(int fd, std::uint64_t size, timespec modified, FileIdentity identity)
    : m_fd(fd), m_size(size), m_modified(modified), m_identity(identity) {}

RegularFile::~RegularFile() { ::close(m_fd); }

bool RegularFile::Unchanged() const {
    struct stat info {};
    return ::fstat(m_fd, &info) == 0 && static_cast<std::uint64_t>(info.st_size) == m_size &&
           SameTime(info.st_mtim, m_modified);
}

SourceRead RegularFile::ReadHead(std::uint8_t* out, std::size_t size) const {
    return ReadFully(m_fd, 0, out, static_cast<std::size_t>(std::min<std::uint64_t>(size, m_size)));
}

SourceRead RegularFile::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const {
    if (offset > m_size || size > m_size - offset) {
        return SourceRead::Changed;
    }
    const SourceRead read = ReadFully(m_fd, offset, out, size);
    if (read != SourceRead::Done) {
        return read;
    }
    return Unchanged() ? SourceRead::Done : SourceRead::Changed;
}
