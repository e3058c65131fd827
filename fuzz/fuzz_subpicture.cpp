// libFuzzer target for the disc check's subpicture reader: the input is either one
// subpicture unit (first byte even) or 2048-byte packs of a program stream (odd).
#include "discplay/subpicture.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    SubpictureCollector collector;
    if (data[0] % 2 == 0) {
        if (const auto mask = DecodeSubpicture(rest))
            if (mask->pixels.size() != std::size_t(mask->width) * std::size_t(mask->height))
                __builtin_trap();
        return 0;
    }
    for (std::size_t pos = 0; pos < rest.size(); pos += 2048)
        collector.feed(rest.subspan(pos, std::min<std::size_t>(2048, rest.size() - pos)));
    for (int stream = 0; stream < 32; ++stream)
        if (const auto mask = DecodeSubpicture(collector.unit(stream))) {
            // Every value is a 2-bit pixel value.
            for (const std::uint8_t v : mask->pixels)
                if (v > 3)
                    __builtin_trap();
        }
    return 0;
}
