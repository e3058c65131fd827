#pragma once

#include <cstdint>
#include <span>
#include <string>

// Writes `bytes` to a temporary file in the target's folder, flushes it to disk and
// renames it over `path`. On failure the temporary file is removed, an existing file
// at `path` is left as it was, and std::runtime_error is thrown.
void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// Reads a whole file; throws std::runtime_error when it cannot be opened or read, or
// when it is larger than `maxBytes`.
std::string ReadWholeFile(const std::string& path, std::uint64_t maxBytes);

// Whether `path` names an existing regular file (symbolic links followed).
bool IsRegularFile(const std::string& path);
