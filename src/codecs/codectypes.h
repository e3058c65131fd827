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
    // Pillow's decompression-bomb limit: menus are 720 x 576, nothing needs more.
    std::uint64_t maxPixels = 178'956'970ULL;
    // Up to this many pixels a picture is allowed whatever its data; beyond it the
    // declared size must be one its coded data could fill.
    std::uint64_t freePixels = 4ULL << 20;
    // Work: progressive JPEG scans x pixels (a 24-megapixel photo has about 10 scans),
    // and wall time for one decode.
    std::uint64_t maxScanPixels = 4'000'000'000ULL;
    int timeBudgetMs = 10'000;
    // Working memory a decoder may take beside its output.
    std::uint64_t maxWorkBytes = 1ULL << 30;

    // Whether `pixels` is a size that data able to make at most `dataPixels` could fill.
    bool plausible(std::uint64_t pixels, std::uint64_t dataPixels) const
    {
        return pixels <= freePixels || pixels <= dataPixels;
    }
};

// The most pixels `bytes` of GIF LZW data can produce: every code adds at most one
// pixel to the string it extends, strings stop growing at 4096 entries, and codes are
// at least 2 bits wide until the table is full and 12 bits after.
inline std::uint64_t LzwMaxPixels(std::uint64_t bytes)
{
    const std::uint64_t shortCodes = bytes * 4;
    if (shortCodes <= 4096)
        return shortCodes * (shortCodes + 3) / 2;
    return 4096ULL * 4099 / 2 + (bytes * 8 / 12) * 4096;
}

// Deflate expands at most 1032 : 1 (258-byte matches in codes of 2 bits).
inline constexpr std::uint64_t kDeflateMaxRatio = 1032;

// Raised by readers and writers for malformed input or an impossible request.
class CodecError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Refuses a view an encoder cannot take: "Empty image", "Image too large for FORMAT" (a
// side over `maxSide`) or "Bad image layout" (no pixels, or rows shorter than 3 bytes a
// pixel), as CodecError.
inline void CheckImageView(const ImageView& image, std::int64_t maxSide, const char* format)
{
    if (image.width <= 0 || image.height <= 0)
        throw CodecError("Empty image");
    if (image.width > maxSide || image.height > maxSide)
        throw CodecError(std::string("Image too large for ") + format);
    if (!image.data || image.stride < 3 * static_cast<std::ptrdiff_t>(image.width))
        throw CodecError("Bad image layout");
}
