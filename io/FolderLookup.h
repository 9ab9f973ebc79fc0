// Finds the files that a DICOMDIR names under its folder. Names on CDs and on the
// disks they are copied to differ in letter case ("IMAGES/IM0001" recorded as
// "images\im0001"), so each component matches exactly or else without regard to
// ASCII letter case, or else as an ISO 9660 name with its version and empty extension
// dropped ("IM0001;1" and "IM0001.;1" for "IM0001", as a CD shows them when mounted
// or copied without Rock Ridge names). Nothing outside the root folder is found: a component that is
// a link leading out of it is refused.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "io/RegularFile.h"

class FolderLookup {
public:
    enum class Outcome { Found, Missing, LeavesFolder };

    // `root`: the folder the components are relative to.
    explicit FolderLookup(std::string root);

    // The path the components name under the root, with its identity, or why there is none.
    Outcome Find(const std::vector<std::string>& components, std::string& path, FileIdentity& identity);

private:
    struct Listing {
        bool readable = false;
        std::uint64_t device = 0;
        // Each name as it is, and by its upper-case form; with its inode and whether it is a link.
        struct Entry {
            std::string name;
            std::uint64_t inode;
            bool link;  // or of a kind readdir did not tell
        };
        std::unordered_map<std::string, Entry> exact;
        std::unordered_map<std::string, Entry> folded;
        std::unordered_map<std::string, Entry> bare;  // upper case, ISO 9660 version dropped
    };
    const Listing& ListingOf(const std::string& folder);

    std::string m_root;
    std::string m_realRoot;
    std::unordered_map<std::string, Listing> m_listings;
};
