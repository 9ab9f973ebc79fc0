#include "io/TemporaryFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>

namespace {

// Named temporaries of this process, for the signal handler: a fixed table of
// plain character arrays, since a handler may neither allocate nor take locks.
constexpr int kSlots = 16;
struct Slot {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 holds a path
    char path[PATH_MAX];
};
Slot g_slots[kSlots];

int Register(const std::string& path) {
    if (path.size() >= PATH_MAX) {
        return -1;  // cannot be listed; the next save's clean-up still finds it
    }
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (g_slots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
            g_slots[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void Unregister(int slot) {
    if (slot >= 0) {
        g_slots[slot].state.store(0);
    }
}

extern "C" void RemoveTemporariesAndEnd(int signal) {
    const int saved = errno;
    for (Slot& slot : g_slots) {
        if (slot.state.load() == 2) {
            ::unlink(slot.path);
        }
    }
    errno = saved;
    // End as the signal would have ended the process without this handler.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

std::string FolderOf(const std::string& target) {
    const std::string folder = std::filesystem::path(target).parent_path().string();
    return folder.empty() ? "." : folder;
}

constexpr const char kSuffix[] = ".tmp";

// ".NAME.<pid>.<n>.tmp" beside the target; part of NAME is enough to tell the
// file apart, all of it could pass NAME_MAX.
std::string TemporaryName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path path(target);
    const std::string base = path.filename().string().substr(0, 100);
    const std::string name =
        "." + base + "." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1)) + kSuffix;
    return (path.parent_path() / name).string();
}

bool AllDigits(const std::string& text) {
    return !text.empty() && text.size() <= 10 && text.find_first_not_of("0123456789") == std::string::npos;
}

// The process id in a name of our pattern, or nothing for any other name.
std::optional<pid_t> OwnerOfTemporaryName(const std::string& name) {
    const std::size_t suffix = sizeof kSuffix - 1;
    if (name.size() < 1 + suffix || name[0] != '.' || name.compare(name.size() - suffix, suffix, kSuffix) != 0) {
        return std::nullopt;
    }
    const std::string stem = name.substr(1, name.size() - 1 - suffix);  // NAME.<pid>.<n>
    const std::size_t counterDot = stem.rfind('.');
    if (counterDot == std::string::npos || counterDot == 0 || !AllDigits(stem.substr(counterDot + 1))) {
        return std::nullopt;
    }
    const std::size_t pidDot = stem.rfind('.', counterDot - 1);
    if (pidDot == std::string::npos || pidDot == 0) {
        return std::nullopt;  // NAME may not be empty
    }
    const std::string pid = stem.substr(pidDot + 1, counterDot - pidDot - 1);
    if (!AllDigits(pid)) {
        return std::nullopt;
    }
    const long long value = std::stoll(pid);
    if (value <= 0 || value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<pid_t>(value);
}

}  // namespace

TemporaryFile::TemporaryFile(const std::string& target, Kind kind) : m_target(target) {
    if (kind == Kind::UnnamedWherePossible) {
        m_fd = ::open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_unnamed = true;
            return;
        }
        // Any refusal (an old kernel, a file system without unnamed files) falls back to
        // a named file, whose own failure then tells why a save cannot be made here.
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TemporaryName(target);
        const int slot = Register(name);
        m_fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_name = name;
            m_slot = slot;
            return;
        }
        const int error = errno;
        Unregister(slot);
        errno = error;
        if (error != EEXIST) {
            return;
        }
    }
    errno = EEXIST;
}

TemporaryFile::~TemporaryFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    Forget();
}

void TemporaryFile::Forget() {
    if (!m_name.empty()) {
        ::unlink(m_name.c_str());
        m_name.clear();
    }
    Unregister(m_slot);
    m_slot = -1;
}

bool TemporaryFile::GiveName() {
    const std::string viaProc = "/proc/self/fd/" + std::to_string(m_fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TemporaryName(m_target);
        m_slot = Register(name);
        // Linking through /proc needs no privilege; AT_EMPTY_PATH does, but works without /proc.
        int linked = ::linkat(AT_FDCWD, viaProc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
        if (linked != 0 && errno != EEXIST) {
            linked = ::linkat(m_fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
        }
        if (linked == 0) {
            m_name = name;
            return true;
        }
        const int error = errno;
        Unregister(m_slot);
        m_slot = -1;
        errno = error;
        if (error != EEXIST) {
            return false;
        }
    }
    return false;
}

bool TemporaryFile::CloseAndReplaceTarget() { return Place(true); }

bool TemporaryFile::CloseAndCreateTarget() { return Place(false); }

namespace {

// Gives the named file `from` the name `to` unless `to` exists (EEXIST then). Where
// the file system cannot rename without replacing, a second link does the same.
bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

}  // namespace

bool TemporaryFile::Place(bool replace) {
    if (m_fd < 0) {
        errno = EBADF;
        return false;
    }
    if (m_unnamed && !replace) {
        // An unnamed file is linked under the target's name directly: the link fails
        // when the name exists, and there is no moment at which it has another name.
        const std::string viaProc = "/proc/self/fd/" + std::to_string(m_fd);
        int linked = ::linkat(AT_FDCWD, viaProc.c_str(), AT_FDCWD, m_target.c_str(), AT_SYMLINK_FOLLOW);
        if (linked != 0 && errno != EEXIST) {
            linked = ::linkat(m_fd, "", AT_FDCWD, m_target.c_str(), AT_EMPTY_PATH);
        }
        const int error = errno;
        const int fd = std::exchange(m_fd, -1);
        if (linked != 0) {
            m_namingFailed = error != EEXIST;
            ::close(fd);
            errno = error;
            return false;
        }
        if (::close(fd) != 0) {
            const int closeError = errno;
            ::unlink(m_target.c_str());  // a file whose last bytes may be lost is not left
            errno = closeError;
            return false;
        }
        return true;
    }
    if (m_unnamed && !GiveName()) {
        m_namingFailed = true;
        return false;  // the destructor closes the unnamed file, which then goes
    }
    const int fd = m_fd;
    m_fd = -1;
    bool ok = ::close(fd) == 0 &&
              (replace ? std::rename(m_name.c_str(), m_target.c_str()) == 0 : RenameWithoutReplacing(m_name, m_target));
    const int error = errno;
    if (ok) {
        m_name.clear();  // it is the target now
    }
    Forget();
    errno = error;
    return ok;
}

int RemoveStaleTemporaries(const std::string& folder) {
    int removed = 0;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::optional<pid_t> owner = OwnerOfTemporaryName(name);
        if (!owner || *owner == ::getpid()) {
            continue;
        }
        struct stat info {};
        // Only ordinary files of this user, and only when their process is gone:
        // a live process may still be writing, or reuse its number.
        if (::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
            continue;
        }
        if (::kill(*owner, 0) == 0 || errno != ESRCH) {
            continue;
        }
        if (::unlink(it->path().c_str()) == 0) {
            ++removed;
        }
    }
    return removed;
}

void InstallTemporaryFileCleanup() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        // A signal that is ignored, or handled by someone else, is left as it is.
        if (::sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
            current.sa_handler != SIG_DFL) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = RemoveTemporariesAndEnd;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
}
