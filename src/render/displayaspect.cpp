#include "displayaspect.h"

#include "layoutmath.h"

PixelAspect FramePixelAspect(int width, int height, MenuAspect aspect)
{
    if (aspect == MenuAspect::Pixels)
        return {};
    const bool wide = aspect == MenuAspect::Wide;
    if (height == 480 && width == 720)
        return wide ? PixelAspect{32, 27} : PixelAspect{8, 9};
    if (height == 480 && width == 704)
        return wide ? PixelAspect{40, 33} : PixelAspect{10, 11};
    if (height == 576 && width == 720)
        return wide ? PixelAspect{64, 45} : PixelAspect{16, 15};
    if (height == 576 && width == 704)
        return wide ? PixelAspect{16, 11} : PixelAspect{12, 11};
    return {};
}

int DisplayWidth(int width, int height, MenuAspect aspect)
{
    const PixelAspect par = FramePixelAspect(width, height, aspect);
    return roundHalfEven(static_cast<double>(width) * par.num / par.den);
}
