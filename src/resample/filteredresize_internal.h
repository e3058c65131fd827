#pragma once

// Pieces of the rescaler shared by its scalar and vector kernels, the tests and the
// benchmarks. Not for the rest of the program.

#include "filteredresize.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

struct Contributor {
    std::int32_t pixel; // source index, already inside the source
    float weight;       // never 0
};

// The taps of one destination column (or row), in increasing unreflected source index.
struct ContributorList {
    std::vector<Contributor> entries;
    // Bound on how far a sum of these taps, worked with each product rounded, can lie
    // from the fused sum; infinite when the weights are too large to bound.
    float slack = 0.0f;
};

// One list per destination index 0..dstSize-1 for a source of srcSize (>= 1) pixels.
std::vector<ContributorList> BuildContributors(int dstSize, int srcSize, FilterFunction filter,
                                               float support);

// Brings any index into 0..size-1 by mirroring: -1 -> 1 on the left, size -> size-1 on
// the right, repeated for sources narrower than the filter's reach.
inline int ReflectIndex(int j, int size)
{
    if (j >= 0 && j < size)
        return j;
    const int period = 2 * size - 1;
    int m = j % period;
    if (m < 0)
        m += period;
    return m < size ? m : period - m;
}

// Clamp to 0..255 (NaN gives 0), round half to even.
inline std::uint8_t ScalarToByte(float sum)
{
    if (sum > 255.0f)
        return 255;
    if (sum >= 0.0f)
        return static_cast<std::uint8_t>(std::nearbyint(sum));
    return 0;
}

struct ResizeOptions {
    bool allowSimd = true; // use the vector kernels (the best this processor has)
    int threads = 0;       // 0: one per core for large pictures, one for small ones
};

// FilteredResize with the kernel and thread choice made by the caller. Every choice
// gives the same bytes.
void FilteredResizeWith(const Picture& source, Picture& dest, FilterFunction filter, float support,
                        const ResizeOptions& options);

// The instruction sets the vector kernels were built for that this processor runs, best
// first. Forcing one (0 lifts the restriction) is for tests and benchmarks: it holds for
// the whole process.
std::vector<std::int64_t> ResizeSimdTargets();
void ForceResizeSimdTarget(std::int64_t target);
const char* ResizeSimdTargetName(std::int64_t target);

// The intermediate picture: dest width x source height, rows padded with zeros to a
// multiple of kInterAlign bytes so the vector kernels may read whole blocks.
struct InterImage {
    std::uint8_t* data;
    std::ptrdiff_t stride;
    int widthBytes; // 3 * dest width
};
inline constexpr std::ptrdiff_t kInterAlign = 64;

// Rows per block of the vector horizontal pass.
inline constexpr int kRowBlock = 8;
// Alignment the horizontal pass gives its float lanes inside the buffer it is handed.
inline constexpr std::uintptr_t kLanesAlign = 64;

// Horizontal pass over source rows [rowBegin, rowEnd).
void HorizontalPassScalar(const Picture& source, std::span<const ContributorList> columns,
                          const InterImage& inter, int rowBegin, int rowEnd);
// Vertical pass producing destination rows [rowBegin, rowEnd).
void VerticalPassScalar(const InterImage& inter, std::span<const ContributorList> rows,
                        Picture& dest, int rowBegin, int rowEnd);

// Vector kernels. The horizontal one takes row
// blocks [blockBegin, blockEnd) of kRowBlock rows and two work buffers of
// HorizontalLanesSize / HorizontalPackedSize elements.
std::size_t HorizontalLanesSize(int sourceWidth);
std::size_t HorizontalPackedSize(const InterImage& inter);
void HorizontalPassSimd(const Picture& source, std::span<const ContributorList> columns,
                        const InterImage& inter, int blockBegin, int blockEnd, float* lanes,
                        std::uint8_t* packed);
// The vertical one takes a work buffer of VerticalStripSize elements.
std::size_t VerticalStripSize(int sourceHeight);
void VerticalPassSimd(const InterImage& inter, std::span<const ContributorList> rows, Picture& dest,
                      int rowBegin, int rowEnd, float* strip);
