#pragma once

#include "codectypes.h"

#include <cstdint>
#include <vector>

// The whole PNG file of a 24-bit picture: 8-bit RGB, every row Sub-filtered, zlib
// level 7, IDAT chunks of 65535 data bytes but the last. Throws CodecError for an
// empty picture, one beyond the format's limits or a zlib failure (or std::bad_alloc).
std::vector<std::uint8_t> EncodePng(const ImageView& image);
