#pragma once

#include "codectypes.h"
#include "colorquantizer.h"

#include <array>
#include <cstdint>
#include <vector>

// The 20 colours of the default system palette, in palette order.
extern const std::array<GifRgb, 20> kSystemColors;

// The picture as it goes into the file: the optimised colour table (most frequent
// first, 1..256 entries) and one index per pixel, rows top-down.
struct GifIndexedImage {
    int width = 0;
    int height = 0;
    std::vector<GifRgb> colors;
    std::vector<std::uint8_t> indices;
};

// System colours 0..9, the octree colours of the picture (up to 236, black when
// fewer), system colours 10..19.
std::array<GifRgb, 256> BuildGifPalette(const ImageView& image);

// Palette, nearest-colour mapping and colour table optimisation. Throws CodecError
// for an empty picture or a side above 65535.
GifIndexedImage QuantizeForGif(const ImageView& image);

// The GIF87a file of an indexed picture.
std::vector<std::uint8_t> WriteGif(const GifIndexedImage& image);

// The whole GIF87a file of a 24-bit picture. Throws CodecError (or std::bad_alloc).
std::vector<std::uint8_t> EncodeGif(const ImageView& image);
