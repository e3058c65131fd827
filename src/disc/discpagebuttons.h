#pragma once

#include "discbuttons.h"

// Item numbers the page buttons take among a menu's buttons.
constexpr int kPreviousPageItem = 11;
constexpr int kNextPageItem = 12;

// The buttons of a menu: one per item as LayoutDiscButtons makes them, then Previous and
// Next when the menu is one page of several. The page buttons join `geometry` as items
// on a row below the others (their labels as captions), so the masks draw them in the
// button style like any caption; they are named "prev" and "next" and linked to each
// other and to the nearest items above. Throws as LayoutDiscButtons does.
std::vector<DiscButton> LayoutMenuButtons(MenuGeometry& geometry);
