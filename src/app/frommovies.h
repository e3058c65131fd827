#pragma once

#include <string>
#include <vector>

// `tavrel --from-movies FILE... [--save PROJECT] [--export FILE] [--disc-menu DIR]
// [--set KEY=VALUE]...`: a menu with one item per movie, each with an automatically
// chosen frame. Exit status as for --export, and 3 when a movie cannot be read
// (nothing is written then).
int RunFromMoviesCommand(int argc, char** argv);

// A caption from a movie's file name: folder and extension dropped, underscores and
// dots as blanks, runs of blanks as one.
std::string CaptionFromFileName(const std::string& path);
