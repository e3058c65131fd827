#pragma once

#include <string>
#include <sys/types.h>

// What SIGINT or SIGTERM must not leave behind: named temporary files and the process
// groups of running children. The handler removes and ends them, then the signal does
// what it did before (a signal that was ignored stays ignored). Work that must clean up
// more than single files asks for the signal to be held instead (SignalCancelScope).

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

// While one lives, the first SIGINT or SIGTERM does not end the program: it is only
// marked as caught, so that the work sees caught() at its next check (RunChild then
// stops its child), stops and cleans up after itself; endAsCaught() then ends the
// program as the signal would have. A second signal ends it at once, as without the
// scope. One scope at a time; the handler only touches lock-free atomics.
class SignalCancelScope {
public:
    SignalCancelScope();
    ~SignalCancelScope();
    SignalCancelScope(const SignalCancelScope&) = delete;
    SignalCancelScope& operator=(const SignalCancelScope&) = delete;

    // The signal caught while this scope lives; 0 when none was.
    static int caught();
    // When a signal was caught: gives it its earlier meaning and raises it again, which
    // normally ends the program; returns when none was (or when it was ignored before).
    static void endAsCaught();
};
