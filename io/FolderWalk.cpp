#include "io/FolderWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <unordered_set>
#include <vector>

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

struct Entry {
    std::string name;
    unsigned char type;
    std::uint64_t inode;
};

FileIdentity IdentityOf(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

class Walker {
public:
    explicit Walker(const FolderWalkCallbacks& callbacks) : m_callbacks(callbacks) {}

    void Walk(const std::string& root) {
        struct stat info {};
        if (::stat(root.c_str(), &info) != 0) {
            Problem(Reason(FolderWalkProblem::FolderUnreadable).About(root).Errno(errno));
            return;
        }
        Folder(root, IdentityOf(info), 0);
    }

private:
    void Problem(Reason reason) {
        if (m_callbacks.problem) {
            m_callbacks.problem(std::move(reason));
        }
    }

    bool Cancelled() const { return m_callbacks.cancelled && m_callbacks.cancelled(); }

    // Walks the folder at `path`, whose identity was read through the path that led here.
    void Folder(const std::string& path, FileIdentity identity, int depth) {
        if (Cancelled()) {
            return;
        }
        if (depth > kMaxFolderDepth) {
            Problem(Reason(FolderWalkProblem::TooDeep).About(path).Numbers(kMaxFolderDepth));
            return;
        }
        if (std::find(m_ancestors.begin(), m_ancestors.end(), identity) != m_ancestors.end()) {
            Problem(Reason(FolderWalkProblem::LinkLoop).About(path));
            return;
        }
        if (!m_walked.insert(identity).second) {
            Problem(Reason(FolderWalkProblem::FolderSeenBefore).About(path));
            return;
        }
        std::vector<Entry> entries;
        if (!List(path, entries)) {
            return;
        }
        const std::string prefix = path.ends_with('/') ? path : path + "/";
        std::vector<std::pair<std::string, FileIdentity>> folders;
        for (const Entry& entry : entries) {
            std::string child = prefix + entry.name;
            switch (entry.type) {
            case DT_REG: Found(child, {identity.device, entry.inode}); break;
            case DT_DIR: {
                // The inode readdir gives for a folder that is a mount point is that of
                // the folder beneath: stat it.
                struct stat info {};
                if (::stat(child.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
                    folders.emplace_back(std::move(child), IdentityOf(info));
                } else {
                    Problem(Reason(FolderWalkProblem::FolderUnreadable).About(child).Errno(errno != 0 ? errno : EIO));
                }
                break;
            }
            case DT_LNK:
            case DT_UNKNOWN: Followed(std::move(child), folders); break;
            default: Problem(Reason(FolderWalkProblem::NotOrdinaryFile).About(child)); break;
            }
        }
        m_ancestors.push_back(identity);
        for (const auto& [folder, id] : folders) {
            Folder(folder, id, depth + 1);
        }
        m_ancestors.pop_back();
    }

    // A link, or an entry whose kind readdir did not say: what it leads to decides.
    void Followed(std::string child, std::vector<std::pair<std::string, FileIdentity>>& folders) {
        struct stat info {};
        if (::stat(child.c_str(), &info) != 0) {
            const int error = errno;
            if (error == ELOOP) {
                Problem(Reason(FolderWalkProblem::LinkLoop).About(child));
            } else if (error == ENOENT) {
                Problem(Reason(FolderWalkProblem::BrokenLink).About(child));
            } else {
                Problem(Reason(FolderWalkProblem::FolderUnreadable).About(child).Errno(error));
            }
            return;
        }
        if (S_ISDIR(info.st_mode)) {
            folders.emplace_back(std::move(child), IdentityOf(info));
        } else if (S_ISREG(info.st_mode)) {
            Found(child, IdentityOf(info));
        } else {
            Problem(Reason(FolderWalkProblem::NotOrdinaryFile).About(child));
        }
    }

    void Found(const std::string& path, FileIdentity identity) {
        if (m_callbacks.file) {
            m_callbacks.file(path, identity);
        }
    }

    bool List(const std::string& path, std::vector<Entry>& entries) {
        std::unique_ptr<DIR, DirCloser> dir(::opendir(path.c_str()));
        if (!dir) {
            Problem(Reason(FolderWalkProblem::FolderUnreadable).About(path).Errno(errno));
            return false;
        }
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir.get());
            if (entry == nullptr) {
                if (errno != 0) {
                    Problem(Reason(FolderWalkProblem::FolderUnreadable).About(path).Errno(errno));
                }
                break;
            }
            if (entry->d_name[0] == '.') {
                continue;  // ".", "..", and hidden files such as macOS's "._IM0001" companions
            }
            entries.push_back({entry->d_name, entry->d_type, static_cast<std::uint64_t>(entry->d_ino)});
        }
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
        return true;
    }

    const FolderWalkCallbacks& m_callbacks;
    std::vector<FileIdentity> m_ancestors;
    std::unordered_set<FileIdentity, FileIdentityHash> m_walked;
};

}  // namespace

std::string ReasonText(FolderWalkProblem code, const Reason& reason) {
    const std::string& path = reason.Subject();
    switch (code) {
    case FolderWalkProblem::FolderUnreadable:
        return "the folder " + path + " cannot be read: " + SystemErrorText(reason.ErrorNumber());
    case FolderWalkProblem::LinkLoop: return path + " is a link that leads back into itself (a loop), not followed";
    case FolderWalkProblem::FolderSeenBefore: return path + " leads to a folder that was walked already";
    case FolderWalkProblem::BrokenLink: return path + " is a link to nothing";
    case FolderWalkProblem::NotOrdinaryFile: return path + " is not an ordinary file (a pipe, a device or a socket)";
    case FolderWalkProblem::TooDeep: break;
    }
    return path + " is nested more than " + std::to_string(reason.First()) + " folders deep, not walked";
}

void WalkFolder(const std::string& root, const FolderWalkCallbacks& callbacks) { Walker(callbacks).Walk(root); }
