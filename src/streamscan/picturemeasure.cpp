#include "picturemeasure.h"

#include <algorithm>
#include <cstdio>
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
    // A line that stands out from both neighbours (the other field) the same way, while
    // the lines two away (its own field) agree with it: the zigzag of woven fields at a
    // moving edge. It runs along the edge; noise and fine texture zigzag at lone points.
    constexpr int kStep = 24;
    constexpr int kRun = 4;
    long long combed = 0;
    long long samples = 0;
    // Every other line is enough: the zigzag shows on the lines of both fields.
    for (int y = area.top + 2; y + 2 < area.bottom; y += 2) {
        const std::uint8_t* up2 = luma + (y - 2) * stride;
        const std::uint8_t* up = luma + (y - 1) * stride;
        const std::uint8_t* row = luma + y * stride;
        const std::uint8_t* down = luma + (y + 1) * stride;
        const std::uint8_t* down2 = luma + (y + 2) * stride;
        int run = 0;
        int runSign = 0;
        for (int x = area.left; x < area.right; ++x) {
            const int a = row[x] - up[x];
            if (a <= kStep && a >= -kStep) { // most of a picture: no step to the line above
                run = 0;
                continue;
            }
            const int b = row[x] - down[x];
            const int sign = a > 0 && b > kStep ? 1 : a < 0 && b < -kStep ? -1 : 0;
            const bool ownField =
                std::abs(row[x] - up2[x]) < kStep / 2 && std::abs(row[x] - down2[x]) < kStep / 2;
            run = sign != 0 && ownField && sign == runSign ? run + 1 : sign != 0 && ownField;
            runSign = sign;
            combed += run == kRun ? kRun : run > kRun;
        }
        samples += area.right - area.left;
    }
    // One picture element in a thousand: a moving edge or two.
    return samples > 0 && combed * 1000 > samples;
}

namespace {

// Mean difference between the lines of parity `parity` of `a` and the lines of the other
// parity of `b`, estimated at the same place from the lines above and below.
double FieldDistance(const std::uint8_t* a, std::ptrdiff_t aStride, const std::uint8_t* b,
                     std::ptrdiff_t bStride, int width, int height, int parity)
{
    long long sum = 0;
    long long samples = 0;
    for (int y = 2 + parity; y + 2 < height; y += 2) {
        const std::uint8_t* row = a + y * aStride;
        const std::uint8_t* above = b + (y - 1) * bStride;
        const std::uint8_t* below = b + (y + 1) * bStride;
        for (int x = 0; x < width; x += 2) {
            sum += std::abs(2 * row[x] - above[x] - below[x]);
            ++samples;
        }
    }
    return samples ? static_cast<double>(sum) / (2.0 * static_cast<double>(samples)) : 0;
}

} // namespace

int FirstField(const std::uint8_t* earlier, std::ptrdiff_t earlierStride, const std::uint8_t* later,
               std::ptrdiff_t laterStride, int width, int height)
{
    // Top first: the bottom field of `earlier` is half a field from the top of `later`,
    // its top field one and a half from the bottom of `later`. Bottom first the other way.
    const double bottomToTop =
        FieldDistance(earlier, earlierStride, later, laterStride, width, height, 1);
    const double topToBottom =
        FieldDistance(earlier, earlierStride, later, laterStride, width, height, 0);
    constexpr double kClear = 1.5;  // a third of the way from equal to the 1:3 of real fields
    constexpr double kMotion = 2.0; // levels: less is noise and still pictures
    if (std::max(bottomToTop, topToBottom) < kMotion)
        return 0;
    if (topToBottom > bottomToTop * kClear)
        return 1;
    if (bottomToTop > topToBottom * kClear)
        return -1;
    return 0;
}
