#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Chooses and applies the PNG filter for each row of 8-bit pictures.
class PngRowFilter {
public:
    // Rows of `rowBytes` bytes with `pixelBytes` bytes per pixel.
    PngRowFilter(std::size_t rowBytes, std::size_t pixelBytes);

    // Writes the filter type and the filtered row (rowBytes + 1 bytes) to `out`. `previous`
    // is the row above, or null for the first row. The type is the one whose bytes, read
    // as signed, have the smallest absolute sum: a cheap stand-in for the smallest output.
    void filter(const std::uint8_t* row, const std::uint8_t* previous, std::uint8_t* out);

private:
    std::size_t m_rowBytes;
    std::size_t m_pixelBytes;
    std::vector<std::uint8_t> m_zeros;      // the row above the first
    std::vector<std::uint8_t> m_candidates; // one filtered row per type
};
