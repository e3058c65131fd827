#include "picturemeasure.h"

#include <cstdlib>
#include <vector>

namespace {

// Above black (16) with room for noise and ringing at the edges of the bars.
constexpr int kBlackLimit = 40;

} // namespace

ActiveArea MeasureActiveArea(const std::uint8_t* luma, std::ptrdiff_t stride, int width, int height)
{
    ActiveArea area;
    if (width <= 0 || height <= 0)
        return area;
    std::vector<int> columns(static_cast<std::size_t>(width), 0);
    int firstRow = -1;
    int lastRow = -1;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = luma + y * stride;
        int bright = 0;
        for (int x = 0; x < width; ++x)
            if (row[x] > kBlackLimit) {
                ++bright;
                ++columns[static_cast<std::size_t>(x)];
            }
        if (bright * 50 > width) {
            if (firstRow < 0)
                firstRow = y;
            lastRow = y;
        }
    }
    int firstColumn = -1;
    int lastColumn = -1;
    for (int x = 0; x < width; ++x)
        if (columns[static_cast<std::size_t>(x)] * 50 > height) {
            if (firstColumn < 0)
                firstColumn = x;
            lastColumn = x;
        }
    if (firstRow < 0 || firstColumn < 0)
        return area;
    return {firstColumn, firstRow, lastColumn + 1, lastRow + 1};
}

bool Combs(const std::uint8_t* luma, std::ptrdiff_t stride, const ActiveArea& area)
{
    long long near = 0; // second differences across neighbouring lines (other field)
    long long far = 0;  // the same across lines two apart (same field)
    long long samples = 0;
    for (int y = area.top + 2; y + 2 < area.bottom; ++y) {
        const std::uint8_t* up2 = luma + (y - 2) * stride;
        const std::uint8_t* up = luma + (y - 1) * stride;
        const std::uint8_t* row = luma + y * stride;
        const std::uint8_t* down = luma + (y + 1) * stride;
        const std::uint8_t* down2 = luma + (y + 2) * stride;
        for (int x = area.left; x < area.right; ++x) {
            near += std::abs(2 * row[x] - up[x] - down[x]);
            far += std::abs(2 * row[x] - up2[x] - down2[x]);
            ++samples;
        }
    }
    // Flat pictures differ by noise only; a mean below 3 levels is no combing.
    if (samples == 0 || near < 3 * samples)
        return false;
    return near > 2 * far;
}
