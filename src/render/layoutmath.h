#pragma once

#include <cmath>
#include <limits>

// R(v): nearest integer, an exact half going to the even neighbour. Computed without
// relying on the floating-point rounding mode; out-of-range values saturate, NaN gives 0.
inline int roundHalfEven(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    const double lower = std::floor(v);
    const double fraction = v - lower;
    int result = static_cast<int>(lower);
    if (fraction > 0.5 || (fraction == 0.5 && (result % 2) != 0))
        ++result;
    return result;
}

// half(v): v / 2 truncated toward zero, so half(-7) == -3.
constexpr int halfTowardZero(int v)
{
    return v / 2;
}
