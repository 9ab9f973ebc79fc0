#include "image/FileBytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string Failure(const char* verb, const std::string& path, int error) {
    return std::string("cannot ") + verb + " " + path + ": " + std::strerror(error);
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string* why) {
    bytes.clear();
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        SetReason(why, Failure("open", path, errno));
        return false;
    }
    // Read in chunks rather than trusting the size alone: the file may be a pipe, or
    // change while it is read. The size only saves reallocations.
    try {
        std::error_code ignored;
        const std::uintmax_t expected = std::filesystem::file_size(path, ignored);
        if (!ignored) {
            bytes.reserve(static_cast<std::size_t>(expected));
        }
        std::uint8_t chunk[65536];
        for (;;) {
            const std::size_t n = std::fread(chunk, 1, sizeof chunk, file.get());
            bytes.insert(bytes.end(), chunk, chunk + n);
            if (n < sizeof chunk) {
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        SetReason(why, "there is not enough memory to read " + path);
        bytes.clear();
        return false;
    } catch (const std::length_error&) {
        SetReason(why, "there is not enough memory to read " + path);
        bytes.clear();
        return false;
    }
    if (std::ferror(file.get())) {
        SetReason(why, Failure("read", path, errno != 0 ? errno : EIO));
        bytes.clear();
        return false;
    }
    return true;
}
