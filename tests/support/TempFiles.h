// A fresh folder for the files one test writes, removed with everything in it when
// the object goes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // The path of `name` inside the folder, as a string.
    std::string File(const std::string& name) const { return (m_path / name).string(); }
    // Entries directly in the folder (files, folders and links alike).
    std::size_t FileCount() const;

private:
    std::filesystem::path m_path;
};
