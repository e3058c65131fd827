#pragma once

#include "colorquantizer.h"

#include <array>
#include <cstdint>
#include <vector>

// Nearest-colour mapping onto a 256-entry palette through a cache of one palette
// index per 5-bit-per-channel cell. A cell holding palette colours maps to the lowest
// such entry; any other cell takes the entry nearest (sum of absolute differences,
// lowest index on ties) to the first pixel met in it.
class TFastColorLookup {
public:
    explicit TFastColorLookup(const std::array<GifRgb, 256>& palette);

    std::uint8_t lookup(std::uint8_t r, std::uint8_t g, std::uint8_t b);
    // One index per pixel, rows top-down without padding; the pixels are visited in
    // serpentine order (even rows left to right, odd rows right to left), which
    // decides what the unclaimed cells receive.
    std::vector<std::uint8_t> mapImage(const ImageView& image);

private:
    static int cellOf(int r, int g, int b) { return ((b >> 3) << 10) | ((g >> 3) << 5) | (r >> 3); }
    std::uint8_t nearest(int r, int g, int b) const;

    std::array<std::int32_t, 256> m_red;
    std::array<std::int32_t, 256> m_green;
    std::array<std::int32_t, 256> m_blue;
    std::vector<std::int16_t> m_cache; // -1 = unset
};
