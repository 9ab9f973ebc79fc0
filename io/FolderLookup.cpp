#include "io/FolderLookup.h"

#include <dirent.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace {

std::string Folded(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return folded;
}

// An ISO 9660 name as a DICOMDIR records it: without its ";1" version and the "."
// that ends a name without an extension.
std::string Bare(std::string name) {
    const std::size_t semicolon = name.rfind(';');
    if (semicolon != std::string::npos &&
        name.find_first_not_of("0123456789", semicolon + 1) == std::string::npos) {
        name.resize(semicolon);
    }
    if (name.size() > 1 && name.back() == '.') {
        name.pop_back();
    }
    return Folded(name);
}

std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

FolderLookup::FolderLookup(std::string root) : m_root(std::move(root)), m_realRoot(RealPath(m_root)) {
    while (m_root.size() > 1 && m_root.back() == '/') {
        m_root.pop_back();
    }
}

const FolderLookup::Listing& FolderLookup::ListingOf(const std::string& folder) {
    const auto known = m_listings.find(folder);
    if (known != m_listings.end()) {
        return known->second;
    }
    Listing& listing = m_listings[folder];
    struct stat info {};
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir || ::fstat(::dirfd(dir.get()), &info) != 0) {
        return listing;
    }
    listing.readable = true;
    listing.device = static_cast<std::uint64_t>(info.st_dev);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const Listing::Entry e{name, static_cast<std::uint64_t>(entry->d_ino),
                               entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN};
        listing.exact.emplace(name, e);
        listing.folded.emplace(Folded(name), e);  // the first of names that differ only in case
        listing.bare.emplace(Bare(name), e);
    }
    return listing;
}

FolderLookup::Outcome FolderLookup::Find(const std::vector<std::string>& components, std::string& path,
                                         FileIdentity& identity) {
    if (components.empty()) {
        return Outcome::Missing;
    }
    std::string at = m_root;
    bool linked = false;
    std::uint64_t inode = 0;
    std::uint64_t device = 0;
    for (const std::string& component : components) {
        const Listing& listing = ListingOf(at);
        if (!listing.readable) {
            return Outcome::Missing;
        }
        auto entry = listing.exact.find(component);
        if (entry == listing.exact.end()) {
            entry = listing.folded.find(Folded(component));
            if (entry == listing.folded.end()) {
                entry = listing.bare.find(Bare(component));
                if (entry == listing.bare.end()) {
                    return Outcome::Missing;
                }
            }
        }
        at += "/" + entry->second.name;
        linked = linked || entry->second.link;
        inode = entry->second.inode;
        device = listing.device;
    }
    struct stat info {};
    if (linked) {
        // A link may lead anywhere: the file must be inside the root's real path.
        const std::string real = RealPath(at);
        if (real.empty()) {
            return Outcome::Missing;
        }
        if (m_realRoot.empty() || real.compare(0, m_realRoot.size(), m_realRoot) != 0 ||
            (real.size() > m_realRoot.size() && real[m_realRoot.size()] != '/' && m_realRoot != "/")) {
            return Outcome::LeavesFolder;
        }
        if (::stat(real.c_str(), &info) != 0) {
            return Outcome::Missing;
        }
        device = static_cast<std::uint64_t>(info.st_dev);
        inode = static_cast<std::uint64_t>(info.st_ino);
    }
    path = at;
    identity = {device, inode};
    return Outcome::Found;
}
