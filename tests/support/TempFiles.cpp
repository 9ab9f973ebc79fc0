#include "tests/support/TempFiles.h"

#include <unistd.h>
#include <atomic>
#include <fstream>
#include <iterator>

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadFileText(const std::filesystem::path& path, std::size_t most) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    for (std::istreambuf_iterator<char> it(in), end; it != end && text.size() < most; ++it)
        text.push_back(*it);
    return text;
}

void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

namespace {

std::vector<std::uint8_t> AsBytes(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace

void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes) { WriteFileBytes(path, AsBytes(bytes)); }

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

std::string TempFolder::Put(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    const std::filesystem::path path = m_path / name;
    std::filesystem::create_directories(path.parent_path());
    WriteFileBytes(path, bytes);
    return path.string();
}

std::string TempFolder::Put(const std::string& name, std::string_view bytes) const { return Put(name, AsBytes(bytes)); }

std::size_t TempFolder::FileCount() const {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(m_path), std::filesystem::directory_iterator()));
}
