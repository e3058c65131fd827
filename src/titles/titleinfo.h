#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The television system a disc is made for: its frame size and rate.
enum class DiscSystem {
    Pal,  // 720 x 576 at 25 frames per second
    Ntsc, // 720 x 480 at 30000/1001
};

// What a movie becomes as a disc title, learned from its headers before anything is
// encoded.
struct TitleInfo {
    std::string movie;                 // the file, as given
    double seconds = 0;                // its length
    bool widescreen = false;           // shown 16:9 (anamorphic) rather than 4:3
    double shape = 0;                  // its picture's width over height, shown upright
    int audioChannels = 0;             // of the title's sound; 0: the movie has none (silence)
    bool copyVideo = false;            // already MPEG-2 at the system's size and rate
    bool copyAudio = false;            // already AC-3 or MPEG-1 Layer II at 48 kHz
    std::int64_t videoBitRate = 0;     // of a copied video stream (bits/s), else 0
    std::int64_t audioBitRate = 0;     // of the sound as written to the disc (bits/s)
    std::vector<double> chapterStarts; // seconds from the start; the first is 0
};

// Reads the movie's headers and decides how it goes onto a disc of `system`.
// Chapters are the movie's own, else one every `chapterMinutes` (0: only the start).
// Throws Failure naming the movie and the cause ("has no video track", "cannot be read:
// ...") without encoding anything.
TitleInfo ProbeTitle(const std::string& movie, DiscSystem system, int chapterMinutes);
