#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Plain types shared by the readers and writers; the codecs use the standard library only.

// A read-only view of 24-bit pixels: R,G,B per pixel, rows top-down, `stride` bytes apart.
struct ImageView {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
};

// A decoded picture: R,G,B,A per pixel (alpha 255 = opaque), rows top-down, no padding.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// Bounds a reader checks before it allocates anything for a picture.
struct DecodeLimits {
    int maxSide = 30000;
    std::uint64_t maxPixels = 400'000'000ULL;
};

// Raised by readers and writers for malformed input or an impossible request.
class CodecError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
