// Hands arbitrary bytes to what reads a server's answers: as the bytes of a C-FIND
// match (in the transfer syntax the first byte chooses) read into plain values, and as
// a file that arrived by C-GET or C-MOVE, read for the UIDs that name it, and named.
// A reader must give values or refuse, never crash, hang or allocate without bound.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>

#include "net/Association.h"
#include "net/FindMatch.h"
#include "net/RetrievedFiles.h"

namespace {

// The scratch file the stored-file reader reads, removed when the run ends.
struct ScratchFile {
    ScratchFile() {
        char name[] = "/tmp/fuzz_net_response.XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd >= 0) ::close(fd);
        path = name;
    }
    ~ScratchFile() { ::unlink(path.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    std::string path;
};

void CheckName(const std::string& uid) {
    const std::string name = NameFromUid(uid);
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == ".." || name.size() > 64) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    SetUpNetworkLibrary();
    static const char* const syntaxes[] = {"1.2.840.10008.1.2", "1.2.840.10008.1.2.1", "1.2.840.10008.1.2.2"};
    const std::optional<FindMatch> match =
        ReadFindMatchBytes(std::span<const std::uint8_t>(data + 1, size - 1), syntaxes[data[0] % 3]);
    if (match) {
        if (match->values.size() > kMaxValuesPerMatch) std::abort();
        for (const FoundValue& value : match->values) {
            if (value.text.size() > kMaxValueText) std::abort();
        }
    }
    static const ScratchFile scratch;
    const std::string& path = scratch.path;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    StoredFileIdentity identity;
    if (ReadStoredFileIdentity(path, identity)) {
        CheckName(identity.studyUid);
        CheckName(identity.sopInstanceUid);
    }
    return 0;
}
