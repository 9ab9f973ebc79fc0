#include "io/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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
