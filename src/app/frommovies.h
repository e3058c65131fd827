#pragma once

#include "batch/menusettings.h"

#include <span>
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

// The settings of a menu page of `movies` (at most ten), before the command's own --set
// values: titled after the folder of `titleFrom`, one item per movie with its caption
// and an automatically chosen frame, paths made absolute so that a saved project opens
// from anywhere.
std::vector<Setting> MovieMenuSettings(const std::string& titleFrom,
                                       std::span<const std::string> movies);

// Whether every movie can be opened as a file; else prints "Cannot open file NAME: why",
// as the system says it, for the first that cannot.
bool MoviesCanBeOpened(const std::vector<std::string>& movies);
