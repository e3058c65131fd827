#pragma once

// Records the calls that make a replaced file durable: fsync and fdatasync (with the path
// the descriptor stands for), linkat (naming an unnamed temporary file) and rename. Linking
// filecallrecorder.cpp into a test binary puts its own fsync, fdatasync and rename in front of the
// C library's, which they call.

#include <string>
#include <vector>

struct FileCall {
    std::string name; // "fsync" (fdatasync counts as one), "link" or "rename"
    std::string path; // the file flushed, linked or renamed
    std::string to;   // link and rename: the new name
};

void StartRecordingFileCalls();
std::vector<FileCall> StopRecordingFileCalls();

// Empty when every rename in `calls` comes after an fsync of the renamed file and is
// followed by an fsync of the target's folder; else what is missing. `renames` is set to
// the number of renames seen.
std::string CheckFlushedBeforeRename(const std::vector<FileCall>& calls, int& renames);
