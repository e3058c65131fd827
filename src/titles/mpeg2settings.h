#pragma once

#include "discgeometry.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>
#include <vector>

// What a title's MPEG-2 encoder is asked for.
struct Mpeg2Request {
    std::int64_t bitRate = 0;    // average, bits/s
    std::int64_t maxBitRate = 0; // peak, bits/s
    int threads = 1;
};

// Sets up an allocated, unopened MPEG-2 encoder for a disc title: the frame, the player's
// buffer and GOP limits, and the coding tools that buy the most picture per bit for
// their time. Throws MediaError when libavcodec lacks one of them.
void SetUpDiscMpeg2(AVCodecContext* c, DiscSystem system, bool widescreen,
                    const Mpeg2Request& request);

// The output pictures at which chapters start, each to be coded as the first picture of
// a GOP that needs nothing before it, so that a player can jump there.
class ChapterPictures {
public:
    ChapterPictures(const std::vector<double>& startSeconds, AVRational frameRate);
    // The type to force on output picture `picture` (NONE: the encoder's choice). Pictures
    // are asked for in order.
    AVPictureType typeOf(std::int64_t picture);

private:
    std::vector<std::int64_t> m_starts; // ascending
    std::size_t m_next = 0;
};
