#pragma once

#include <string>
#include <vector>

// What became of a child program.
struct ChildResult {
    bool started = false; // false: the program was not found or could not be run
    int exitStatus = -1;  // the exit status; -1 when killed by a signal or the time limit
    bool timedOut = false;
    std::string errorOutput; // its standard error (at most the last 64 KiB)
};

// Runs `program` (searched on PATH unless it holds a '/') with `args`, standard input
// read from `inputFile`, standard output written to `outputFile` (created or truncated),
// `extraEnv` ("NAME=value") added to the environment and `directory` as its working
// folder. Kills it after `timeoutMs`. Throws std::runtime_error when a file cannot be opened.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     const std::string& inputFile, const std::string& outputFile,
                     const std::vector<std::string>& extraEnv, const std::string& directory,
                     int timeoutMs);
