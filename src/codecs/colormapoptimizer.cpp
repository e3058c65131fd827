#include "colormapoptimizer.h"

namespace {

bool moreFrequent(const THistogram& a, const THistogram& b)
{
    return a.count > b.count;
}

bool largerColor(const THistogram& a, const THistogram& b)
{
    return a.colorValue() > b.colorValue();
}

} // namespace

OptimizedColorMap TColorMapOptimizer::optimize(const std::array<GifRgb, 256>& palette,
                                               std::span<std::uint8_t> indices)
{
    if (indices.empty())
        throw CodecError("Empty image");

    std::array<THistogram, 256> entries;
    std::array<THistogram*, 256> list;
    for (int i = 0; i < 256; ++i) {
        entries[i].oldIndex = static_cast<std::uint32_t>(i);
        entries[i].color = palette[i];
        list[i] = &entries[i];
    }
    for (std::uint8_t index : indices)
        ++entries[index].count;

    sortS(std::span<THistogram*>(list), 0, 255, moreFrequent);
    int used = 0;
    while (used < 256 && list[used]->count > 0)
        ++used;
    const std::span<THistogram*> usedList(list.data(), static_cast<std::size_t>(used));

    if (used > 1)
        sortS(usedList, 0, used - 1, largerColor);
    THistogram* survivor = usedList[0];
    for (int k = 1; k < used; ++k) {
        THistogram* entry = usedList[k];
        if (entry->color == survivor->color) {
            survivor->count += entry->count;
            entry->count = 0;
            entry->target = survivor;
        } else {
            survivor = entry;
        }
    }

    if (used > 1)
        sortS(usedList, 0, used - 1, moreFrequent);
    OptimizedColorMap result;
    result.remap.fill(0);
    int f = 0;
    while (f < used && usedList[f]->count > 0) {
        usedList[f]->newIndex = static_cast<std::uint32_t>(f);
        result.colors.push_back(usedList[f]->color);
        ++f;
    }
    for (THistogram* entry : usedList)
        if (entry->target)
            entry->newIndex = entry->target->newIndex;
    for (const THistogram& entry : entries)
        if (entry.newIndex < 256)
            result.remap[entry.oldIndex] = static_cast<std::uint8_t>(entry.newIndex);

    for (std::uint8_t& index : indices)
        index = result.remap[index];
    return result;
}
