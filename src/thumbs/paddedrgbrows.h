#pragma once

#include "base/picture.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <cstddef>
#include <cstdint>
#include <memory>

// Converts a decoded frame into a Picture through a staging buffer. swscale's vector
// paths write whole blocks of pixels past a row's end (16 pixels on x86 for widths
// that are not a multiple of 16), which a tightly packed Picture does not have room
// for; the staging rows have an aligned stride and a spare row below the last.
class PaddedRgbRows {
public:
    // `ctx` converts `frame` to RGB24 at the size of `out`. Throws std::bad_alloc.
    void convert(SwsContext* ctx, const AVFrame* frame, Picture& out);

    // Bytes a row of `width` RGB pixels takes in the staging buffer.
    static std::size_t strideFor(int width);

private:
    struct Freer {
        void operator()(std::uint8_t* p) const;
    };
    std::unique_ptr<std::uint8_t, Freer> m_rows;
    std::size_t m_size = 0;
};
