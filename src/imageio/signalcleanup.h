#pragma once

#include <string>
#include <sys/types.h>

// What SIGINT or SIGTERM must not leave behind: named temporary files and the process
// groups of running children. The handler removes and ends them, then the signal does
// what it did before (a signal that was ignored stays ignored).

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

// Children run in process groups of their own, so a terminal's Ctrl+C does not reach
// them; while a group is registered, SIGINT or SIGTERM to us kills it too. At most 64
// groups are registered at a time; a further one is simply not ended by a signal.
class ChildGroupGuard {
public:
    explicit ChildGroupGuard(pid_t group);
    ~ChildGroupGuard();
    ChildGroupGuard(const ChildGroupGuard&) = delete;
    ChildGroupGuard& operator=(const ChildGroupGuard&) = delete;

private:
    int m_slot = -1;
};
