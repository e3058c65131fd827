#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// A subpicture already drawn to a PNG file, with when and where it shows.
struct SpumuxCue {
    double start = 0; // seconds from the title's first picture
    double end = 0;
    std::string image; // the PNG file
    int x = 0;
    int y = 0;
};

// spumux's control file for one stream of subtitles: not forced, so a player shows them
// only when the viewer asks.
std::string SubtitleSpumuxXml(bool pal, const std::vector<SpumuxCue>& cues);

// What became of muxing one stream.
struct SpumuxOutcome {
    bool added = false;      // the title now holds the stream
    std::size_t skipped = 0; // cues spumux left out of it
    std::string problem;     // why the stream is missing, or how many cues were skipped
    bool cancelled = false;
};

// Adds the cues as subpicture stream `stream` of the program stream `title`, which is
// replaced only when spumux added every cue or all but a few it skipped (named in
// `problem`); on any other outcome `title` stays as it was. `xmlFile` is written.
SpumuxOutcome MuxSubtitleStream(const std::string& title, int stream, bool pal,
                                const std::vector<SpumuxCue>& cues, const std::string& xmlFile,
                                const std::function<bool()>& cancelled);
