#include "pagecontrols.h"

#include "drawmenu.h"
#include "layoutmath.h"
#include "safearea.h"

#include <algorithm>
#include <string>

namespace {

// Smallest cell the page row shrinks to when the items leave little room; still
// readable on a TV.
constexpr int kSmallestCell = 16;

struct PageRow {
    int bottom = 0;
    int cell = 0;
    bool besideFootnote = false; // the row shares the footnote's lines
};

// Below the items and above the footnote, shrunk to fit there if need be; where even
// that leaves no room, right under the items on the footnote's lines.
PageRow placeRow(int H, const Rect& safe, int cell, int itemsBottom, const Rect& footnote)
{
    const int gap = roundHalfEven(H * 0.015);
    const bool hasFootnote = footnote.bottom > footnote.top;
    PageRow row{std::min(safe.bottom, hasFootnote ? footnote.top - gap : safe.bottom), cell, false};
    const int top = itemsBottom + gap;
    if (row.bottom - top >= row.cell)
        return row;
    row.cell = std::max(kSmallestCell, row.bottom - top);
    if (row.bottom - top >= row.cell)
        return row;
    row.bottom = std::min(safe.bottom, top + row.cell);
    row.besideFootnote = hasFootnote && row.bottom > footnote.top;
    return row;
}

} // namespace

void DrawPageControls(const MenuDocument& doc, Canvas& target, int itemsBottom,
                      const Rect& footnote, MenuGeometry* geometry)
{
    if (doc.menuPageCount <= 1)
        return;
    const int W = target.width();
    const int H = target.height();
    // The stricter title-safe set, so the buttons stay visible on any TV.
    const Rect safe = ComputeSafeAreas(W, H, SafeAreaSet::Classic).title;
    const int captionCell =
        std::max(2, roundHalfEven(static_cast<double>(static_cast<long long>(H) * doc.captionsize) /
                                  10 * 0.04));
    const PageRow row = placeRow(H, safe, captionCell, itemsBottom, footnote);
    target.selectFont(doc.textfont, row.cell, doc.boldtext);

    const auto draw = [&](const std::string& text, int left, MenuField field) {
        const TextSize size = target.measureText(text);
        const int top = row.bottom - size.height;
        if (doc.shadowtext)
            target.drawText(left + 1, top + 1, text, doc.bgcolor);
        target.drawText(left, top, text, doc.textcolor);
        return DrawnText{field, 0, text, {left, top, left + size.width, row.bottom}, row.cell, {}};
    };

    const int page = std::clamp(doc.menuPage, 1, doc.menuPageCount);
    const bool hasPrevious = page > 1;
    const bool hasNext = page < doc.menuPageCount;
    const TextSize previousSize = target.measureText(kPreviousPageLabel);
    const TextSize nextSize = target.measureText(kNextPageLabel);
    const std::string indicator = std::to_string(page) + " / " + std::to_string(doc.menuPageCount);
    const int indicatorWidth = target.measureText(indicator).width;
    // Centred, unless the footnote is there: then beside a page button.
    int indicatorLeft = halfTowardZero(W - indicatorWidth);
    if (row.besideFootnote)
        indicatorLeft = hasPrevious ? safe.left + previousSize.width + row.cell
                                    : safe.right - nextSize.width - row.cell - indicatorWidth;
    draw(indicator, indicatorLeft, MenuField::Footnote);
    if (hasPrevious) {
        DrawnText label = draw(kPreviousPageLabel, safe.left, MenuField::Caption);
        if (geometry)
            geometry->pageButtons.push_back({PageButton::Previous, std::move(label)});
    }
    if (hasNext) {
        DrawnText label = draw(kNextPageLabel, safe.right - nextSize.width, MenuField::Caption);
        if (geometry)
            geometry->pageButtons.push_back({PageButton::Next, std::move(label)});
    }
}
