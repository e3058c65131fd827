#pragma once

#include "thumbs/movieinput.h"

#include <string>
#include <vector>

// The streams of a movie that make its title.
struct TitleStreams {
    int video = -1;
    std::vector<int> audio; // the default sound first, then the others in the file's order
};

// Picks the movie's main video and its sound tracks; a movie whose only picture is a
// cover has no video. Throws MediaError.
TitleStreams FindTitleStreams(AVFormatContext* fmt);

// Opens a title's movie within the usual time budget; the budget must outlive the result.
FormatPtr OpenTitleMovie(const std::string& movie, WorkBudget& budget);

// "Cannot make a title of clip.mp4" with the plain reason; for any failure before or
// while reading the movie.
[[noreturn]] void ThrowTitleFailure(const std::string& movie, const std::exception& error);
