#pragma once

// Records the calls that make a replaced file durable: fsync and fdatasync (with the path
// the descriptor stands for) and rename. Linking filecallrecorder.cpp into a test binary
// puts its own fsync, fdatasync and rename in front of the C library's, which they call.

#include <cstdint>
#include <string>
#include <vector>

struct FileCall {
    std::string name; // "fsync" (fdatasync counts as one) or "rename"
    std::string path; // the file flushed, or the one renamed
    std::string to;   // rename: the new name
    // The file itself: a file written unnamed (O_TMPFILE) is flushed before it has the
    // name it is renamed from.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

void StartRecordingFileCalls();
std::vector<FileCall> StopRecordingFileCalls();

// Empty when every rename in `calls` comes after an fsync of the renamed file and is
// followed by an fsync of the target's folder; else what is missing. `renames` is set to
// the number of renames seen.
std::string CheckFlushedBeforeRename(const std::vector<FileCall>& calls, int& renames);
