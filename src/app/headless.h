#pragma once

#include <string>
#include <vector>

// Whether the command line asks for the headless command: any argument starting
// with "--". Anything else (no argument, or one project file) belongs to the editor.
bool IsHeadlessInvocation(int argc, char** argv);

// Runs `tavrel --export/--save/--check/--help ...` (and hands --batch and --from-movies
// to their commands) without a window; messages go to standard error. The exit status
// is an ExitStatus (exitstatus.h): 3 when the project or a source of the menu could not
// be loaded (nothing is written then).
int RunHeadless(int argc, char** argv);
