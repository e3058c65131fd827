#pragma once

#include "canvas.h"
#include "document/menudocument.h"
#include "luminance.h"

#include <string>
#include <vector>

class ScaledPictureCache;

// What the composer drew where, so that button masks, checks and the preview share the
// composer's own arithmetic instead of repeating it. Coordinates are the target's.
enum class MenuField {
    Title,
    Subtitle,
    Footnote,
    Caption, // an item's caption, grid or list
};

struct DrawnText {
    MenuField field;
    int item = 0; // 1..10 for captions, 0 otherwise
    std::string text;
    Rect box;       // the text cell: advance width x cell height, at its drawn place
    int cellHeight; // the font's cell height in pixels
    // The luminance of what lies behind the cell before the text (and its shadow) is
    // drawn; all zero when the canvas cannot show its pixels.
    LuminanceHistogram backdrop{};
};

struct DrawnItem {
    int item = 0;   // 1..10
    int row = 0;    // 0-based row of the grid or line of the list
    int column = 0; // 0-based column in its row (always 0 in the list)
    Rect frame;     // grid: the outer thumbnail frame; list: empty
    Rect caption;   // the caption's text cell
    Rect button;    // the union of frame and caption: the item's button area
};

// The page buttons of a menu drawn as one of several pages.
enum class PageButton {
    Previous,
    Next,
};

struct DrawnPageButton {
    PageButton which;
    DrawnText label; // its text, drawn like a caption
};

struct MenuGeometry {
    int width = 0; // in 4:3 and 16:9 the display canvas, not the squeezed frame
    int height = 0;
    bool grid = false; // thumbnails in a grid, or the text list
    std::vector<DrawnText> texts;
    std::vector<DrawnItem> items;
    std::vector<DrawnPageButton> pageButtons; // empty on a single page
};

// Composes the whole menu onto `target` at the target's own size. `filtered` selects
// the Lanczos3 rescaler for pictures instead of the nearest-neighbour stretch;
// `scratch` is the work picture the rescaler writes into. With a `cache`, filtered
// rescales are taken from it instead of being computed again on every drawing; the
// drawing is identical. Does nothing while the document's RenderEnabled is false.
// Failures propagate to the caller. With `geometry`, it is filled with what was drawn
// where (also when nothing is drawn: then it is left empty). With "Fit text" a line
// wider than the title-safe area of the document's safe-area set (a grid caption: wider
// than its thumbnail column) is drawn in a smaller font, never a larger one. With
// "Keep inside title-safe" the whole menu is laid out in that title-safe rectangle as if
// it were the frame; the background still fills the frame.
void DrawMenu(const MenuDocument& doc, Canvas& target, Picture& scratch, bool filtered,
              ScaledPictureCache* cache = nullptr, MenuGeometry* geometry = nullptr);

// The full-size export image (ImageWidth x ImageHeight), always filtered. In "4:3" and
// "16:9" the menu is laid out on the square-pixel display canvas (DisplayWidth x
// ImageHeight) and squeezed horizontally to the frame with FilteredResize; `geometry`
// then holds display-canvas coordinates. "TV-safe output" is applied last. A `cache`
// lets menus made one after another share rescales of the same pictures.
Picture ComposeMenuImage(const MenuDocument& doc, Picture& scratch,
                         MenuGeometry* geometry = nullptr, ScaledPictureCache* cache = nullptr);
