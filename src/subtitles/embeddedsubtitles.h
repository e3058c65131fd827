#pragma once

#include "subtitletrack.h"

#include <string>

// The subtitle streams inside `movie`, read through FFmpeg (the media module's side):
// text streams (SubRip, ASS/SSA, mov_text, WebVTT) as cues with ASS markup, DVD
// subpicture streams as pictures, each with its language; other picture formats (PGS,
// DVB) named in a warning. Cue times count from the title's first picture. The whole
// file is read within a time budget. Throws Failure when the movie cannot be read.
MovieSubtitles ReadMovieSubtitles(const std::string& movie);
