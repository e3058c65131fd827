#pragma once

#include "document/menudocument.h"

#include <string>

// Exit status of a --disc-menu run whose subpicture step failed or could not run.
constexpr int kExitSubpictureFailed = 5;

// The headless --disc-menu DIR step: exports the disc menu, prints what was written (and
// any spumux trouble) on standard error, and returns the exit status: 0 done, 1 a file
// could not be written, kExitSubpictureFailed when menu.mpg could not be made.
int RunDiscMenuCommand(const MenuDocument& doc, const std::string& dir);
