#pragma once

#include "subtitlepainter.h"

#include <functional>
#include <string>
#include <vector>

// One encoded title and the movie it came from.
struct TitleSubtitleJob {
    std::string movie;
    std::string title;  // the title's program stream; replaced once per stream added
    int number = 1;     // the title's number on the disc, for messages
    double seconds = 0; // the title's length: later cues are cut off there
    SubpictureFrame frame;
    std::string workDir; // where the pictures and control files go
};

struct TitleSubtitles {
    std::vector<std::string> languages; // one per stream added, in stream order; "" unknown
    std::vector<std::string> warnings;  // each starting "title N: "
    bool cancelled = false;
};

// Gives the title a subpicture stream for each subtitle track of its movie, its own
// (read through the media module) first and then the SubRip files beside it: text
// drawn by SubtitlePainter, DVD subpictures copied. What cannot be carried over is named
// in a warning and the title goes on without it; only a failure to write our own files
// throws. Text drawing needs a QGuiApplication.
TitleSubtitles AddTitleSubtitles(const TitleSubtitleJob& job,
                                 const std::function<bool()>& cancelled);
