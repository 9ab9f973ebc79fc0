#include "codecs/ModuleFolders.h"

#include <cstdlib>
#include <filesystem>

std::vector<std::string> ModuleFolders() {
    const char* chosen = std::getenv("DORVANELLE_CODECS_DIR");
    if (chosen != nullptr && *chosen != '\0') {
        return {chosen};
    }
    std::vector<std::string> folders;
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::string folder = program.parent_path().string();
        folders.push_back(folder);
        // Installed under another prefix than the one configured (a package).
        folders.push_back(folder + "/" + DORVANELLE_CODECS_BESIDE_PROGRAMS);
    }
    folders.emplace_back(DORVANELLE_CODECS_INSTALL_DIR);
    return folders;
}
