// The block that holds a whole file in memory (a bitmap, a PCX picture, DICOM
// bytes handed over in memory). Its bytes are not zeroed first (the file's bytes
// overwrite them at once), and large blocks are aligned
// and offered to the kernel for huge pages: for files of hundreds of megabytes the
// first touch of fresh 4 KiB pages otherwise costs more than reading the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "io/Reason.h"

class FileBuffer {
public:
    FileBuffer() = default;
    // A block of `size` uninitialised bytes (at least one, so that even an empty
    // file has an address); empty when the memory cannot be had.
    static FileBuffer Allocate(std::size_t size);

    std::uint8_t* Data() const { return m_bytes.get(); }
    std::size_t Size() const { return m_size; }
    explicit operator bool() const { return m_bytes != nullptr; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t[], Free> m_bytes;
    std::size_t m_size = 0;
};

// Largest file the readers take: sizes and offsets are 32-bit.
inline constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFFu;

enum class FileReadFailure {
    CannotOpen,      // open(2) failed (ErrorNumber says why)
    NotRegularFile,  // a pipe, a device or a socket, never opened (First: its FileKind)
    CannotRead,      // reading failed or ended early (ErrorNumber says why)
    TooLarge,        // larger than kMaxFileSize
    OutOfMemory,     // no block for the whole file
    ChangedOnDisk,   // an open file was truncated or written since it was opened
};
std::string ReasonText(FileReadFailure code, const Reason& reason);
const char* ReasonSummary(FileReadFailure code);
const char* ReasonName(FileReadFailure code);

// Reads the whole regular file at `path` into `out` (anything else is refused
// unopened, see RegularFile.h). Empty on success; otherwise `out` is untouched and
// the reason, about `path`, says why.
Reason ReadWholeFile(const std::string& path, FileBuffer& out);
