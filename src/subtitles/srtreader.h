#pragma once

#include "subtitletrack.h"

#include <cstdint>
#include <string>
#include <string_view>

// A subtitle file beside a movie is a few hundred kilobytes; past this it is not one.
constexpr std::uint64_t kMaxSrtBytes = 4ULL << 20;

// The cues of SubRip text, in the order the file gives them, as UTF-8 with their
// markup (CueMarkup::Srt). Lenient where real files are: cue numbers optional, CR LF or
// CR line ends, a byte order mark, UTF-16 with its mark, Latin-1 text, ',' or '.'
// before the milliseconds, a last cue without a blank line after it. Cues that end
// before they start are left out and counted in `skipped`; past kMaxCuesPerTrack
// the rest is left out too. Throws Failure with the reason for bytes that are no
// subtitle text (NUL bytes, no cue at all).
std::vector<SubtitleCue> ParseSrt(std::string_view bytes, std::size_t& skipped);

// ParseSrt of the file at `path`, refused by size first (kMaxSrtBytes). Throws Failure
// naming the file and the reason.
std::vector<SubtitleCue> ReadSrtFile(const std::string& path, std::size_t& skipped);
