#pragma once

#include "codectypes.h"

#include <cstdint>
#include <span>

// Decodes the first frame of a GIF87a/GIF89a file onto a picture of the logical screen
// size: pixels outside the frame and of the frame's transparent index get alpha 0, all
// others alpha 255. Data ending early leaves the missing pixels transparent. Throws
// CodecError "GIF image is not valid: REASON" for a file that is not a GIF or whose
// picture exceeds `limits`, each check with its own reason, checked before allocating.
RgbaImage DecodeGif(std::span<const std::uint8_t> data, const DecodeLimits& limits = {});
