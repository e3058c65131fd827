// libFuzzer target for the picture header probe, the hand-written parser that judges
// every picture file before a decoder sees it. The first byte picks the format; the
// rest is the file.
#include "imageio/picturefileprobe.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    constexpr PictureType kFormats[] = {PictureType::Bmp, PictureType::Gif, PictureType::Jpeg,
                                        PictureType::Png};
    const PictureType format = kFormats[data[0] % 4];
    const std::span<const std::uint8_t> file(data + 1, size - 1);
    const std::span<const std::uint8_t> head = file.first(std::min(file.size(), kProbeBytes));
    // Reads past the end give fewer bytes, as the file reader does.
    const ReadAt readAt = [file](std::uint64_t offset, std::size_t count) {
        if (offset >= file.size())
            return std::vector<std::uint8_t>();
        const std::size_t n = std::min<std::uint64_t>(count, file.size() - offset);
        return std::vector<std::uint8_t>(file.begin() + offset, file.begin() + offset + n);
    };
    const DecodeLimits limits;
    try {
        const PictureFileProbe probe = ProbePictureFile(format, head, file.size(), limits, readAt);
        // Whatever it lets through is inside the limits.
        if (probe.width > std::uint64_t(limits.maxSide) ||
            probe.height > std::uint64_t(limits.maxSide) ||
            probe.width * probe.height > limits.maxPixels)
            __builtin_trap();
    } catch (const std::runtime_error&) {
    }
    return 0;
}
