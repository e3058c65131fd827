#include "orientpicture.h"

#include <cstddef>
#include <cstring>

void UprightSize(const DisplayOrientation& o, int width, int height, int& uprightWidth,
                 int& uprightHeight)
{
    uprightWidth = o.swapsSides() ? height : width;
    uprightHeight = o.swapsSides() ? width : height;
}

void OrientPicture(const Picture& coded, Picture& out, const DisplayOrientation& o)
{
    const int w = coded.width();
    const int h = coded.height();
    int ow = 0, oh = 0;
    UprightSize(o, w, h, ow, oh);
    if (out.width() != ow || out.height() != oh)
        out.reset(ow, oh);
    if (coded.isEmpty())
        return;
    // Where output pixel (X, Y) comes from, as the coded pixel at X = 0 of row Y and the
    // step to the next X; both in coded coordinates before the mirror.
    for (int y = 0; y < oh; ++y) {
        int sx = 0, sy = 0, dx = 0, dy = 0;
        switch (o.clockwise) {
        case 90:
            sx = y, sy = h - 1, dy = -1;
            break;
        case 180:
            sx = w - 1, sy = h - 1 - y, dx = -1;
            break;
        case 270:
            sx = w - 1 - y, sy = 0, dy = 1;
            break;
        default:
            sx = 0, sy = y, dx = 1;
            break;
        }
        if (o.flipHorizontal) {
            sx = w - 1 - sx;
            dx = -dx;
        }
        const std::ptrdiff_t step = dy * coded.stride() + dx * 3;
        std::uint8_t* to = out.row(y);
        if (step == 3) {
            std::memcpy(to, coded.pixel(sx, sy), static_cast<std::size_t>(ow) * 3);
            continue;
        }
        // An offset rather than a pointer: stepping upwards ends before the first row.
        std::ptrdiff_t at = sy * coded.stride() + sx * 3;
        for (int x = 0; x < ow; ++x, to += 3, at += step) {
            const std::uint8_t* from = coded.data() + at;
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    }
}
