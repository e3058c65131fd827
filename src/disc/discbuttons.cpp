#include "discbuttons.h"

#include "base/failure.h"
#include <algorithm>
#include <cstdlib>
#include <limits>

#include <stdexcept>

namespace {

int evenDown(int v)
{
    return v - (v & 1);
}

int evenUp(int v)
{
    return v + (v & 1);
}

bool emptyRect(const Rect& r)
{
    return r.right - r.left < 2 || r.bottom - r.top < 2;
}

// A player takes a button's end coordinates as its last pixels, one more than the box
// holds: neighbours must leave this gap (even, so rows keep to the fields) or they share
// a line, and a highlight bleeds into the next button.
constexpr int kGap = 2;

bool tooClose(const Rect& a, const Rect& b)
{
    return a.left < b.right + kGap && b.left < a.right + kGap && a.top < b.bottom + kGap &&
           b.top < a.bottom + kGap;
}

// Cuts two buttons apart along the axis where they reach less into each other, so each
// keeps most of its own area; a horizontal cut falls on even rows.
void split(Rect& a, Rect& b)
{
    const int ox = std::min(a.right, b.right) + kGap - std::max(a.left, b.left);
    const int oy = std::min(a.bottom, b.bottom) + kGap - std::max(a.top, b.top);
    if (ox < oy) {
        const int mid = (std::max(a.left, b.left) + std::min(a.right, b.right)) / 2;
        Rect& first = (a.left + a.right <= b.left + b.right) ? a : b;
        Rect& second = (&first == &a) ? b : a;
        first.right = std::min(first.right, mid - kGap / 2);
        second.left = std::max(second.left, mid + kGap / 2);
    } else {
        const int mid = evenDown((std::max(a.top, b.top) + std::min(a.bottom, b.bottom)) / 2);
        Rect& upper = (a.top + a.bottom <= b.top + b.bottom) ? a : b;
        Rect& lower = (&upper == &a) ? b : a;
        upper.bottom = std::min(upper.bottom, mid);
        lower.top = std::max(lower.top, mid + kGap);
    }
}

int centreX(const Rect& r)
{
    return (r.left + r.right) / 2;
}

// The button in `row` whose centre lies nearest to `x`; 0 when the row is empty.
int nearestInRow(const std::vector<DiscButton>& buttons, const std::vector<DrawnItem>& items,
                 int row, int x)
{
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].row != row)
            continue;
        const int distance = std::abs(centreX(buttons[i].box) - x);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = buttons[i].item;
        }
    }
    return best;
}

} // namespace

bool Overlaps(const Rect& a, const Rect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

void KeepButtonsApart(std::vector<DiscButton>& buttons, int width, int height)
{
    if (buttons.empty())
        return;
    if (width < 4 || height < 4)
        throw Failure("The menu is too small for buttons");
    // The last pixel a player lights is the box's end: it must lie inside the picture.
    const int right = std::max(2, width - kGap);
    const int bottom = std::max(2, evenDown(height) - kGap);
    for (DiscButton& b : buttons) {
        b.box.left = std::clamp(b.box.left, 0, right - 2);
        b.box.top = std::clamp(evenDown(b.box.top), 0, bottom - 2);
        b.box.right = std::clamp(b.box.right, b.box.left + 2, right);
        b.box.bottom = std::clamp(evenUp(b.box.bottom), b.box.top + 2, bottom);
    }
    // Each cut parts a pair for good and only shrinks boxes, so a pass over all pairs per
    // button is enough.
    for (std::size_t pass = 0; pass <= buttons.size(); ++pass) {
        bool changed = false;
        for (std::size_t i = 0; i < buttons.size(); ++i)
            for (std::size_t j = i + 1; j < buttons.size(); ++j)
                if (tooClose(buttons[i].box, buttons[j].box)) {
                    split(buttons[i].box, buttons[j].box);
                    changed = true;
                }
        if (!changed)
            break;
    }
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (emptyRect(buttons[i].box))
            throw Failure("Button " + buttons[i].name + " has no room of its own on the menu");
        for (std::size_t j = i + 1; j < buttons.size(); ++j)
            if (tooClose(buttons[i].box, buttons[j].box))
                throw Failure("Buttons " + buttons[i].name + " and " + buttons[j].name +
                              " overlap");
    }
}

std::vector<DiscButton> LayoutDiscButtons(const MenuGeometry& geometry)
{
    const int W = geometry.width;
    const int H = evenDown(geometry.height);
    std::vector<DiscButton> buttons;
    for (const DrawnItem& item : geometry.items) {
        DiscButton b;
        b.item = item.item;
        b.name = std::to_string(item.item);
        b.name.insert(b.name.begin(), 'b');
        const Rect& a = item.button;
        b.box = {a.left - kButtonPadding, evenDown(a.top - kButtonPadding),
                 a.right + kButtonPadding, evenUp(a.bottom + kButtonPadding)};
        buttons.push_back(std::move(b));
    }

    KeepButtonsApart(buttons, W, H);

    const std::vector<DrawnItem>& items = geometry.items;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        DiscButton& b = buttons[i];
        const DrawnItem& item = items[i];
        const int x = centreX(b.box);
        b.up = nearestInRow(buttons, items, item.row - 1, x);
        b.down = nearestInRow(buttons, items, item.row + 1, x);
        if (!geometry.grid)
            continue;
        for (std::size_t j = 0; j < items.size(); ++j) {
            if (items[j].row != item.row)
                continue;
            if (items[j].column == item.column - 1)
                b.left = buttons[j].item;
            if (items[j].column == item.column + 1)
                b.right = buttons[j].item;
        }
    }
    return buttons;
}
