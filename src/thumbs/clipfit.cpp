#include "clipfit.h"

#include <cmath>

std::optional<FitRect> FitPreview(int w, int h, int pw, int ph)
{
    if (w <= 0 || h <= 0 || pw <= 0 || ph <= 0)
        return std::nullopt;
    const double a = static_cast<double>(w) / h;
    const double p = static_cast<double>(pw) / ph;
    FitRect r;
    // nearbyint rounds half to even in the default rounding mode.
    if (a > p) {
        r.width = pw;
        r.height = static_cast<int>(std::nearbyint(pw / a));
        r.top = (ph - r.height) / 2;
    } else {
        r.height = ph;
        r.width = static_cast<int>(std::nearbyint(ph * a));
        r.left = (pw - r.width) / 2;
    }
    return r;
}
