#pragma once

#include <string>

// `tavrel --dvd DIR [--iso FILE] [--capacity C] [--chapters MIN] [--jobs N] [--size 2|3]
// [--set KEY=VALUE]... [PROJECT]` and `tavrel --from-movies FILE... --dvd DIR ...`: the
// finished disc in DIR (and its image), played through once to check it. Exit status
// 0 done, 2 a bad option, 3 the project or a movie could not be loaded, 7 the disc could
// not be made, 8 the finished disc did not play as it should.
int RunDvdCommand(int argc, char** argv);
