#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// A picture cue as a DVD subpicture already holds it: at most four colours, placed on a
// frame of the source's size.
struct SubtitleBitmap {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> index;        // one palette index per pixel, rows packed
    std::array<std::uint32_t, 4> palette{}; // 0xAARRGGBB
};

// One cue on the movie's clock, in seconds from the first picture of its title.
struct SubtitleCue {
    double start = 0;
    double end = 0;
    std::string text; // UTF-8 with the track's markup; empty for a picture cue
    SubtitleBitmap bitmap;
};

// How a track's cue text is marked up.
enum class CueMarkup {
    Srt, // <i>, <b>, <font ...> tags
    Ass, // FFmpeg's dialogue lines: fields, then {\override} blocks, \N breaks
};

struct SubtitleTrack {
    std::string language; // ISO 639-1 ("en"); empty when unknown
    std::string source;   // for messages: "clip.de.srt" or "its subtitle stream 3"
    CueMarkup markup = CueMarkup::Srt;
    bool pictures = false; // cues are bitmaps (DVD subpictures)
    int frameWidth = 0;    // the frame a picture cue is placed on
    int frameHeight = 0;
    std::vector<SubtitleCue> cues;
};

// What a movie's own subtitle streams give, and what could not be used.
struct MovieSubtitles {
    std::vector<SubtitleTrack> tracks;
    std::vector<std::string> warnings; // "its PGS subtitles are not carried over"
    double titleStart = 0; // where the title begins on the movie's own clock, in seconds
    double pictureEnd = 0; // where the movie's pictures end, from the title's start; 0: unknown
};

// A DVD shows at most 32 subpicture streams, and a track of a feature film holds a
// couple of thousand cues; these bound what a hostile file can make us hold.
constexpr int kMaxSubtitleTracks = 32;
constexpr std::size_t kMaxCuesPerTrack = 20'000;
constexpr std::size_t kMaxCueTextBytes = 2'000;
