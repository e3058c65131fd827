#pragma once

#include "base/failure.h"
#include "disccheck.h"

#include <functional>
#include <string>

class DiscCheckCancelled : public Failure {
public:
    DiscCheckCancelled() : Failure("The disc check was cancelled") {}
};

using DiscCheckFunction =
    std::function<DiscCheckReport(const std::string& disc, const DiscCheckOptions& options)>;

// VerifyDisc in a child process of its own. The check hands a disc the user names to
// libdvdnav and libdvdread, which trust what they read; a disc made to crash or hang them
// then fails its check instead of taking the program, or the editor with unsaved work,
// down with it. The child gets the check's whole time limit and one action more, then
// is killed. Throws Failure as VerifyDisc does, and also when the child dies or runs out of
// time ("Cannot check the disc x.iso: the player stopped on it (Segmentation fault)").
// `cancelled`, when given, is asked about ten times a second; once it answers true the
// child is killed and DiscCheckCancelled thrown. `check` stands in for VerifyDisc in tests.
DiscCheckReport VerifyDiscApart(const std::string& folderOrIso,
                                const DiscCheckOptions& options = {},
                                const std::function<bool()>& cancelled = {},
                                const DiscCheckFunction& check = VerifyDisc);
