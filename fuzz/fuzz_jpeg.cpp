// libFuzzer target for the JPEG reader (libjpeg behind our error and limit handling).
#include "codecs/codectypes.h"
#include "imageio/jpegreader.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The program's own limits, as for the other readers; a tighter time budget keeps
    // libFuzzer's own timeout for inputs that ignore it.
    DecodeLimits limits;
    limits.timeBudgetMs = 2'000;
    try {
        const Picture picture = DecodeJpeg(std::span<const std::uint8_t>(data, size), limits);
        if (picture.width() <= 0 || picture.height() <= 0)
            __builtin_trap();
        // Touch every pixel so that a short or uninitialised buffer shows up.
        unsigned sum = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width() * 3; ++x)
                sum += picture.row(y)[x];
        volatile unsigned sink = sum;
        (void)sink;
    } catch (const CodecError&) {
    }
    return 0;
}
