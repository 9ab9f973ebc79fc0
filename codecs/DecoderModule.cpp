#include "codecs/DecoderModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <mutex>
#include <string>

#include "codecs/DecodeFailure.h"
#include "codecs/DecoderTable.h"
#include "codecs/ModuleFolders.h"

namespace {

struct Loaded {
    const DecoderTable* table = nullptr;
    std::string problem;
};

Loaded Load(DecoderLibrary library) {
    const std::string name = DecoderModuleFile(library);
    Loaded loaded;
    std::string tried;
    for (const std::string& folder : ModuleFolders()) {
        std::string path = folder;
        path += '/';
        path += name;
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
        const auto entry = reinterpret_cast<DecoderTableEntry>(dlsym(handle, DecoderModuleEntry(library)));
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
    loaded.problem = "no " + name + " in " + tried;
    return loaded;
}

}  // namespace

const DecoderTable* LoadedDecoders(DecoderLibrary library, Reason* why) {
    const auto index = static_cast<std::size_t>(library);
    if (index >= kDecoderLibraries) {
        SetReason(why, Reason(DecodeFailure::DecodersNotLoaded));
        return nullptr;
    }
    static std::array<std::once_flag, kDecoderLibraries> once;
    static std::array<Loaded, kDecoderLibraries> loaded;
    std::call_once(once[index], [library, index] { loaded[index] = Load(library); });
    if (loaded[index].table == nullptr) {
        SetReason(why, Reason(DecodeFailure::DecodersNotLoaded).About(loaded[index].problem));
    }
    return loaded[index].table;
}
