#pragma once

#include "memorybudget.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The one picture type of the program: 24-bit, R,G,B bytes per pixel, rows
// addressed through the stride (a multiple of 4 so that Qt can wrap the memory
// without copying). Empty is 0 x 0.
class Picture {
public:
    Picture() = default;
    // New pixels are white. Throws std::length_error for negative or oversized dimensions.
    Picture(int width, int height);

    int width() const { return m_width; }
    int height() const { return m_height; }
    std::ptrdiff_t stride() const { return m_stride; }
    bool isEmpty() const { return m_width == 0 || m_height == 0; }

    std::uint8_t* data() { return m_pixels.data(); }
    const std::uint8_t* data() const { return m_pixels.data(); }
    std::uint8_t* row(int y) { return m_pixels.data() + y * m_stride; }
    const std::uint8_t* row(int y) const { return m_pixels.data() + y * m_stride; }
    std::uint8_t* pixel(int x, int y) { return row(y) + 3 * x; }
    const std::uint8_t* pixel(int x, int y) const { return row(y) + 3 * x; }

    // Takes R,G,B,A pixels (rows of 4 x width bytes, no padding) over without a second
    // buffer: alpha is dropped and the rows are packed in place to the picture's stride.
    static Picture fromRgba(std::vector<std::uint8_t>&& rgba, int width, int height);

    // Reallocates to the new size; the old pixels are lost and every pixel becomes white.
    void reset(int width, int height);
    // Changes the size keeping the pixels of the overlap (anchored top-left); new pixels white.
    void resizeKeeping(int width, int height);
    // Back to 0 x 0, releasing the memory.
    void clear();
    void fill(std::uint8_t r, std::uint8_t g, std::uint8_t b);

    // Same size and same pixel values (padding bytes are not compared).
    bool samePixels(const Picture& other) const;

    // Largest side and pixel count a picture may have; bigger requests throw.
    static constexpr int kMaxSide = 65535;
    static constexpr std::uint64_t kMaxPixels = 400'000'000ULL;

private:
    int m_width = 0;
    int m_height = 0;
    std::ptrdiff_t m_stride = 0;
    std::vector<std::uint8_t> m_pixels;
    BudgetShare m_share; // the pixels' bytes, counted in the run's memory budget
};
