#pragma once

#include "codectypes.h"

#include <cstdint>
#include <vector>

// The whole PNG file of a 24-bit picture: 8-bit RGB, each row's filter chosen for it,
// IDAT chunks of 65535 data bytes but the last. Throws CodecError for an empty picture,
// one beyond the format's limits or a compressor failure (or std::bad_alloc).
std::vector<std::uint8_t> EncodePng(const ImageView& image);

// A palette entry of an indexed picture; alpha 0 is fully transparent, 255 opaque.
struct PaletteEntry {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 255;
};

// A read-only view of an indexed picture: one palette index per byte, rows `stride` apart.
struct IndexedImageView {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
};

// The whole PNG file of an indexed picture: colour type 3 with a PLTE chunk, a tRNS chunk
// up to the last entry that is not opaque (none when all are), and the smallest bit depth
// of 2, 4 or 8 that holds the palette (1 to 256 entries). Rows are unfiltered, zlib level 9.
// Throws CodecError for an empty picture or palette, an index beyond the palette, or a
// zlib failure.
std::vector<std::uint8_t> EncodePalettePng(const IndexedImageView& image,
                                           const std::vector<PaletteEntry>& palette);
