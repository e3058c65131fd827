#pragma once

#include "document/menudocument.h"

#include <array>
#include <cstdint>

// Relative luminance and contrast ratio as WCAG defines them (sRGB, linear light).
double RelativeLuminance(std::uint8_t r, std::uint8_t g, std::uint8_t b);
double RelativeLuminance(Color color);
// (lighter + 0.05) / (darker + 0.05): 1 for equal colours, 21 for black on white.
double ContrastRatio(double luminance1, double luminance2);

// A histogram of luminance on the contrast ratio's own scale: bins evenly spaced in
// log(L + 0.05), so that each bin spans the same contrast ratio (about 1.05:1).
inline constexpr int kLuminanceBins = 64;
using LuminanceHistogram = std::array<std::uint32_t, kLuminanceBins>;

int LuminanceBin(std::uint8_t r, std::uint8_t g, std::uint8_t b);
// The luminance at the centre of a bin.
double BinLuminance(int bin);
