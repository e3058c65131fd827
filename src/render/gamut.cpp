#include "gamut.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Everything in units of 1/255000 of full scale, so the test is exact integer arithmetic:
// this runs for every pixel of every checked composition.
struct Chroma {
    std::int64_t luma; // 1000 x (299 R + 587 G + 114 B) / 1000, in 0..255000
    std::int64_t u;    // 1000 x U
    std::int64_t v;    // 1000 x V
};

Chroma chromaOf(int r, int g, int b)
{
    const std::int64_t luma = 299 * r + 587 * g + 114 * b;
    return {luma, 492 * (1000LL * b - luma) / 1000, 877 * (1000LL * r - luma) / 1000};
}

// The largest chroma the gamut allows at this luma, in the same units.
std::int64_t chromaLimit(std::int64_t luma, std::int64_t room)
{
    constexpr std::int64_t kFull = 255000;
    return std::min(kFull * 110 / 100 - luma, luma + kFull * 10 / 100) - room;
}

} // namespace

bool OutsideGamut(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    // C is at most about (max - min) / 255, and leaving the gamut takes C > 0.10: near
    // greys, the common case, are inside without the arithmetic.
    if (std::max({r, g, b}) - std::min({r, g, b}) <= 25)
        return false;
    const Chroma c = chromaOf(r, g, b);
    const std::int64_t limit = chromaLimit(c.luma, 0);
    return c.u * c.u + c.v * c.v > limit * limit;
}

void ToneIntoGamut(std::uint8_t* rgb)
{
    if (!OutsideGamut(rgb[0], rgb[1], rgb[2]))
        return;
    const Chroma c = chromaOf(rgb[0], rgb[1], rgb[2]);
    // Two percent of room keeps the pixel inside after rounding.
    const double limit = static_cast<double>(chromaLimit(c.luma, 5100));
    const double k = limit / std::sqrt(static_cast<double>(c.u * c.u + c.v * c.v));
    // Scaling U and V by k keeps Y: each channel moves towards Y by the same factor, so
    // the result stays inside the RGB cube.
    const double y = static_cast<double>(c.luma) / 1000;
    for (int i = 0; i < 3; ++i)
        rgb[i] = static_cast<std::uint8_t>(std::clamp(std::lround(y + k * (rgb[i] - y)), 0L, 255L));
}
