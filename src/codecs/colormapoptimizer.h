#pragma once

#include "colorquantizer.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

struct THistogram {
    std::uint64_t count = 0; // 64-bit: the merge of equal colours adds counts
    std::uint32_t oldIndex = 0;
    std::uint32_t newIndex = 256;
    GifRgb color;
    THistogram* target = nullptr; // the survivor a duplicate colour was merged into

    std::uint32_t colorValue() const { return color.r + 256u * color.g + 65536u * color.b; }
};

// The in-place quicksort that orders the colour table; it is not stable, and the
// order it leaves equal keys in decides the bytes of the file, so it is kept as is.
// `before(a, b)` is true when a belongs in front of b.
template <typename Before>
void sortS(std::span<THistogram*> list, int left, int right, Before before)
{
    int i;
    do {
        i = left;
        int j = right;
        const THistogram* pivot = list[(left + right) / 2];
        do {
            while (before(*list[i], *pivot))
                ++i;
            while (before(*pivot, *list[j]))
                --j;
            if (i <= j) {
                std::swap(list[i], list[j]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (left < j)
            sortS(list, left, j, before);
        left = i;
    } while (i < right);
}

// The colour table after optimisation: only used colours, most frequent first,
// equal colours merged, and the old index -> new index table for the pixels.
struct OptimizedColorMap {
    std::vector<GifRgb> colors;          // f entries, 1..256
    std::array<std::uint8_t, 256> remap; // old index -> new index (unused entries map to 0)
};

class TColorMapOptimizer {
public:
    // Rewrites `indices` (into `palette`) to the optimised table it returns.
    // Throws CodecError for an empty picture.
    static OptimizedColorMap optimize(const std::array<GifRgb, 256>& palette,
                                      std::span<std::uint8_t> indices);
};
