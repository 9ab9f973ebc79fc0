#include "tools/cli/NetLauncher.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "codecs/ModuleFolders.h"

namespace {
constexpr const char* kHelperName = "dorvanelle-net";
}

bool IsNetworkCommandName(std::string_view name) {
    return name == "echo" || name == "find" || name == "get" || name == "send";
}

int RunNetworkHelper(char** argv) {
    std::string tried;
    for (const std::string& folder : ModuleFolders()) {
        const std::string path = folder + "/" + kHelperName;
        if (::access(path.c_str(), X_OK) != 0) {
            tried += (tried.empty() ? "" : " or ") + folder;
            continue;
        }
        ::execv(path.c_str(), argv);
        std::fprintf(stderr, "dorvanelle-cli: the network commands could not be started (%s: %s)\n", path.c_str(),
                     std::strerror(errno));
        return 3;
    }
    std::fprintf(stderr, "dorvanelle-cli: the network commands are not installed (no %s in %s)\n", kHelperName,
                 tried.c_str());
    return 3;
}
