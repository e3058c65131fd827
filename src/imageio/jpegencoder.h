#pragma once

#include "codecs/codectypes.h"

#include <cstdint>
#include <vector>

// A baseline JFIF file of a 24-bit picture at quality 100 with libjpeg's other
// defaults. Throws CodecError for an empty picture, a side above 65500 or a libjpeg
// failure (or std::bad_alloc).
std::vector<std::uint8_t> EncodeJpeg(const ImageView& image);
