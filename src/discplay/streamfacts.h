#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The bytes of one stream of a disc (a title set's titles or a menu), 2048-byte sector by
// sector, in order.
class SectorSource {
public:
    virtual ~SectorSource() = default;
    // Reads up to `count` sectors into `out`; returns how many, 0 at the end. Throws
    // Failure when the disc cannot be read.
    virtual std::size_t read(std::uint8_t* out, std::size_t count) = 0;
};

struct StreamScanRequest {
    std::uint64_t sectors = 0;             // the stream's length, to spread the samples
    std::vector<std::uint64_t> cellStarts; // sector of each cell's first pack, ascending
    int sampledGops = 48;                  // whole GOPs decoded, spread evenly over the stream
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

// What the MPEG video headers of a stream say, and what its decoded pictures show.
struct VideoFacts {
    bool found = false;
    int mpegVersion = 0; // 2 when the sequence header has its extension
    int width = 0;
    int height = 0;
    int frameRateCode = 0;      // 3: 25, 4: 30000/1001
    int aspectCode = 0;         // 2: 4:3, 3: 16:9
    bool headersChange = false; // a later sequence header gives another size, rate or shape
    long pictures = 0;
    long gops = 0;
    int longestGop = 0;         // in frames: a field picture counts half
    double longestGopAt = 0;    // seconds from the start
    double peakBitRate = 0;     // bits/s over the worst second of pictures
    double peakBitRateAt = 0;   // seconds from the start
    std::vector<int> openCells; // 1-based cells whose first GOP needs the one before
    bool progressiveSequence = false;
    long interlacedPictures = 0; // progressive_frame clear
    // Measured on the sampled pictures.
    int sampledPictures = 0;
    int sampledProgressive = 0; // of those, flagged progressive
    int combedProgressive = 0;  // flagged progressive, yet the lines comb
    int fieldOrderPairs = 0;    // neighbouring interlaced pictures with motion between them
    int fieldOrderWrong = 0;    // of those, whose fields move in the order opposite the flag
    int activeLeft = 0;         // the union of the non-black areas; empty when
    int activeTop = 0;          // every sampled picture was black
    int activeRight = 0;
    int activeBottom = 0;
};

struct AudioFacts {
    std::string codec; // "AC-3", "MPEG audio", "LPCM", "DTS" or FFmpeg's name for it
    bool dvdCodec = false;
    bool ac3OrLpcm = false;
    int sampleRate = 0; // 0: no packet of it could be decoded
};

struct StreamFacts {
    VideoFacts video;
    std::vector<AudioFacts> audio;
    int subpictures = 0;
    double muxRateField = 0; // the largest program_mux_rate of the pack headers (bits/s)
    double peakMuxRate = 0;  // packs counted over the worst second of their clock (bits/s)
    double seconds = 0;      // of pictures read
    bool timedOut = false;   // stopped at the deadline; the facts cover what was read
    std::string error;       // the stream could not be read as MPEG at all
};
