#pragma once

#include "fileio.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <sys/stat.h>

class TemporaryFileGuard;

// A file that replaces `path` only when complete and flushed to disk: written to an
// unnamed temporary file (O_TMPFILE) beside the target, linked in and renamed by
// commit(), so a kill at any point leaves no trace; where the file system has no
// O_TMPFILE, a named one that is removed also on SIGINT and SIGTERM. A symbolic link is
// written through to the file it points at, also when that does not exist yet; a target
// that exists and is no regular file is refused. A replaced file keeps its permissions
// (never set-user-ID or set-group-ID) and, where allowed, owner and group. Until
// commit() succeeds nothing at `path` has changed; destroying an uncommitted file
// discards it. Every failure is FileError "Cannot create file PATH" with the reason.
class AtomicFile {
public:
    // `flushToDisk` false leaves the flush to the system: for a file as large as a disc
    // image, which a crash at worst loses whole.
    explicit AtomicFile(const std::string& path, bool flushToDisk = true);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Open for reading and writing, e.g. as a child's output; its offset is shared.
    int fd() const { return m_fd.get(); }
    void write(std::span<const std::uint8_t> bytes);
    void commit();

private:
    [[noreturn]] void fail(int error) const;
    template <typename Make> void claimName(Make make);
    void openNamed();
    void linkUnnamed();

    std::string m_path;   // as the caller named it, for messages
    std::string m_target; // the file it finally names
    std::string m_folder;
    struct stat m_old {};
    bool m_exists = false;
    bool m_unnamed = false;
    bool m_flush = true;
    UniqueFd m_fd;
    std::string m_name; // the named temporary file, while there is one
    std::unique_ptr<TemporaryFileGuard> m_guard;
};

// Writes `bytes` through an AtomicFile in one step.
void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// For tests: false makes AtomicFile use the named temporary file that file systems
// without O_TMPFILE get.
void UseUnnamedTemporaryFiles(bool use);
