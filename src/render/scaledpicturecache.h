#pragma once

#include "base/picture.h"

#include <vector>

// Lanczos3 rescales kept from one drawing to the next, for the "Better quality"
// preview. An entry is reused only when its source has the very same pixels as the
// stored copy, so a cached drawing equals an uncached one. Pictures that no drawing
// asked for in the previous two drawings are dropped. Not thread-safe.
class ScaledPictureCache {
public:
    // Called by DrawMenu at the start of each drawing.
    void beginDrawing();
    // `source` rescaled to width x height (both > 0; source not empty). The reference
    // stays valid until the next call of any member.
    const Picture& scaled(const Picture& source, int width, int height);
    void clear();
    std::size_t size() const { return m_entries.size(); }

private:
    struct Entry {
        const Picture* key = nullptr;
        Picture source;
        Picture scaled;
        unsigned lastUse = 0;
    };
    std::vector<Entry> m_entries;
    unsigned m_drawing = 0;
};
