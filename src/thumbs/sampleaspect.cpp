#include "sampleaspect.h"

#include "resample/filteredresize.h"

#include <cmath>

int ShownFrameWidth(int width, int num, int den, int maxSide)
{
    if (num <= 0 || den <= 0 || num == den || width <= 0)
        return width;
    const double shown = std::nearbyint(static_cast<double>(width) * num / den);
    if (shown < 1 || shown > maxSide || shown > 4.0 * width || shown * 4.0 < width)
        return width;
    return static_cast<int>(shown);
}

void ResizeToShownWidth(const Picture& native, Picture& out, int shownWidth)
{
    if (out.width() != shownWidth || out.height() != native.height())
        out.reset(shownWidth, native.height());
    FilteredResize(native, out, Lanczos3Filter, 3.0f);
}
