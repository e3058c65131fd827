#pragma once

#include "render/drawmenu.h"

#include <string>
#include <vector>

// A button of the disc menu, in the coordinates of the geometry it was laid out from.
struct DiscButton {
    int item = 0;     // 1..10
    std::string name; // "b1".."b10": the name spumux and dvdauthor share
    Rect box;         // inside the frame, top and bottom even, overlapping no other button
    // Neighbours' item numbers for the remote's arrows; 0: none (the list has no left or
    // right, and a grid edge keeps the cursor where it is).
    int up = 0;
    int down = 0;
    int left = 0;
    int right = 0;
};

// Room around an item's frame and caption for the highlight drawn around it.
constexpr int kButtonPadding = 4;

// One button per drawn item from the composer's own geometry: the item's button area
// grown by kButtonPadding, then placed by KeepButtonsApart. Throws Failure when two
// buttons cannot be told apart (one inside the other).
std::vector<DiscButton> LayoutDiscButtons(const MenuGeometry& geometry);

// Brings every box inside a picture of `width` x `height` with its last column and row
// (which a player lights too) inside it, top and bottom on even rows, and cuts boxes
// that touch or overlap apart with an even gap between them. Throws Failure when a
// button is left without room of its own.
void KeepButtonsApart(std::vector<DiscButton>& buttons, int width, int height);

// Whether two half-open rectangles share a pixel.
bool Overlaps(const Rect& a, const Rect& b);
