#include "pngfilter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// None, Sub, Up, Average, Paeth: the filter type byte is the index.
constexpr std::size_t kFilterTypes = 5;

// Predictor of the Paeth filter (PNG, section 9.4) without branches, so the loop vectorises.
inline int Paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    const int bOrC = pb <= pc ? b : c;
    return (pa <= pb && pa <= pc) ? a : bOrC;
}

inline unsigned Cost(std::uint8_t value)
{
    return static_cast<unsigned>(std::abs(static_cast<int>(static_cast<std::int8_t>(value))));
}

// Filters bytes [from, n) of a row where the pixel to the left is `left` bytes back
// (every byte before `from` has no left neighbour, as if it were 0).
template <typename Predict>
std::uint64_t FilterSpan(const std::uint8_t* row, const std::uint8_t* up, std::size_t n,
                         std::size_t bpp, std::uint8_t* out, Predict predict)
{
    std::uint64_t cost = 0;
    const std::size_t head = std::min(bpp, n);
    for (std::size_t x = 0; x < head; ++x) {
        out[x] = static_cast<std::uint8_t>(row[x] - predict(0, up[x], 0));
        cost += Cost(out[x]);
    }
    for (std::size_t x = head; x < n; ++x) {
        out[x] = static_cast<std::uint8_t>(row[x] - predict(row[x - bpp], up[x], up[x - bpp]));
        cost += Cost(out[x]);
    }
    return cost;
}

} // namespace

PngRowFilter::PngRowFilter(std::size_t rowBytes, std::size_t pixelBytes)
    : m_rowBytes(rowBytes), m_pixelBytes(pixelBytes), m_zeros(rowBytes, 0),
      m_candidates(kFilterTypes * rowBytes)
{
}

void PngRowFilter::filter(const std::uint8_t* row, const std::uint8_t* previous, std::uint8_t* out)
{
    const std::uint8_t* up = previous ? previous : m_zeros.data();
    const std::size_t n = m_rowBytes;
    const std::size_t bpp = m_pixelBytes;
    std::uint8_t* at = m_candidates.data();
    std::uint64_t costs[kFilterTypes];
    costs[0] = FilterSpan(row, up, n, bpp, at, [](int, int, int) { return 0; });
    costs[1] = FilterSpan(row, up, n, bpp, at + n, [](int a, int, int) { return a; });
    costs[2] = FilterSpan(row, up, n, bpp, at + 2 * n, [](int, int b, int) { return b; });
    costs[3] =
        FilterSpan(row, up, n, bpp, at + 3 * n, [](int a, int b, int) { return (a + b) >> 1; });
    costs[4] = FilterSpan(row, up, n, bpp, at + 4 * n, Paeth);
    const std::size_t best =
        static_cast<std::size_t>(std::min_element(costs, costs + kFilterTypes) - costs);
    out[0] = static_cast<std::uint8_t>(best);
    std::memcpy(out + 1, at + best * n, n);
}
