#pragma once

#include "codectypes.h"

#include <cstdint>
#include <span>

// Decodes a whole BMP file (OS/2 12-byte or Windows 40-byte-and-larger headers; 1, 4, 8,
// 16, 24 or 32 bits per pixel; uncompressed, bit fields, RLE4, RLE8) to opaque RGBA; the
// file's own alpha is ignored. Throws CodecError "Bitmap image is not valid: REASON" for
// anything else, including a picture larger than `limits`, each check with its own reason
// ("bits per pixel 7 is not supported"), all of the header checked before allocating.
RgbaImage DecodeBmp(std::span<const std::uint8_t> data, const DecodeLimits& limits = {});
