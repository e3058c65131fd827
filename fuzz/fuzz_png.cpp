// libFuzzer target for the PNG reader.
#include "codecs/pngreader.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Mutated chunks almost never keep a valid CRC, which would stop nearly every input at the
// first check; so the CRCs are recomputed here and the decoder behind them gets explored.
// The CRC check itself is covered by the unit tests.
void fixCrcs(std::vector<std::uint8_t>& file)
{
    std::size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const std::uint8_t* p = file.data() + pos;
        const std::size_t length =
            std::size_t(p[0]) << 24 | std::size_t(p[1]) << 16 | std::size_t(p[2]) << 8 | p[3];
        if (length > file.size() - pos - 12)
            return;
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), p + 4, static_cast<uInt>(length + 4));
        std::uint8_t* out = file.data() + pos + 8 + length;
        out[0] = static_cast<std::uint8_t>(crc >> 24);
        out[1] = static_cast<std::uint8_t>(crc >> 16);
        out[2] = static_cast<std::uint8_t>(crc >> 8);
        out[3] = static_cast<std::uint8_t>(crc);
        pos += 12 + length;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The program's own limits: an input that gets past them and takes more memory or
    // time than its budgets is reported (scripts/test runs with -malloc_limit_mb and
    // -timeout set to the budgets).
    const DecodeLimits limits;
    std::vector<std::uint8_t> file(data, data + size);
    fixCrcs(file);
    try {
        const RgbaImage image = DecodePng(file, limits);
        if (image.width <= 0 || image.height <= 0 ||
            image.pixels.size() != std::size_t(image.width) * std::size_t(image.height) * 4)
            __builtin_trap();
        // Touch every byte so that a short or uninitialised buffer shows up.
        unsigned sum = 0;
        for (const std::uint8_t byte : image.pixels)
            sum += byte;
        volatile unsigned sink = sum;
        (void)sink;
    } catch (const CodecError&) {
    }
    return 0;
}
