#pragma once

#include "base/picture.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// Limits against hostile files: a video larger than this is refused before anything
// is allocated for its frames.
struct MediaLimits {
    int maxSide = 16384;
    std::uint64_t maxPixels = 64ULL * 1024 * 1024;
    // Counting the frames of a movie whose container does not state their number
    // (MPEG program and elementary streams, ASF, Matroska) reads the file; for bigger
    // files or when it takes longer, the count is duration x frame rate instead.
    std::int64_t countMaxBytes = 1024LL * 1024 * 1024;
    int countBudgetMs = 2000;
    // Opening, and every seek, fails with "took too long" after this.
    int timeBudgetMs = 10'000;
};

// Synchronous frame-exact access to the video of one movie file through FFmpeg.
// Not thread-safe: one thread at a time (MediaPlayer gives it a worker thread).
// Every failure is a MediaError.
class MediaDecoder {
public:
    MediaDecoder();
    ~MediaDecoder();
    MediaDecoder(const MediaDecoder&) = delete;
    MediaDecoder& operator=(const MediaDecoder&) = delete;

    // Opens the file and decodes its first frame. A file without a video stream or
    // without a decodable frame is refused, and so is anything but a regular file, a
    // playlist or a concatenation (formats that open other files or streams).
    // Replaces any movie open before.
    void open(const std::string& path, const MediaLimits& limits = {});
    void close();
    bool isOpen() const;

    // The size of the decoded frames as shown: the coded height, and the coded width
    // scaled by the sample aspect ratio (720 x 576 at 64:45 gives 1024 x 576), with the
    // sides swapped where the display matrix turns the picture a quarter.
    int videoWidth() const;
    int videoHeight() const;
    // Pictures the decoder has given out since the movie was opened: the measure of
    // work that does not depend on how busy the machine is.
    std::int64_t picturesDecoded() const;
    // Number of frames (at least 1) and the length in 100-nanosecond units; the
    // length is frame count x frame interval whenever the frame rate is known, so
    // that duration / frame count is the interval between frames.
    std::int64_t frameCount() const;
    std::int64_t duration() const;

    // Decodes the frame shown at `time` (100 ns from the start of the movie): the one
    // starting latest at or before it; before the first frame that is the first, after
    // the end the last. The frame goes into `out` as RGB at the video size, and its
    // number (0-based) into `frameNumber`. A frame whose sample aspect ratio is not 1:1
    // is rescaled to its display shape (FilteredResize), then turned and mirrored upright
    // as the container's display matrix says. When `abort` becomes true the call gives
    // up and returns false, leaving `out` untouched.
    bool decodeAt(std::int64_t time, Picture& out, std::int64_t* frameNumber = nullptr,
                  const std::atomic<bool>* abort = nullptr);

    // A quick look near `time`: the keyframe at or before it (or the first one after,
    // where none precedes), without decoding on to the exact frame. Containers that
    // cannot seek to keyframes reliably (MPEG streams) get the exact frame as decodeAt.
    // `frameNumber` gets the number of the frame delivered.
    bool decodeKeyFrameNear(std::int64_t time, Picture& out, std::int64_t* frameNumber = nullptr);

private:
    struct State;
    std::unique_ptr<State> m;
};
