#pragma once

#include "base/picture.h"
#include "thumbs/ffmpegptr.h"

#include <cstdint>
#include <vector>

// The pieces a moving menu's pictures are made of, all YUV 4:2:0 in the disc's BT.601
// studio range.

// A new 4:2:0 picture of `width` x `height` (both even). Throws std::bad_alloc.
FramePtr NewYuvPicture(int width, int height);

// The still as the disc shows it. Throws Failure when it cannot be converted.
FramePtr StillToYuv(const Picture& still);

// `into` = `a` where `alpha` is 255, `b` where 0, by plane (`alpha` is one byte per
// luma sample of `into`'s size; the chroma samples take the mean of their four).
class AlphaPlanes {
public:
    AlphaPlanes(const std::vector<std::uint8_t>& alpha, int width, int height);
    void blend(const AVFrame* a, const AVFrame* b, AVFrame* into) const;

private:
    int m_width;
    int m_height;
    std::vector<std::uint8_t> m_luma;
    std::vector<std::uint8_t> m_chroma;
};

// Copies `picture` into `into` with its top-left corner at (x, y) (even). When `toward`
// is given, the copy is mixed with it: `weight` 0..256 of `toward`, the rest `picture`.
void PlacePicture(const AVFrame* picture, AVFrame* into, int x, int y,
                  const AVFrame* toward = nullptr, int weight = 0);
