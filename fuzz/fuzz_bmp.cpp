// libFuzzer target for the BMP reader.
#include "codecs/bmpreader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The program's own limits: an input that gets past them and takes more memory or
    // time than its budgets is reported (scripts/test runs with -malloc_limit_mb and
    // -timeout set to the budgets).
    const DecodeLimits limits;
    try {
        const RgbaImage image = DecodeBmp({data, size}, limits);
        // Touch every byte so that a short or uninitialised buffer shows up.
        if (image.pixels.size() != std::size_t(image.width) * std::size_t(image.height) * 4)
            __builtin_trap();
        unsigned sum = 0;
        for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
            sum += image.pixels[i] + image.pixels[i + 1] + image.pixels[i + 2];
            if (image.pixels[i + 3] != 255)
                __builtin_trap();
        }
        volatile unsigned sink = sum;
        (void)sink;
    } catch (const CodecError&) {
    }
    return 0;
}
