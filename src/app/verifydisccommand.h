#pragma once

#include <string>

// tavrel --verify-disc DIR|ISO: plays an authored disc as a player would and prints the
// check's table. Exit status 0 when it plays as it should, 8 when a row failed, 3 when
// the disc cannot be opened, 2 for bad arguments.
int RunVerifyDiscCommand(int argc, char** argv);
