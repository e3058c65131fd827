#pragma once

#include "codectypes.h"

#include <cstdint>
#include <span>

// Decodes a whole PNG file held in memory: every colour type, bit depth and interlace
// method; tRNS becomes alpha, gAMA is applied to the colour values, 16-bit samples keep
// their high byte. Throws CodecError for malformed data or a picture beyond `limits`.
RgbaImage DecodePng(std::span<const std::uint8_t> data, const DecodeLimits& limits = {});
