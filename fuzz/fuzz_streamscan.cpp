// libFuzzer target for the stream check's own readers: the input is fed as MPEG video
// pictures (cut every 700 bytes, cells every other sector), as 2048-byte packs, and as a
// 64-wide luma plane for the picture measures.
#include "streamscan/packclock.h"
#include "streamscan/picturemeasure.h"
#include "streamscan/videoheaders.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    VideoFacts facts;
    {
        VideoHeaderScan scan(facts, {0, 2, 4, 6, 8});
        for (std::size_t at = 0; at < size; at += 700)
            scan.picture(data + at, std::min<std::size_t>(700, size - at),
                         static_cast<std::int64_t>(at));
        scan.finish();
    }
    if (facts.longestGop < 0 || facts.pictures < 0 || facts.openCells.size() > 5)
        __builtin_trap();
    PackClock packs;
    for (std::size_t at = 0; at + 2048 <= size; at += 2048)
        packs.sector(data + at);
    const int width = 64;
    const int height = static_cast<int>(std::min<std::size_t>(size / width, 4096));
    const ActiveArea area = MeasureActiveArea(data, width, width, height);
    if (!area.empty() && (area.left < 0 || area.right > width || area.bottom > height))
        __builtin_trap();
    if (!area.empty())
        Combs(data, width, area);
    return 0;
}
