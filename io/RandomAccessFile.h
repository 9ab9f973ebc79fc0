// A file kept open for positioned reads (pread with 64-bit offsets), never mapped:
// a mapped file that another program truncates kills the reader with SIGBUS.
//
// The descriptor stays open for the source's life, so a file replaced by a rename
// keeps reading as the file that was opened. A file changed in place (truncated or
// written) is noticed: a read that ends early, or a size or modification time that
// differs from the one seen at opening, gives SourceRead::Changed, never bytes that
// belong to another version of the file.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "io/ByteSource.h"

class RandomAccessFile final : public ByteSource {
public:
    // Opens `path` for reading. Null when it cannot be opened or is not an ordinary
    // file; `why`, when given, then says so as OpenRegularFile does.
    static std::shared_ptr<RandomAccessFile> Open(const std::string& path, Reason* why = nullptr);
    ~RandomAccessFile() override;
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;

    std::uint64_t Size() const override { return m_size; }
    SourceRead ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const override;
    // Whether the file still has the size and modification time it had when opened.
    bool Unchanged() const override;

private:
    RandomAccessFile(int fd, std::uint64_t size, timespec modified);

    int m_fd;
    std::uint64_t m_size;
    timespec m_modified;
};
