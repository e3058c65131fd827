#pragma once

#include "discplayer.h"

// Reads every title's and menu's stream of the disc through libdvdread and judges it
// (streamrules.h): one row per title set's titles, one for the menus, each naming the
// rule a stream breaks. Needs the media functions (FFmpeg); a disc whose tables cannot be
// read gets a failed row that says so.
void CheckDiscStreams(DiscCheckReport& report, const std::string& folderOrIso,
                      const CheckLimits& limits);
