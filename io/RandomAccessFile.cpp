#include "io/RandomAccessFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "io/RegularFile.h"

namespace {

// One pread asks for at most this much, so that no call is near SSIZE_MAX.
constexpr std::size_t kReadChunk = std::size_t{1} << 30;

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

SourceRead MemorySource::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const {
    if (offset > m_bytes.Size() || size > m_bytes.Size() - offset) {
        return SourceRead::Failed;
    }
    if (size != 0) {
        std::memcpy(out, m_bytes.Data() + offset, size);
    }
    return SourceRead::Done;
}

Reason SourceReadFailure(SourceRead read, const std::string& path) {
    if (read == SourceRead::Changed) {
        return Reason(FileReadFailure::ChangedOnDisk).About(path);
    }
    return Reason(FileReadFailure::CannotRead).About(path).Errno(errno != 0 ? errno : EIO);
}

SourceRead BorrowedBytes::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const {
    if (offset > m_size || size > m_size - offset) {
        return SourceRead::Failed;
    }
    if (size != 0) {
        std::memcpy(out, m_bytes + offset, size);
    }
    return SourceRead::Done;
}

std::shared_ptr<RandomAccessFile> RandomAccessFile::Open(const std::string& path, Reason* why) {
    const auto fail = [&](int number) {
        SetReason(why, Reason(FileReadFailure::CannotOpen).About(path).Errno(number));
        return nullptr;
    };
    const int fd = OpenRegularFile(path, why);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size < 0) {
        const int number = errno != 0 ? errno : EIO;
        ::close(fd);
        return fail(number);
    }
    return std::shared_ptr<RandomAccessFile>(
        new RandomAccessFile(fd, static_cast<std::uint64_t>(info.st_size), info.st_mtim));
}

RandomAccessFile::RandomAccessFile(int fd, std::uint64_t size, timespec modified)
    : m_fd(fd), m_size(size), m_modified(modified) {}

RandomAccessFile::~RandomAccessFile() { ::close(m_fd); }

bool RandomAccessFile::Unchanged() const {
    struct stat info {};
    return ::fstat(m_fd, &info) == 0 && static_cast<std::uint64_t>(info.st_size) == m_size &&
           SameTime(info.st_mtim, m_modified);
}

SourceRead RandomAccessFile::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const {
    if (offset > m_size || size > m_size - offset) {
        return SourceRead::Changed;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got =
            ::pread(m_fd, out + done, std::min(size - done, kReadChunk), static_cast<off_t>(offset + done));
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
    // Checked after the read: bytes written before this point are caught, and the
    // caller never keeps bytes of a file that was rewritten in place.
    return Unchanged() ? SourceRead::Done : SourceRead::Changed;
}
