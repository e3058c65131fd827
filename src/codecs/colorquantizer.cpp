#include "colorquantizer.h"

TColorQuantizer::TColorQuantizer(int maxColors) : m_maxColors(maxColors)
{
    m_reducible.fill(-1);
    m_nodes.reserve(2048);
}

std::int32_t TColorQuantizer::newNode(int depth)
{
    std::int32_t index;
    if (!m_free.empty()) {
        index = m_free.back();
        m_free.pop_back();
        m_nodes[index] = TOctreeNode{};
    } else {
        index = static_cast<std::int32_t>(m_nodes.size());
        m_nodes.emplace_back();
    }
    TOctreeNode& node = m_nodes[index];
    node.child.fill(-1);
    if (depth == kDepth) {
        node.leaf = true;
        ++m_leafCount;
    } else {
        node.nextReducible = m_reducible[depth];
        m_reducible[depth] = index;
    }
    return index;
}

void TColorQuantizer::freeNode(std::int32_t node)
{
    m_free.push_back(node);
}

void TColorQuantizer::addColor(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    const std::uint32_t key = 0x1000000u | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | b;
    std::int32_t node;
    if (key == m_lastColor && m_lastLeaf >= 0) {
        node = m_lastLeaf;
    } else {
        if (m_root < 0)
            m_root = newNode(0);
        node = m_root;
        for (int depth = 0; !m_nodes[node].leaf; ++depth) {
            const int shift = 7 - depth;
            const int slot =
                (((r >> shift) & 1) << 2) | (((g >> shift) & 1) << 1) | ((b >> shift) & 1);
            std::int32_t next = m_nodes[node].child[slot];
            if (next < 0) {
                next = newNode(depth + 1); // may move the pool: index again below
                m_nodes[node].child[slot] = next;
            }
            node = next;
        }
        m_lastColor = key;
        m_lastLeaf = node;
    }
    TOctreeNode& leaf = m_nodes[node];
    ++leaf.count;
    leaf.red += r;
    leaf.green += g;
    leaf.blue += b;
    while (m_leafCount > m_maxColors)
        reduce();
}

void TColorQuantizer::reduce()
{
    int depth = kDepth - 1;
    while (depth > 0 && m_reducible[depth] < 0)
        --depth;
    const std::int32_t index = m_reducible[depth];
    if (index < 0)
        return; // an empty tree has nothing to merge
    TOctreeNode& node = m_nodes[index];
    m_reducible[depth] = node.nextReducible;
    node.nextReducible = -1;
    int children = 0;
    for (std::int32_t& child : node.child) {
        if (child < 0)
            continue;
        // Deeper lists are empty, so every child is a leaf.
        const TOctreeNode& c = m_nodes[child];
        node.count += c.count;
        node.red += c.red;
        node.green += c.green;
        node.blue += c.blue;
        freeNode(child);
        child = -1;
        ++children;
    }
    node.leaf = true;
    m_leafCount -= children - 1;
    m_lastLeaf = -1;
}

void TColorQuantizer::addImage(const ImageView& image)
{
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* p = image.data + y * image.stride;
        for (int x = 0; x < image.width; ++x, p += 3)
            addColor(p[0], p[1], p[2]);
    }
}

void TColorQuantizer::collect(std::int32_t index, std::vector<GifRgb>& out) const
{
    const TOctreeNode& node = m_nodes[index];
    if (node.leaf) {
        GifRgb c;
        if (node.count > 0) {
            c.r = static_cast<std::uint8_t>(node.red / node.count);
            c.g = static_cast<std::uint8_t>(node.green / node.count);
            c.b = static_cast<std::uint8_t>(node.blue / node.count);
        }
        out.push_back(c);
        return;
    }
    for (std::int32_t child : node.child)
        if (child >= 0)
            collect(child, out);
}

std::vector<GifRgb> TColorQuantizer::palette() const
{
    std::vector<GifRgb> out;
    if (m_root >= 0)
        collect(m_root, out);
    return out;
}
