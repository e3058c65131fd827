#include "timecode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

int FramesPerSecond(double framesPerSecond)
{
    if (!std::isfinite(framesPerSecond) || framesPerSecond < 1)
        return 1;
    return static_cast<int>(std::min(1000.0, std::round(framesPerSecond)));
}

std::string FrameTimeCode(std::int64_t frame, int perSecond)
{
    perSecond = std::max(perSecond, 1);
    frame = std::max<std::int64_t>(frame, 0);
    const std::int64_t seconds = frame / perSecond;
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld",
                  static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                  static_cast<long long>(seconds % 60), static_cast<long long>(frame % perSecond));
    return text;
}
