#pragma once

#include "base/picture.h"
#include "codecs/codectypes.h"

#include <cstdint>
#include <span>

// Decodes a baseline or progressive JPEG held in memory at full size with libjpeg's accurate
// inverse DCT and block smoothing; greyscale goes through the library's colour quantiser
// (at most 236 grey levels). Throws CodecError for damaged data or a picture beyond `limits`.
Picture DecodeJpeg(std::span<const std::uint8_t> data, const DecodeLimits& limits = {});
