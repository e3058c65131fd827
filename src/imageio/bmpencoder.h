#pragma once

#include "codecs/codectypes.h"

#include <cstdint>
#include <vector>

// The whole file of an uncompressed 24-bit BMP (40-byte info header, bottom row
// first, B,G,R, rows padded to 4 bytes). Throws CodecError for an empty picture or
// one whose sizes do not fit the 32-bit header fields.
std::vector<std::uint8_t> EncodeBmp(const ImageView& image);
