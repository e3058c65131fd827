#pragma once

#include "discbuttons.h"

#include <cstdint>
#include <string>
#include <vector>

// One button mask: an index per pixel, 0 transparent and 1 the mask's colour. Drawn
// without anti-aliasing, so a player's four-colour subpicture shows it exactly.
struct DiscMask {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> index; // width * height, rows top-down

    bool set(int x, int y) const
    {
        return index[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x)] != 0;
    }
};

// The highlight shape of every button in `doc.buttonstyle`, at the geometry's size and
// in its coordinates, each shape clipped to its own button's box. The text style draws
// the captions again with the composer's font (needs a QGuiApplication). Throws Failure
// naming the items when a button would light nothing or miss most of its thumbnail.
DiscMask DrawDiscMask(const MenuDocument& doc, const MenuGeometry& geometry,
                      const std::vector<DiscButton>& buttons);

// What a disc menu of this document will not show, to tell the user: no highlight at all
// (style none), or none on items without a caption to mark; empty when fine.
std::string DiscButtonStyleWarning(const MenuDocument& doc);

// Squeezes a mask laid out on a display canvas to the frame's `width` (nearest
// neighbour, so it keeps its two values) and moves the buttons' x the same way.
// Nothing changes when the widths are equal.
void SqueezeToFrame(DiscMask& mask, std::vector<DiscButton>& buttons, int width);

// The letterbox view of a 16:9 menu on a 4:3 screen: everything at 3/4 of its height,
// moved down by an eighth of the frame (y' = 0.75 y + H/8), button rows kept even and
// every bar of a mask at least two rows tall from an even row.
void ToLetterbox(DiscMask& mask, std::vector<DiscButton>& buttons);

// Paints `color` over `picture` wherever the mask is set (the preview of a highlight);
// the two must be the same size.
void PaintMask(Picture& picture, const DiscMask& mask, Color color);
