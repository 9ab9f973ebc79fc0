#include "io/FileBuffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <utility>

#include "io/RegularFile.h"

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this the huge-page alignment wastes more than it saves.
constexpr std::size_t kHugePageThreshold = std::size_t{8} << 20;
// One read(2) call asks for at most this much, so that no call is near SSIZE_MAX.
constexpr std::size_t kReadChunk = std::size_t{1} << 30;

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// Reads bytes [offset, offset + size) of the file into `out`.
bool ReadRange(int fd, std::uint8_t* out, std::size_t offset, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got =
            ::pread(fd, out + done, std::min(size - done, kReadChunk), static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;  // an error, or the file ended before its announced size
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

const char* KindWords(FileKind kind) {
    switch (kind) {
    case FileKind::Pipe: return "a named pipe (FIFO)";
    case FileKind::CharacterDevice: return "a character device";
    case FileKind::BlockDevice: return "a block device";
    case FileKind::Socket: return "a socket";
    case FileKind::Folder: return "a folder";
    case FileKind::Regular:
    case FileKind::Other: break;
    }
    return "a special file";
}

}  // namespace

FileBuffer FileBuffer::Allocate(std::size_t size) {
    FileBuffer buffer;
    void* p = nullptr;
    if (size >= kHugePageThreshold) {
        const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
        p = std::aligned_alloc(kHugePage, rounded);
        if (p != nullptr) {
            ::madvise(p, rounded, MADV_HUGEPAGE);  // advice only: failure changes nothing
        }
    } else {
        p = std::malloc(std::max<std::size_t>(size, 1));
    }
    buffer.m_bytes.reset(static_cast<std::uint8_t*>(p));
    buffer.m_size = p != nullptr ? size : 0;
    return buffer;
}

std::string ReasonText(FileReadFailure code, const Reason& reason) {
    const std::string& path = reason.Subject();
    switch (code) {
    case FileReadFailure::CannotOpen: return "cannot open " + path + ": " + SystemErrorText(reason.ErrorNumber());
    case FileReadFailure::NotRegularFile:
        return "cannot read " + path + ": it is " + KindWords(static_cast<FileKind>(reason.First())) +
               ", not a regular file";
    case FileReadFailure::CannotRead: return "cannot read " + path + ": " + SystemErrorText(reason.ErrorNumber());
    case FileReadFailure::TooLarge: return path + " is 4 GiB or larger";
    case FileReadFailure::ChangedOnDisk: return "the file changed on disk";
    case FileReadFailure::OutOfMemory: break;
    }
    return "there is not enough memory to read " + path;
}

const char* ReasonName(FileReadFailure code) {
    switch (code) {
    case FileReadFailure::CannotOpen: return "cannot_open";
    case FileReadFailure::NotRegularFile: return "not_regular_file";
    case FileReadFailure::CannotRead: return "cannot_read";
    case FileReadFailure::TooLarge: return "file_too_large";
    case FileReadFailure::OutOfMemory: return "out_of_memory";
    case FileReadFailure::ChangedOnDisk: return "changed_on_disk";
    }
    return "unknown";
}

// Opens `path` for reading and learns its size, refusing a file too large to read whole.
Reason OpenForWholeRead(const std::string& path, Descriptor& file, std::size_t& size) {
    Reason why;
    file = Descriptor(OpenRegularFile(path, &why));
    if (file.Get() < 0) {
        return why;
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) {
        return Reason(FileReadFailure::CannotRead).About(path).Errno(errno);
    }
    if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > kMaxFileSize) {
        return Reason(FileReadFailure::TooLarge).About(path);
    }
    size = static_cast<std::size_t>(info.st_size);
    return {};
}

Reason ReadWholeFile(const std::string& path, FileBuffer& out) {
    const auto failed = [&](FileReadFailure code, int error = 0) { return Reason(code).About(path).Errno(error); };
    Descriptor file(-1);
    std::size_t size = 0;
    if (Reason problem = OpenForWholeRead(path, file, size)) {
        return problem;
    }
    ::posix_fadvise(file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    FileBuffer buffer = FileBuffer::Allocate(size);
    if (!buffer) {
        return failed(FileReadFailure::OutOfMemory);
    }
    errno = 0;
    if (!ReadRange(file.Get(), buffer.Data(), 0, size)) {
        // A read that ends early (errno 0) means the file shrank while it was read.
        return failed(FileReadFailure::CannotRead, errno != 0 ? errno : EIO);
    }
    out = std::move(buffer);
    return {};
}

const char* ReasonSummary(FileReadFailure code) {
    switch (code) {
    case FileReadFailure::CannotOpen: return "the file cannot be opened";
    case FileReadFailure::NotRegularFile: return "the input is not an ordinary file";
    case FileReadFailure::CannotRead: return "the file could not be read";
    case FileReadFailure::TooLarge: return "the file is 4 GiB or larger";
    case FileReadFailure::OutOfMemory: return "there is not enough memory to read the file";
    default: return nullptr;
    }
}
