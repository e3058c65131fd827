#pragma once

#include "disccheck.h"

#include <functional>
#include <string>

using DiscCheckFunction =
    std::function<DiscCheckReport(const std::string& disc, const DiscCheckOptions& options)>;

// VerifyDisc in a child process of its own. The check hands a disc the user names to
// libdvdnav and libdvdread, which trust what they read; a disc made to crash or hang them
// then fails its check instead of taking the program, or the editor with unsaved work,
// down with it. The child gets the check's whole time limit and one action more, then
// is killed. Throws Failure as VerifyDisc does, and also when the child dies or runs out of
// time ("Cannot check the disc x.iso: the player stopped on it (Segmentation fault)").
// `check` stands in for VerifyDisc in tests.
DiscCheckReport VerifyDiscApart(const std::string& folderOrIso,
                                const DiscCheckOptions& options = {},
                                const DiscCheckFunction& check = VerifyDisc);
