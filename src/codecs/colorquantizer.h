#pragma once

#include "codectypes.h"

#include <array>
#include <cstdint>
#include <vector>

struct GifRgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const GifRgb&, const GifRgb&) = default;
};

// One octree node; children and list links are indices into the quantiser's node pool.
struct TOctreeNode {
    // 64-bit sums: 32-bit ones overflow on pictures of more than 16 million pixels.
    std::uint64_t count = 0;
    std::uint64_t red = 0;
    std::uint64_t green = 0;
    std::uint64_t blue = 0;
    std::array<std::int32_t, 8> child;
    std::int32_t nextReducible = -1;
    bool leaf = false;
};

// Octree colour quantiser that keeps at most `maxColors` leaves by reducing as it
// goes: the newest reducible node of the deepest non-empty depth is merged first.
class TColorQuantizer {
public:
    explicit TColorQuantizer(int maxColors = 236);

    void addColor(std::uint8_t r, std::uint8_t g, std::uint8_t b);
    // Adds every pixel, rows top-down, each left to right.
    void addImage(const ImageView& image);
    // Leaf colours depth-first, children 0..7; at most `maxColors` of them.
    std::vector<GifRgb> palette() const;
    int leafCount() const { return m_leafCount; }

private:
    static constexpr int kDepth = 8;

    std::int32_t newNode(int depth);
    void freeNode(std::int32_t node);
    void reduce();
    void collect(std::int32_t node, std::vector<GifRgb>& out) const;

    std::vector<TOctreeNode> m_nodes;
    std::vector<std::int32_t> m_free;
    std::array<std::int32_t, kDepth> m_reducible;
    std::int32_t m_root = -1;
    int m_leafCount = 0;
    int m_maxColors;
    // The leaf reached by the last colour added, valid until the next reduction:
    // runs of one colour then skip the descent.
    std::int32_t m_lastLeaf = -1;
    std::uint32_t m_lastColor = 0;
};
