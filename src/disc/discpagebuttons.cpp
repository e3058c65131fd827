#include "discpagebuttons.h"

#include <algorithm>

namespace {

DiscButton* findButton(std::vector<DiscButton>& buttons, int item)
{
    const auto it = std::find_if(buttons.begin(), buttons.end(),
                                 [item](const DiscButton& b) { return b.item == item; });
    return it == buttons.end() ? nullptr : &*it;
}

} // namespace

std::vector<DiscButton> LayoutMenuButtons(MenuGeometry& geometry)
{
    int row = 0;
    for (const DrawnItem& item : geometry.items)
        row = std::max(row, item.row + 1);
    int column = 0;
    for (const DrawnPageButton& page : geometry.pageButtons) {
        DrawnText label = page.label;
        label.item = page.which == PageButton::Previous ? kPreviousPageItem : kNextPageItem;
        label.field = MenuField::Caption;
        geometry.items.push_back({label.item, row, column++, label.box, label.box, label.box});
        geometry.texts.push_back(std::move(label));
    }

    std::vector<DiscButton> buttons = LayoutDiscButtons(geometry);
    DiscButton* previous = findButton(buttons, kPreviousPageItem);
    DiscButton* next = findButton(buttons, kNextPageItem);
    if (previous)
        previous->name = "prev";
    if (next)
        next->name = "next";
    // The text list links only up and down; the page row also goes sideways.
    if (previous && next) {
        previous->right = kNextPageItem;
        next->left = kPreviousPageItem;
    }
    return buttons;
}
