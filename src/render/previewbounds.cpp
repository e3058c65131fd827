#include "previewbounds.h"

#include "layoutmath.h"

#include <cstdint>

PreviewBounds ComputePreviewBounds(int panelWidth, int panelHeight, int imageWidth, int imageHeight)
{
    PreviewBounds b;
    const std::int64_t aw = std::int64_t{panelWidth} - 10;
    const std::int64_t ah = std::int64_t{panelHeight} - 10;
    std::int64_t w = 0;
    std::int64_t h = 0;
    if (aw > 0 && ah > 0 && imageWidth > 0 && imageHeight > 0) {
        if (aw >= imageWidth && ah >= imageHeight) {
            w = imageWidth;
            h = imageHeight;
        } else if (static_cast<double>(imageWidth) / imageHeight >=
                   static_cast<double>(aw) / static_cast<double>(ah)) {
            w = aw;
            h = imageHeight * aw / imageWidth;
        } else {
            h = ah;
            w = imageWidth * ah / imageHeight;
        }
    }
    if (w <= 0 || h <= 0)
        w = h = 0;
    b.width = static_cast<int>(w);
    b.height = static_cast<int>(h);
    // w and h are 0 or lie within the panel, so the differences fit an int.
    b.left = halfTowardZero(static_cast<int>(panelWidth - w));
    b.top = halfTowardZero(static_cast<int>(panelHeight - h));
    b.percent = imageWidth > 0 ? static_cast<int>(w * 100 / imageWidth) : 0;
    return b;
}

std::string PreviewScaleText(int imageWidth, int imageHeight, const PreviewBounds& bounds)
{
    return std::to_string(imageWidth) + " x " + std::to_string(imageHeight) + " at " +
           std::to_string(bounds.percent) + "% preview";
}
