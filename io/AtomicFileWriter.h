// Writes a file so that a failure never destroys what was there: the bytes go to a
// temporary file beside the target, which is renamed over the target only when
// every byte was written and flushed. A symbolic link stays: the file it points to
// is the one replaced, in its own folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "io/TemporaryFile.h"
#include "io/WriteOutcome.h"

enum class WriteFailure {
    NoName,          // the path is empty
    NotRegularFile,  // the path names a folder, a device or a pipe
    BrokenLink,      // a symbolic link to a file that does not exist (ErrorNumber says why)
    CannotWrite,     // the system refused (ErrorNumber says why)
    AlreadyExists,   // Placement::KeepExisting, and something is at the path
};
std::string ReasonText(WriteFailure code, const Reason& reason);

// Writes the file piece by piece: a producer hands each piece in order to the writer
// it is given, which is false when the piece could not be written; the producer
// returns false to give up (nothing is replaced then). It may be called twice, when
// a first temporary file cannot be put in place.
using PieceWriter = std::function<bool(std::span<const std::uint8_t>)>;
using FileProducer = std::function<bool(const PieceWriter&)>;
// With Placement::KeepExisting nothing that is at the path, or comes there while the
// file is written, is replaced: the write fails with AlreadyExists instead.
WriteOutcome WriteFileAtomically(const std::string& path, const FileProducer& produce,
                                 Placement placement = Placement::ReplaceExisting,
                                 TemporaryFile::Kind kind = TemporaryFile::Kind::UnnamedWherePossible);

// Writes the pieces one after the other as the whole file at `path`.
// `kind` chooses the temporary file (tests ask for a named one).
WriteOutcome WriteFileAtomically(const std::string& path, std::span<const std::span<const std::uint8_t>> pieces,
                                 Placement placement = Placement::ReplaceExisting,
                                 TemporaryFile::Kind kind = TemporaryFile::Kind::UnnamedWherePossible);
