#include "fitrect.h"

#include "layoutmath.h"

#include <cstdint>

namespace {

// numerator / denominator for positive values, truncated or rounded half to even.
std::int64_t divide(std::int64_t numerator, std::int64_t denominator, bool nearest)
{
    std::int64_t q = numerator / denominator;
    if (nearest) {
        const std::int64_t twice = 2 * (numerator % denominator);
        if (twice > denominator || (twice == denominator && q % 2 != 0))
            ++q;
    }
    return q;
}

} // namespace

FitRect FitInside(int width, int height, int areaWidth, int areaHeight, const FitRule& rule)
{
    const std::int64_t roomW = std::int64_t{areaWidth} - 2 * std::int64_t{rule.margin};
    const std::int64_t roomH = std::int64_t{areaHeight} - 2 * std::int64_t{rule.margin};
    std::int64_t w = 0;
    std::int64_t h = 0;
    if (roomW > 0 && roomH > 0 && width > 0 && height > 0) {
        if (!rule.enlarge && roomW >= width && roomH >= height) {
            w = width;
            h = height;
        } else if (std::int64_t{width} * roomH >= std::int64_t{height} * roomW) {
            w = roomW;
            h = divide(std::int64_t{height} * roomW, width, rule.nearest);
        } else {
            h = roomH;
            w = divide(std::int64_t{width} * roomH, height, rule.nearest);
        }
    }
    if (w <= 0 || h <= 0)
        w = h = 0;
    FitRect r;
    r.width = static_cast<int>(w);
    r.height = static_cast<int>(h);
    // w and h are 0 or lie within the area, so the differences fit an int.
    r.left = halfTowardZero(static_cast<int>(areaWidth - w));
    r.top = halfTowardZero(static_cast<int>(areaHeight - h));
    return r;
}
