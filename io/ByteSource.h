// Bytes read by position, from a file that stays open or from a block in memory.
// The DICOM reader walks element headers and reads one frame at a time through
// this, so that opening a study never costs the whole file. Every read is
// positioned (no shared file offset), so several threads may read at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "io/FileBuffer.h"

// How a positioned read ended.
enum class SourceRead {
    Done,     // every byte asked for was read
    Changed,  // the file is no longer what was opened: shorter, or written since
    Failed,   // the system reported an error
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Bytes there were when the source was opened.
    virtual std::uint64_t Size() const = 0;
    // Reads `size` bytes at `offset` into `out`. Asking past Size() gives Changed
    // for a file (it shrank, or the caller trusted a stale size) and Failed in memory.
    virtual SourceRead ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const = 0;
    // The bytes themselves when they are in memory; null for a file.
    virtual const std::uint8_t* Memory() const { return nullptr; }
    // Whether the bytes are still those that were opened; bytes in memory always are.
    virtual bool Unchanged() const { return true; }
};

// The reason a read of `path` ended as `read` (not Done): the file changed on disk,
// or the system failed to read it (errno as the read left it).
Reason SourceReadFailure(SourceRead read, const std::string& path);

// Bytes that the caller keeps alive for as long as the source is read, read in place.
class BorrowedBytes final : public ByteSource {
public:
    BorrowedBytes(const std::uint8_t* bytes, std::size_t size) : m_bytes(bytes), m_size(bytes != nullptr ? size : 0) {}
    std::uint64_t Size() const override { return m_size; }
    SourceRead ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const override;
    const std::uint8_t* Memory() const override { return m_bytes; }

private:
    const std::uint8_t* m_bytes;
    std::size_t m_size;
};

// A copy of bytes held in memory (tests, fuzzing, files read whole).
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(FileBuffer bytes) : m_bytes(std::move(bytes)) {}
    std::uint64_t Size() const override { return m_bytes.Size(); }
    SourceRead ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const override;
    const std::uint8_t* Memory() const override { return m_bytes.Data(); }

private:
    FileBuffer m_bytes;
};
