#pragma once

#include "render/fontfamilies.h"

#include <string>
#include <vector>

// Whether the command line asks for the headless command: any argument starting
// with "--". Anything else (no argument, or one project file) belongs to the editor.
bool IsHeadlessInvocation(int argc, char** argv);

// Runs `tavrel --export/--save/--check/--help ...` without a window; messages go to standard
// error. Exit status: 0 done, 1 a file could not be written, 2 a bad option or value,
// 3 the project could not be loaded (nothing is written then), 4 --check found warnings,
// 5 the --disc-menu subpicture step failed or spumux is missing (the other disc files
// are written).
int RunHeadless(int argc, char** argv);

// The usage text printed by --help.
std::string HeadlessUsage();
