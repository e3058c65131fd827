#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// The composite gamut of an analogue TV signal. With BT.601 Y, U and V from full-range
// RGB in 0..1 and C = sqrt(U^2 + V^2), a colour is inside while Y + C <= 1.10 and
// Y - C >= -0.10. Full-range white and black and every grey are inside: the menu
// stream's own conversion maps 0..255 to studio range; only saturation can leave.
// Inline, and in floats on the 0..255 scale: these run for every pixel of a preview.

namespace gamut {

// The largest C the gamut allows at luma `y`, both on the 0..255 scale.
inline float chromaLimit(float y)
{
    return std::min(280.5f - y, y + 25.5f);
}

inline float luma(int r, int g, int b)
{
    return 0.299f * static_cast<float>(r) + 0.587f * static_cast<float>(g) +
           0.114f * static_cast<float>(b);
}

// C is at most about 1.006 (max - min): below this spread a colour has chroma under
// `limit` without the arithmetic. Near greys, the common case, stop here.
inline bool surelyWithin(int r, int g, int b, float limit)
{
    return static_cast<float>(std::max({r, g, b}) - std::min({r, g, b})) * 1.006f <= limit;
}

// Room that toning leaves below the limit (2 % of full scale): rounding a toned pixel,
// and rounding the average of toned pixels, stays inside.
inline constexpr float kRoom = 5.1f;

} // namespace gamut

inline bool OutsideGamut(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    if (gamut::surelyWithin(r, g, b, 25.5f))
        return false;
    const float y = gamut::luma(r, g, b);
    const float u = 0.492f * (b - y);
    const float v = 0.877f * (r - y);
    const float limit = gamut::chromaLimit(y);
    return u * u + v * v > limit * limit;
}

// Moves an RGB pixel towards the grey of its own luma just enough to bring it inside the
// gamut with gamut::kRoom to spare; a pixel already that far inside is left as it is.
// Scaling U and V alike keeps Y, and moves every channel towards Y by the same factor,
// so the result stays inside the RGB cube; the average of such pixels stays inside too.
inline void ToneIntoGamut(std::uint8_t* rgb)
{
    const int r = rgb[0];
    const int g = rgb[1];
    const int b = rgb[2];
    if (gamut::surelyWithin(r, g, b, 25.5f - gamut::kRoom))
        return;
    const float y = gamut::luma(r, g, b);
    const float u = 0.492f * (b - y);
    const float v = 0.877f * (r - y);
    const float limit = gamut::chromaLimit(y) - gamut::kRoom;
    const float c2 = u * u + v * v;
    if (c2 <= limit * limit)
        return;
    const float k = limit / std::sqrt(c2);
    for (int i = 0; i < 3; ++i)
        rgb[i] = static_cast<std::uint8_t>(
            std::clamp(y + k * (static_cast<float>(rgb[i]) - y) + 0.5f, 0.0f, 255.0f));
}
