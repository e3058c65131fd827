#include "bmpencoder.h"

#include <cstdint>

namespace {

constexpr std::uint32_t kHeaderSize = 54;

void put16(std::uint8_t* p, std::uint32_t value)
{
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* p, std::uint32_t value)
{
    put16(p, value);
    put16(p + 2, value >> 16);
}

} // namespace

std::vector<std::uint8_t> EncodeBmp(const ImageView& image)
{
    if (image.width <= 0 || image.height <= 0)
        throw CodecError("Empty image");
    if (!image.data || image.stride < 3 * static_cast<std::ptrdiff_t>(image.width))
        throw CodecError("Bad image layout");
    // Width and height are signed 32-bit fields, file and image size unsigned ones.
    const std::uint64_t rowSize =
        (3 * static_cast<std::uint64_t>(image.width) + 3) & ~std::uint64_t(3);
    const std::uint64_t imageSize = rowSize * static_cast<std::uint64_t>(image.height);
    if (imageSize > 0xFFFFFFFFull - kHeaderSize)
        throw CodecError("Image too large for BMP");

    std::vector<std::uint8_t> out(kHeaderSize + imageSize, 0);
    std::uint8_t* h = out.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, static_cast<std::uint32_t>(kHeaderSize + imageSize));
    put32(h + 10, kHeaderSize);
    put32(h + 14, 40);
    put32(h + 18, static_cast<std::uint32_t>(image.width));
    put32(h + 22, static_cast<std::uint32_t>(image.height)); // positive: bottom-up rows
    put16(h + 26, 1);
    put16(h + 28, 24);
    put32(h + 34, static_cast<std::uint32_t>(imageSize));

    std::uint8_t* dst = h + kHeaderSize;
    for (int y = image.height - 1; y >= 0; --y, dst += rowSize) {
        const std::uint8_t* src = image.data + y * image.stride;
        for (int x = 0; x < image.width; ++x, src += 3) {
            dst[3 * x] = src[2];
            dst[3 * x + 1] = src[1];
            dst[3 * x + 2] = src[0];
        }
    }
    return out;
}
