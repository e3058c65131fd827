#pragma once

#include <cstddef>
#include <cstdint>

// A picture's non-black area: [left, right) x [top, bottom), empty when all is black.
struct ActiveArea {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool empty() const { return right <= left || bottom <= top; }
};

// The rows and columns of an 8-bit luma plane (video levels) that hold picture rather
// than bars: a line counts when more than one pixel in fifty is brighter than black.
ActiveArea MeasureActiveArea(const std::uint8_t* luma, std::ptrdiff_t stride, int width,
                             int height);

// True when the lines of `area` alternate the way two fields woven from different moments
// do: neighbouring lines differ much more than lines two apart. A still or progressive
// picture is smoother from line to line than across two lines, so it never combs.
bool Combs(const std::uint8_t* luma, std::ptrdiff_t stride, const ActiveArea& area);

// Which field of `earlier` comes first in time, judged with the picture after it: the
// field shown second lies closer in time to the other field of `later`. Both planes are
// `width` x `height` with their strides. Returns +1 when the top field moves first, -1 for
// the bottom field, 0 when the pictures hold too little motion (or none between fields,
// as with a progressive picture) to tell.
int FirstField(const std::uint8_t* earlier, std::ptrdiff_t earlierStride, const std::uint8_t* later,
               std::ptrdiff_t laterStride, int width, int height);
