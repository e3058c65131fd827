#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

// What to run and where its standard streams go.
struct ChildRequest {
    std::string program; // searched on PATH unless it holds a '/'
    std::vector<std::string> args;
    int inputFd = -1;  // its standard input (read from the current offset); -1: /dev/null
    int outputFd = -1; // receives its standard output; -1: discarded
    // Past this much standard output the child is stopped (outputTooLarge).
    std::uint64_t maxOutputBytes = std::numeric_limits<std::uint64_t>::max();
    std::vector<std::string> extraEnv; // "NAME=value", replacing what we have
    std::string directory;             // its working folder; empty: ours
    int timeoutMs = 60'000;
    // Asked about ten times a second while the child runs; once true the child's group is
    // killed and the result says cancelled. Called on the thread that runs RunChild.
    std::function<bool()> cancelled;
};

// What became of a child program.
struct ChildResult {
    bool started = false; // false: see startError
    int startError = 0;   // errno of a failed start: ENOENT when the program was not found
    int exitStatus = -1;  // the exit status; -1 when killed by a signal or by us
    int signal = 0;       // the signal that ended it, when one did
    bool timedOut = false;
    bool cancelled = false; // stopped because the request was cancelled
    bool outputTooLarge = false;
    int outputError = 0;     // errno of a failed write of its output (it was stopped)
    std::string errorOutput; // its standard error (at most the last 64 KiB)
    std::uint64_t outputBytes = 0;
};

// Runs the child in a process group of its own and waits for it. The whole group is
// killed when the time is up, when the output passes its bound, when the child has
// ended (nothing it left behind keeps running), when the run is cancelled, and when
// SIGINT or SIGTERM ends us; the child itself also dies when we are killed outright.
// Throws Failure only when we cannot set up the run (no pipe).
ChildResult RunChild(const ChildRequest& request);

// A tool's messages on one line, the end of them when they are long: what to show
// after "failed: ".
std::string ToolComplaint(const std::string& messages);
