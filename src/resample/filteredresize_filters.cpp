#include "filteredresize.h"

#include <cmath>
#include <numbers>

// Every value here is single precision and this file is built without contraction, so
// each operation rounds to float exactly as written.

namespace {

constexpr float kTwoThirds = 2.0f / 3.0f;
constexpr float kOneSixth = 1.0f / 6.0f;
constexpr float kSixteenThirds = 16.0f / 3.0f;
constexpr float kSevenThirds = 7.0f / 3.0f;
constexpr float kThirtyTwoThirds = 32.0f / 3.0f;
constexpr float kPi = std::numbers::pi_v<float>;

float Sinc(float u)
{
    if (u == 0.0f)
        return 1.0f;
    const float pu = kPi * u;
    // The sine of the float argument is taken in double so that its float result is the
    // correctly rounded one whatever the C library's sinf does.
    return static_cast<float>(std::sin(static_cast<double>(pu))) / pu;
}

} // namespace

float BoxFilter(float x)
{
    return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f;
}

float TriangleFilter(float x)
{
    const float t = std::fabs(x);
    return t < 1.0f ? 1.0f - t : 0.0f;
}

float HermiteFilter(float x)
{
    const float t = std::fabs(x);
    if (t < 1.0f)
        return (2.0f * t - 3.0f) * (t * t) + 1.0f;
    return 0.0f;
}

float BellFilter(float x)
{
    const float t = std::fabs(x);
    if (t < 0.5f)
        return 0.75f - t * t;
    if (t < 1.5f) {
        const float u = t - 1.5f;
        return 0.5f * (u * u);
    }
    return 0.0f;
}

float BSplineFilter(float x)
{
    const float t = std::fabs(x);
    if (t < 1.0f) {
        const float tt = t * t;
        return 0.5f * (tt * t) - tt + kTwoThirds;
    }
    if (t < 2.0f) {
        const float u = 2.0f - t;
        return kOneSixth * (u * u * u);
    }
    return 0.0f;
}

float Lanczos3Filter(float x)
{
    const float t = std::fabs(x);
    if (t < 3.0f)
        return Sinc(t) * Sinc(t / 3.0f);
    return 0.0f;
}

float MitchellFilter(float x)
{
    const float t = std::fabs(x);
    const float tt = t * t;
    const float ttt = tt * t;
    if (t < 1.0f)
        return (7.0f * ttt - 12.0f * tt + kSixteenThirds) / 6.0f;
    if (t < 2.0f)
        return (-kSevenThirds * ttt + 12.0f * tt - 20.0f * t + kThirtyTwoThirds) / 6.0f;
    return 0.0f;
}

const std::array<FilterEntry, 7> FilterTable = {{
    {"Box", BoxFilter, 0.5f},
    {"Triangle", TriangleFilter, 1.0f},
    {"Hermite", HermiteFilter, 1.0f},
    {"Bell", BellFilter, 1.5f},
    {"B-Spline", BSplineFilter, 2.0f},
    {"Lanczos3", Lanczos3Filter, 3.0f},
    {"Mitchell", MitchellFilter, 2.0f},
}};
