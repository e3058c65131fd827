#include "safearea.h"

#include "layoutmath.h"

namespace {

Rect centredShare(int width, int height, double share)
{
    const int mx = roundHalfEven(width * (1 - share) / 2);
    const int my = roundHalfEven(height * (1 - share) / 2);
    return {mx, my, width - mx, height - my};
}

} // namespace

SafeAreas ComputeSafeAreas(int width, int height, SafeAreaSet set)
{
    if (set == SafeAreaSet::Classic)
        return {centredShare(width, height, 0.90), centredShare(width, height, 0.80)};
    return {centredShare(width, height, 0.93), centredShare(width, height, 0.90)};
}
