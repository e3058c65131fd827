#include "clipfit.h"

#include "render/layoutmath.h"

std::optional<FitRect> FitPreview(int w, int h, int pw, int ph)
{
    if (w <= 0 || h <= 0 || pw <= 0 || ph <= 0)
        return std::nullopt;
    const double a = static_cast<double>(w) / h;
    const double p = static_cast<double>(pw) / ph;
    FitRect r;
    if (a > p) {
        r.width = pw;
        r.height = roundHalfEven(pw / a);
        r.top = halfTowardZero(ph - r.height);
    } else {
        r.height = ph;
        r.width = roundHalfEven(ph * a);
        r.left = halfTowardZero(pw - r.width);
    }
    return r;
}
