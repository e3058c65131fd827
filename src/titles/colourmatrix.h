#pragma once

#include <cstdint>

// Re-expresses limited-range BT.709 Y'CbCr 4:2:0 as BT.601, in place: an HD movie's
// colours as a disc player decodes them. Width and height are even and in luma samples;
// each 2x2 block of luma takes its correction from the block's one chroma sample.
void Bt709ToBt601(std::uint8_t* luma, int lumaStride, std::uint8_t* cb, std::uint8_t* cr,
                  int chromaStride, int width, int height);
