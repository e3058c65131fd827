#include "previewbounds.h"

#include "fitrect.h"

#include <cstdint>

PreviewBounds ComputePreviewBounds(int panelWidth, int panelHeight, int imageWidth, int imageHeight)
{
    const FitRect r = FitInside(imageWidth, imageHeight, panelWidth, panelHeight,
                                FitRule{.margin = 5, .enlarge = false, .nearest = false});
    PreviewBounds b;
    b.left = r.left;
    b.top = r.top;
    b.width = r.width;
    b.height = r.height;
    b.percent = imageWidth > 0 ? static_cast<int>(std::int64_t{r.width} * 100 / imageWidth) : 0;
    return b;
}

std::string PreviewScaleText(int imageWidth, int imageHeight, const PreviewBounds& bounds)
{
    return std::to_string(imageWidth) + " x " + std::to_string(imageHeight) + " at " +
           std::to_string(bounds.percent) + "% preview";
}
