#pragma once

#include <functional>
#include <string>
#include <vector>

// One run of xorriso with every message on standard output ("-pkt_output on"), so that
// its progress can be read while it writes.
struct XorrisoRun {
    bool started = false;
    int exitStatus = -1;
    bool cancelled = false;
    bool timedOut = false;
    std::vector<std::string> lines; // its messages, the channel prefix ("I:1: ") removed
};

// `watch` is called about ten times a second with the messages so far; returning true
// stops the run. Throws Failure when the run cannot be set up.
XorrisoRun RunXorriso(const std::string& tool, const std::vector<std::string>& args, int timeoutMs,
                      const std::function<bool(const std::vector<std::string>&)>& watch);

// The messages that say why a run failed: its FAILURE and SORRY lines, else its last lines.
std::string XorrisoComplaint(const XorrisoRun& run);
