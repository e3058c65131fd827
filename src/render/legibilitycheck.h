#pragma once

#include "drawmenu.h"

#include <string>
#include <vector>

// What will go wrong on a TV, found in a composition: text outside title-safe or cut at
// the frame's edge, overlapping captions or list lines, text too small or too faint for
// its backdrop, colours outside the broadcast range, one-pixel horizontal lines.
enum class LegibilityFault {
    OutsideTitleSafe,
    CutAtEdge,
    Overlap,
    TooSmall,
    LowContrast,
    OutOfBroadcastRange,
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
