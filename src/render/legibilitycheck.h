#pragma once

#include "drawmenu.h"

#include <string>
#include <vector>

// What will go wrong on a TV, found in a composition: text outside title-safe or cut at
// the frame's edge, thumbnail frames and buttons outside action-safe, overlapping
// captions or list lines, text too small or too faint for its backdrop, colours too
// saturated for a TV, one-pixel horizontal lines.
enum class LegibilityFault {
    OutsideTitleSafe,
    OutsideActionSafe, // an item's thumbnail frame or button
    CutAtEdge,
    Overlap,
    TooSmall,
    LowContrast,
    TooSaturated,
    ThinLine,
};

struct LegibilityWarning {
    LegibilityFault fault;
    // The field concerned (a caption with `item` 1..10), or none for the picture as a whole.
    bool hasField = false;
    MenuField field = MenuField::Title;
    int item = 0;
    std::string message; // one line, without "warning: "
};

// Checks a composition: `geometry` as DrawMenu filled it (the document's own size or a
// preview of it, any scale) and `picture` the composed pixels (the frame, or the
// preview). Safe areas follow the document's safe-area set. Never throws for any
// geometry or picture size.
std::vector<LegibilityWarning>
CheckLegibility(const MenuDocument& doc, const MenuGeometry& geometry, const Picture& picture);
