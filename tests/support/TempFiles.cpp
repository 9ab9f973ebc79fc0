#include "tests/support/TempFiles.h"

#include <atomic>
#include <iterator>
#include <unistd.h>

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    const std::string name = "dorvanelle-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    m_path = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::size_t TempFolder::FileCount() const {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(m_path), std::filesystem::directory_iterator()));
}
