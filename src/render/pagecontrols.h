#pragma once

#include "canvas.h"
#include "document/menudocument.h"

struct MenuGeometry;

// The labels of the page buttons and the page indicator ("2 / 3").
inline constexpr const char* kPreviousPageLabel = "< Previous";
inline constexpr const char* kNextPageLabel = "Next >";

// On a menu that is one of several pages (doc.menuPageCount > 1): "Previous" at the
// left and "Next" at the right of one row, with the page indicator between them, in the
// caption font and colour, inside the classic title-safe area, below `itemsBottom` (the
// lowest row the items drew) and above the `footnote`'s cell (empty: none) where there
// is room. The first page has no Previous, the last no Next. Draws nothing on a single
// page. The buttons are added to `geometry` when given.
void DrawPageControls(const MenuDocument& doc, Canvas& target, int itemsBottom,
                      const Rect& footnote, MenuGeometry* geometry);
