// A fresh folder for the files one test writes, removed with everything in it when
// the object goes, and whole files read and written as bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The whole file; empty when it cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);
// The first `most` bytes of the file (all of it by default) as a string; empty when
// it cannot be read.
std::string ReadFileText(const std::filesystem::path& path, std::size_t most = std::string::npos);
// Writes `bytes` as the whole file, replacing what was there.
void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // The path of `name` inside the folder, as a string.
    std::string File(const std::string& name) const { return (m_path / name).string(); }
    // Writes `bytes` to `name` inside the folder, making the folders the name passes
    // through, and returns its path.
    std::string Put(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
    std::string Put(const std::string& name, std::string_view bytes) const;
    // Entries directly in the folder (files, folders and links alike).
    std::size_t FileCount() const;

private:
    std::filesystem::path m_path;
};
