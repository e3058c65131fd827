#include "discgeometry.h"

#include <cmath>

DiscFrame DiscFrameOf(DiscSystem system)
{
    if (system == DiscSystem::Ntsc)
        return DiscFrame{720, 480, AVRational{30000, 1001}, 18};
    return DiscFrame{};
}

AVRational DiscSampleAspect(DiscSystem system, bool widescreen)
{
    // (display aspect) x height / width, reduced: 4:3 and 16:9 over 720 x 576 or 720 x 480.
    if (system == DiscSystem::Ntsc)
        return widescreen ? AVRational{32, 27} : AVRational{8, 9};
    return widescreen ? AVRational{64, 45} : AVRational{16, 15};
}

bool IsWidescreen(double shown)
{
    // The geometric mean of 4:3 and 16:9, so the choice pads the least either way.
    return shown > std::sqrt(4.0 / 3.0 * 16.0 / 9.0);
}
