#pragma once

#include "subtitletrack.h"

#include <string>

// The SubRip files beside `movie` that belong to it: for clip.mp4, clip.srt and
// clip.LANG.srt (clip.de.srt, clip.eng.srt; the part between names the language), in
// name order, at most kMaxSubtitleTracks. A file that cannot be used is left out with a
// warning naming it and the reason; nothing here throws for a file's content.
MovieSubtitles ReadSidecarSubtitles(const std::string& movie);
