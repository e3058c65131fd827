#include "planeturn.h"

#include <cstddef>

void TurnPlane(const std::uint8_t* source, int sourceStride, int width, int height,
               std::uint8_t* target, int targetStride, int clockwise, bool flip)
{
    const bool swaps = clockwise == 90 || clockwise == 270;
    const int outWidth = swaps ? height : width;
    const int outHeight = swaps ? width : height;
    for (int y = 0; y < outHeight; ++y) {
        std::uint8_t* row = target + static_cast<std::ptrdiff_t>(y) * targetStride;
        for (int x = 0; x < outWidth; ++x) {
            int sx = x, sy = y;
            if (clockwise == 90) {
                sx = y;
                sy = height - 1 - x;
            } else if (clockwise == 180) {
                sx = width - 1 - x;
                sy = height - 1 - y;
            } else if (clockwise == 270) {
                sx = width - 1 - y;
                sy = x;
            }
            if (flip)
                sx = width - 1 - sx;
            row[x] = source[static_cast<std::ptrdiff_t>(sy) * sourceStride + sx];
        }
    }
}
