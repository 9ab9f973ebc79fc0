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

std::string ReasonText(RegularFileFailure code, const Reason& reason) {
    switch (code) {
    case RegularFileFailure::NotOrdinaryFile: break;
    }
    return reason.Subject() + " is not an ordinary file (a folder, a pipe, a device or a socket)";
}

std::shared_ptr<RegularFile> RegularFile::Open(const std::string& path, Reason* why) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        SetReason(why, Reason(FileReadFailure::CannotOpen).About(path).Errno(errno));
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
