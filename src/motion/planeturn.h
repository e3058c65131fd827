#pragma once

#include <cstdint>

// Turns one picture plane upright: mirrored left to right first when `flip`, then turned
// `clockwise` degrees (0, 90, 180 or 270). The source is width x height; the destination
// has the sides swapped for 90 and 270.
void TurnPlane(const std::uint8_t* source, int sourceStride, int width, int height,
               std::uint8_t* target, int targetStride, int clockwise, bool flip);
