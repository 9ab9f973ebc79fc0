// Opening a file for reading only when it is an ordinary file. A named pipe makes
// open(2) wait for a writer for ever, a device can be endless or act on being
// opened, and a socket cannot be read as a file at all: all of them are refused
// from what stat(2) says, before anything opens them.
#pragma once

#include <string>

#include "io/FileBuffer.h"
#include "io/Reason.h"

// What a path names, for the words of a refusal.
enum class FileKind { Regular, Folder, Pipe, CharacterDevice, BlockDevice, Socket, Other };

// The kind of file `mode` (a stat(2) st_mode) describes.
FileKind KindOfMode(unsigned mode);

// Opens `path` read-only (close-on-exec) when it names an ordinary file, following
// symbolic links. Returns the descriptor, or -1 with `why` set: a FileReadFailure,
// CannotOpen with the system's error number (EISDIR for a folder) or NotRegularFile
// with the FileKind as its first number. Should the path be replaced by a pipe
// between the look and the open, the open does not wait and the file is refused all
// the same.
int OpenRegularFile(const std::string& path, Reason* why);

// Why `path` cannot be opened for reading, found as OpenRegularFile finds it (the
// file is opened and closed again); empty when it can be.
Reason RegularFileProblem(const std::string& path);
