#pragma once

#include "titleoutput.h"

#include <string>

struct TitleControl;

// Copies `movie` byte for byte into `out` when it is already a DVD program stream: 2048-byte
// MPEG-2 packs of one video and one sound stream, starting on a navigation pack, at no more
// than a DVD's multiplex rate. Returns false at the first pack that is not (what was
// written then does not count: the caller discards `out`). Throws Failure when the movie
// cannot be read, TitleStopped when asked to stop; write errors surface at out.commit().
bool CopyDiscPacks(const std::string& movie, TitleOutput& out, TitleControl& control);
