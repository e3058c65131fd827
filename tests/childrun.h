#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

// For the tests that work on files: a folder of their own, whole files read back, and
// the tavrel binary or other programs run as children, as a script would.

// `text` as one single-quoted shell word.
std::string ShellQuoted(const std::string& text);

// The whole file, or nothing when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

// Runs `command` through the shell; its exit status, -1 when it did not exit normally.
int RunShell(const std::string& command);

// An empty folder of its own for the running test (or suite, in its set-up):
// <temp>/<prefix>_<pid>_<test name>.
std::filesystem::path FreshTestDir(const std::string& prefix);

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs tavrel with `args` in `dir` on the offscreen platform; standard output and error
// pass through stdout.txt and stderr.txt there. `environment`: assignments put before
// the command ("PATH=/nowhere").
Outcome RunTavrel(const std::filesystem::path& dir, const std::vector<std::string>& args,
                  const std::string& environment = "");

// Starts tavrel with `args` in `dir` as a foreground program would run (a shell's
// background job would ignore Ctrl+C); its standard error goes to stderr.txt there.
pid_t StartTavrel(const std::filesystem::path& dir, const std::vector<std::string>& args);
