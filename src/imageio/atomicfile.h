#pragma once

#include "failure.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

// A file that could not be written or read. what() is the fixed message followed by
// ": " and the reason where one is known ("Cannot create file /x/menu.tavrel: No space
// left on device"); reason() is that reason alone, possibly empty.
class FileError : public Failure {
public:
    FileError(const std::string& message, const std::string& reason, int systemError = 0);
    const std::string& reason() const { return detail(); }
};

// Writes `bytes` to a file that replaces `path` only when complete and flushed to disk:
// an unnamed temporary file (O_TMPFILE) linked in and renamed where the file system
// has them, else a named one that is removed also on SIGINT and SIGTERM. A symbolic link
// is written through to the file it points at, also when that does not exist yet; a
// target that exists and is no regular file is refused. A replaced file keeps its
// permissions (never set-user-ID or set-group-ID) and, where allowed, owner and group.
// On failure nothing at `path` has changed and FileError "Cannot create file ..." is
// thrown.
void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// For tests: false makes WriteFileAtomically use the named temporary file that file
// systems without O_TMPFILE get.
void UseUnnamedTemporaryFiles(bool use);

// Reads a whole regular file, opened without blocking (a FIFO or device is refused, not
// waited on); throws FileError "Cannot open file ..." when it cannot be opened or read
// or is larger than `maxBytes`.
std::string ReadWholeFile(const std::string& path, std::uint64_t maxBytes);

// Whether `path` names an existing regular file (symbolic links followed).
bool IsRegularFile(const std::string& path);

// Records the reason LastSaveError() gives (imageunit.h).
void SetLastSaveError(const std::string& reason);
