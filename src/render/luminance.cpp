#include "luminance.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr int kLevels = 4096; // luminance quantised before its bin is looked up

const std::array<double, 256>& linearTable()
{
    static const std::array<double, 256> table = [] {
        std::array<double, 256> t{};
        for (int v = 0; v < 256; ++v) {
            const double c = v / 255.0;
            t[static_cast<std::size_t>(v)] =
                c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
        return t;
    }();
    return table;
}

const double kLogLow = std::log(0.05);
const double kLogSpan = std::log(1.05) - std::log(0.05);

const std::array<std::uint8_t, kLevels + 1>& binTable()
{
    static const std::array<std::uint8_t, kLevels + 1> table = [] {
        std::array<std::uint8_t, kLevels + 1> t{};
        for (int i = 0; i <= kLevels; ++i) {
            const double l = static_cast<double>(i) / kLevels;
            const int bin =
                static_cast<int>((std::log(l + 0.05) - kLogLow) / kLogSpan * kLuminanceBins);
            t[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(std::clamp(bin, 0, kLuminanceBins - 1));
        }
        return t;
    }();
    return table;
}

} // namespace

double RelativeLuminance(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    const auto& lin = linearTable();
    return 0.2126 * lin[r] + 0.7152 * lin[g] + 0.0722 * lin[b];
}

double RelativeLuminance(Color color)
{
    return RelativeLuminance(static_cast<std::uint8_t>(color & 0xFF),
                             static_cast<std::uint8_t>((color >> 8) & 0xFF),
                             static_cast<std::uint8_t>((color >> 16) & 0xFF));
}

double ContrastRatio(double luminance1, double luminance2)
{
    const double hi = std::max(luminance1, luminance2);
    const double lo = std::min(luminance1, luminance2);
    return (hi + 0.05) / (lo + 0.05);
}

int LuminanceBin(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    // Integer weights on quantised linear light: this runs for every pixel behind every
    // text of every composition.
    static const std::array<std::uint32_t, 256> linear = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::size_t v = 0; v < 256; ++v)
            t[v] = static_cast<std::uint32_t>(linearTable()[v] * kLevels + 0.5);
        return t;
    }();
    const std::uint32_t level =
        (2126 * linear[r] + 7152 * linear[g] + 722 * linear[b] + 5000) / 10000;
    return binTable()[std::min<std::uint32_t>(level, kLevels)];
}

double BinLuminance(int bin)
{
    return std::exp(kLogLow + (bin + 0.5) / kLuminanceBins * kLogSpan) - 0.05;
}
