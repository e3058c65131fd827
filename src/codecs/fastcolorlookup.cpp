#include "fastcolorlookup.h"

#include <cstdlib>

TFastColorLookup::TFastColorLookup(const std::array<GifRgb, 256>& palette) : m_cache(32768, -1)
{
    for (int i = 0; i < 256; ++i) {
        m_red[i] = palette[i].r;
        m_green[i] = palette[i].g;
        m_blue[i] = palette[i].b;
        std::int16_t& cell = m_cache[cellOf(palette[i].r, palette[i].g, palette[i].b)];
        if (cell < 0)
            cell = static_cast<std::int16_t>(i);
    }
}

std::uint8_t TFastColorLookup::nearest(int r, int g, int b) const
{
    // Two plain passes so that the compiler can vectorise the distances.
    std::array<std::int32_t, 256> distance;
    for (int i = 0; i < 256; ++i)
        distance[i] = std::abs(r - m_red[i]) + std::abs(g - m_green[i]) + std::abs(b - m_blue[i]);
    int best = 0;
    for (int i = 1; i < 256; ++i)
        if (distance[i] < distance[best])
            best = i;
    return static_cast<std::uint8_t>(best);
}

std::uint8_t TFastColorLookup::lookup(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    std::int16_t& cell = m_cache[cellOf(r, g, b)];
    if (cell < 0)
        cell = nearest(r, g, b);
    return static_cast<std::uint8_t>(cell);
}

std::vector<std::uint8_t> TFastColorLookup::mapImage(const ImageView& image)
{
    const std::size_t width = static_cast<std::size_t>(image.width);
    std::vector<std::uint8_t> indices(width * static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = image.data + y * image.stride;
        std::uint8_t* out = indices.data() + static_cast<std::size_t>(y) * width;
        if (y % 2 == 0) {
            for (std::size_t x = 0; x < width; ++x)
                out[x] = lookup(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
        } else {
            for (std::size_t x = width; x-- > 0;)
                out[x] = lookup(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
        }
    }
    return indices;
}
