#pragma once

#include <cstdint>
#include <span>
#include <vector>

// GIF LZW coder. Appends the image data to `out`: the minimum code size byte, the
// codes in data sub-blocks of up to 255 bytes and the block terminator.
// `colorBits` is b of a table of 2^b colours; an index not below 2^b throws CodecError.
class TLZWEncoder {
public:
    static void encode(std::span<const std::uint8_t> pixels, int colorBits,
                       std::vector<std::uint8_t>& out);
};
