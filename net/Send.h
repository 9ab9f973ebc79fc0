// Sending files to a server by C-STORE. Each file goes in the transfer syntax it
// is stored in (its bytes as they are on disk), or, for uncompressed data the
// server takes only in another uncompressed syntax, converted to that. Files are
// grouped into associations of at most 127 contexts.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "io/Reason.h"
#include "net/CancelToken.h"
#include "net/ServerSettings.h"

struct SentFile {
    std::string path;
    std::size_t index = 0;  // its place in the list given to Send
    bool stored = false;  // the server took it (perhaps with a warning)
    Reason problem;       // why not, or the server's warning
};

struct SendResult {
    std::vector<SentFile> files;  // one per file, in the order given
    std::size_t stored = 0;
    std::size_t refused = 0;  // not DICOM, or refused by the server
    std::size_t notSent = 0;  // never tried: the connection failed or broke, or cancelled
    Reason failure;           // why files were left unsent
};

struct SendObserver {
    // After each file, with the count done and the total.
    std::function<void(const SentFile&, std::size_t done, std::size_t total)> fileDone;
    const CancelToken* cancel = nullptr;
};

SendResult Send(const ServerSettings& settings, const std::vector<std::string>& files,
                const SendObserver& observer = {});
