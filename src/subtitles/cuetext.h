#pragma once

#include "subtitletrack.h"

#include <string>
#include <vector>

// The lines a cue shows, as plain UTF-8: markup, styling and control characters gone,
// lines trimmed, empty lines dropped. Empty when the cue shows no text.
std::vector<std::string> CueLines(const std::string& text, CueMarkup markup);
