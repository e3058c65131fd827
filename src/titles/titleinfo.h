#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The television system a disc is made for: its frame size and rate.
enum class DiscSystem {
    Pal,  // 720 x 576 at 25 frames per second
    Ntsc, // 720 x 480 at 30000/1001
};

// How a movie's pictures were taken: whole, or as two fields of alternate rows, one after
// the other.
enum class FieldOrder {
    Progressive,
    TopFirst,
    BottomFirst,
};

// A disc holds at most eight sound tracks per title.
inline constexpr int kMaxSoundTracks = 8;

// One sound track of a title.
struct TitleAudio {
    int stream = -1;          // the movie's stream
    int channels = 2;         // as written to the disc
    bool copy = false;        // already AC-3 (or MPEG-1 Layer II) fit for the disc
    std::int64_t bitRate = 0; // as written to the disc (bits/s)
    std::string language;     // ISO 639-1, for the player's audio menu; empty: not known
};

// What a movie becomes as a disc title, learned from its headers before anything is
// encoded.
struct TitleInfo {
    std::string movie;                 // the file, as given
    double seconds = 0;                // its length
    bool widescreen = false;           // shown 16:9 (anamorphic) rather than 4:3
    double shape = 0;                  // its picture's width over height, shown upright
    std::vector<TitleAudio> audio;     // the default track first; none: a silent track
    bool copyVideo = false;            // already MPEG-2 at the system's size and rate
    bool copyAudio = false;            // every sound track of the movie copied, in its order
    std::int64_t videoBitRate = 0;     // of a copied video stream (bits/s), else 0
    std::int64_t audioBitRate = 0;     // of all sound tracks together, as on the disc (bits/s)
    std::vector<double> chapterStarts; // seconds from the start; the first is 0
    FieldOrder fields = FieldOrder::Progressive;
};

// Reads the movie's headers and decides how it goes onto a disc of `system`.
// Chapters are the movie's own, else one every `chapterMinutes` (0: only the start).
// Throws Failure naming the movie and the cause ("has no video track", "cannot be read:
// ...") without encoding anything.
TitleInfo ProbeTitle(const std::string& movie, DiscSystem system, int chapterMinutes);
