#include "scaledpicturecache.h"

#include "resample/filteredresize.h"

#include <algorithm>

void ScaledPictureCache::beginDrawing()
{
    ++m_drawing;
    std::erase_if(m_entries, [this](const Entry& e) { return m_drawing - e.lastUse > 2; });
}

const Picture& ScaledPictureCache::scaled(const Picture& source, int width, int height)
{
    auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) {
        return e.key == &source && e.scaled.width() == width && e.scaled.height() == height;
    });
    if (it != m_entries.end() && it->source.samePixels(source)) {
        it->lastUse = m_drawing;
        return it->scaled;
    }
    // Built aside so that a failed rescale leaves no half-written entry behind.
    Entry entry;
    entry.key = &source;
    entry.lastUse = m_drawing;
    entry.scaled.reset(width, height);
    FilteredResize(source, entry.scaled, Lanczos3Filter, 3.0f);
    entry.source = source;
    if (it != m_entries.end()) {
        *it = std::move(entry);
        return it->scaled;
    }
    m_entries.push_back(std::move(entry));
    return m_entries.back().scaled;
}

void ScaledPictureCache::clear()
{
    m_entries.clear();
}
