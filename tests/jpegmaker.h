#pragma once

#include <cstdint>
#include <vector>

// Test pictures compressed with libjpeg itself.
struct JpegSource {
    int width = 0;
    int height = 0;
    int components = 3; // 1 grey, 3 RGB, 4 CMYK (stored inverted, as Adobe does)
    std::vector<std::uint8_t> samples;
};

// A smooth, photograph-like picture with some detail.
JpegSource MakeJpegSource(int width, int height, int components);

// Compresses `source` at `quality`; progressive when asked.
std::vector<std::uint8_t> EncodeJpeg(const JpegSource& source, int quality, bool progressive);

// libjpeg's own full-size decode with its defaults, 3 bytes per pixel (grey and CMYK sources
// are not supported). Empty when libjpeg fails.
std::vector<std::uint8_t> PlainJpegDecode(const std::vector<std::uint8_t>& jpeg);
