#pragma once

#include "base/failure.h"
#include "disccheck.h"

#include <functional>
#include <optional>
#include <string>

class DiscCheckCancelled : public Failure {
public:
    DiscCheckCancelled() : Failure("The disc check was cancelled") {}
};

// The player stopped on the disc or ran out of time: the disc may be sound or not, its
// check could not finish.
class DiscCheckUnfinished : public Failure {
public:
    using Failure::Failure;
};

// VerifyDisc in a child process of its own: this program started again in its hidden
// check mode, through RunChild like every other tool. The check hands a disc the user
// names to libdvdnav and libdvdread, which trust what they read; a disc made to crash or
// hang them then fails its check instead of taking the program, or the editor with
// unsaved work, down with it. The child gets the check's whole time limit and one action
// more, then is killed. Throws Failure as VerifyDisc does, and DiscCheckUnfinished when
// the child dies or runs out of time ("Cannot check the disc x.iso: the player stopped
// on it (Segmentation fault)"). `cancelled`, when given, is asked about ten times a
// second; once it answers true the child is killed and DiscCheckCancelled thrown.
DiscCheckReport VerifyDiscApart(const std::string& folderOrIso,
                                const DiscCheckOptions& options = {},
                                const std::function<bool()>& cancelled = {});

// First thing in a program's main: when the arguments ask for the hidden check mode,
// plays the disc, writes the answer to standard output and returns the exit status;
// otherwise records this program as the one VerifyDiscApart starts and returns nothing.
std::optional<int> RunDiscCheckMode(int argc, char** argv);

// The program VerifyDiscApart starts in its check mode (tests name the built program).
void SetDiscCheckProgram(const std::string& path);
