#include "codecs/DecoderModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include "codecs/DecodeFailure.h"
#include "codecs/DecoderTable.h"
#include "codecs/ModuleFolders.h"

namespace {

constexpr const char* kModuleName = "dorvanelle-codecs.so";

struct Loaded {
    const DecoderTable* table = nullptr;
    std::string problem;
};

Loaded Load() {
    Loaded loaded;
    std::string tried;
    for (const std::string& folder : ModuleFolders()) {
        const std::string path = folder + "/" + kModuleName;
        if (access(path.c_str(), F_OK) != 0) {
            tried += (tried.empty() ? "" : " or ") + folder;
            continue;
        }
        // The module is kept loaded for the life of the process.
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* error = dlerror();
            loaded.problem = error != nullptr ? error : path;
            return loaded;
        }
        const auto entry = reinterpret_cast<DecoderTableEntry>(dlsym(handle, kDecoderTableSymbol));
        const DecoderTable* table = entry != nullptr ? entry() : nullptr;
        if (table == nullptr || table->version != kDecoderTableVersion || table->size < sizeof(DecoderTable) ||
            table->probeFrame == nullptr || table->decodeFrame == nullptr) {
            dlclose(handle);
            loaded.problem = path + " is not a decoder module of this version";
            return loaded;
        }
        loaded.table = table;
        return loaded;
    }
    loaded.problem = std::string("no ") + kModuleName + " in " + tried;
    return loaded;
}

}  // namespace

const DecoderTable* LoadedDecoders(Reason* why) {
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = Load(); });
    if (loaded.table == nullptr) {
        SetReason(why, Reason(DecodeFailure::DecodersNotLoaded).About(loaded.problem));
    }
    return loaded.table;
}
