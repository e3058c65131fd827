#pragma once

#include <sys/types.h>

// Children run in process groups of their own, so a terminal's Ctrl+C does not reach
// them; while a group is registered, SIGINT or SIGTERM to us ends it too before the
// signal does what it did before. At most 64 groups are registered at a time; a further
// one is simply not ended by a signal.
class ChildGroupGuard {
public:
    explicit ChildGroupGuard(pid_t group);
    ~ChildGroupGuard();
    ChildGroupGuard(const ChildGroupGuard&) = delete;
    ChildGroupGuard& operator=(const ChildGroupGuard&) = delete;

private:
    int m_slot = -1;
};
