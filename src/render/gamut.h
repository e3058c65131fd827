#pragma once

#include <cstdint>

// The composite gamut of an analogue TV signal. With BT.601 Y, U and V from full-range
// RGB in 0..1 and C = sqrt(U^2 + V^2), a colour is inside while Y + C <= 1.10 and
// Y - C >= -0.10. Full-range white and black and every grey are inside: the menu
// stream's own conversion maps 0..255 to studio range; only saturation can leave.
bool OutsideGamut(std::uint8_t r, std::uint8_t g, std::uint8_t b);

// Moves an RGB pixel towards the grey of its own luma just enough to bring it inside
// the gamut (with a little room, so that rounding and averaging stay inside); a pixel
// already inside is left as it is.
void ToneIntoGamut(std::uint8_t* rgb);
