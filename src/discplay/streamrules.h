#pragma once

#include "streamfacts.h"

#include <string>
#include <vector>

// What a stream should be, from the disc's own tables and, where known, its movie.
struct StreamExpectation {
    bool pal = true;        // the tables' video standard
    bool wide = false;      // the tables' display shape: 16:9 rather than 4:3
    double sourceShape = 0; // the movie's display width over height, upright; 0: unknown
};

struct StreamVerdict {
    std::vector<std::string> faults; // "GOP length: 30 frames at 0:01 (PAL allows 15)"
    std::string summary;             // what the stream is, for a passing row
};

// Judges a stream by the rules a DVD player relies on: MPEG video at a legal size, rate
// and GOP length, GOPs that stand alone where cells start, bit rates, sound formats, a
// shape flag that fits the picture and interlace flags that fit the lines.
StreamVerdict JudgeStream(const StreamFacts& facts, const StreamExpectation& expected);
