// Walks folders for the files under them, as opening a folder of studies needs:
// every ordinary file whose name does not start with ".", folder by folder in name
// order. Links are followed, to files and to folders alike (a folder of links to
// studies is common), but no folder is walked twice: a link back to a folder being
// walked (a loop) or to one walked already is reported, not followed. Pipes,
// devices and sockets are reported and never opened.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "io/Reason.h"
#include "io/RegularFile.h"

enum class FolderWalkProblem {
    FolderUnreadable,  // ErrorNumber says why
    LinkLoop,          // a link leads back to a folder that contains it, or to itself
    FolderSeenBefore,  // a link leads to a folder walked already
    BrokenLink,        // a link to nothing
    NotOrdinaryFile,   // a pipe, device or socket
    TooDeep,           // folders nested deeper than kMaxFolderDepth
};
std::string ReasonText(FolderWalkProblem code, const Reason& reason);

struct FolderWalkCallbacks {
    // An ordinary file: its path (the folder's path joined with its name) and identity.
    std::function<void(const std::string& path, FileIdentity identity)> file;
    // Something not walked, with the path it concerns as its subject.
    std::function<void(Reason problem)> problem;
    // Asked before each folder: true ends the walk.
    std::function<bool()> cancelled;
};

inline constexpr int kMaxFolderDepth = 64;

// Walks the folder `root`. A root that cannot be read is one FolderUnreadable problem.
void WalkFolder(const std::string& root, const FolderWalkCallbacks& callbacks);
