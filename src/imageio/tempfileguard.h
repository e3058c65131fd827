#pragma once

#include <string>

// Removes a named temporary file when SIGINT or SIGTERM ends the program while the guard
// lives; the signal then does what it did before. Safe to use from several threads at
// once (rows of a batch write in parallel); at most 64 guards are armed at a time, a
// further one simply does not arm.
class TemporaryFileGuard {
public:
    explicit TemporaryFileGuard(const std::string& path);
    ~TemporaryFileGuard();
    TemporaryFileGuard(const TemporaryFileGuard&) = delete;
    TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

    // Whether a signal would remove the file (false for an over-long path or no free slot).
    bool armed() const { return m_slot >= 0; }

private:
    int m_slot = -1;
};
