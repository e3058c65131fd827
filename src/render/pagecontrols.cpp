#include "pagecontrols.h"

#include "drawmenu.h"
#include "layoutmath.h"
#include "safearea.h"

#include <algorithm>
#include <string>

void DrawPageControls(const MenuDocument& doc, Canvas& target, int footnoteTop,
                      MenuGeometry* geometry)
{
    if (doc.menuPageCount <= 1)
        return;
    const int W = target.width();
    const int H = target.height();
    // The stricter title-safe set, so the buttons stay visible on any TV.
    const Rect safe = ComputeSafeAreas(W, H, SafeAreaSet::Classic).title;
    const int cell =
        std::max(2, roundHalfEven(static_cast<double>(static_cast<long long>(H) * doc.captionsize) /
                                  10 * 0.04));
    target.selectFont(doc.textfont, cell, doc.boldtext);
    // Clear of the footnote by a little more than the highlight's padding.
    const int bottom = std::min(safe.bottom, footnoteTop - roundHalfEven(H * 0.015));

    const auto draw = [&](const std::string& text, int x, MenuField field) {
        const TextSize size = target.measureText(text);
        const int left = x < 0 ? -x - size.width : x; // a negative x right-aligns at -x
        const int top = bottom - size.height;
        if (doc.shadowtext)
            target.drawText(left + 1, top + 1, text, doc.bgcolor);
        target.drawText(left, top, text, doc.textcolor);
        return DrawnText{field, 0, text, {left, top, left + size.width, bottom}, cell, {}};
    };

    const int page = std::clamp(doc.menuPage, 1, doc.menuPageCount);
    const std::string indicator =
        std::to_string(page) + " / " + std::to_string(doc.menuPageCount);
    const TextSize indicatorSize = target.measureText(indicator);
    draw(indicator, halfTowardZero(W - indicatorSize.width), MenuField::Footnote);
    if (page > 1) {
        DrawnText label = draw(kPreviousPageLabel, safe.left, MenuField::Caption);
        if (geometry)
            geometry->pageButtons.push_back({PageButton::Previous, std::move(label)});
    }
    if (page < doc.menuPageCount) {
        DrawnText label = draw(kNextPageLabel, -safe.right, MenuField::Caption);
        if (geometry)
            geometry->pageButtons.push_back({PageButton::Next, std::move(label)});
    }
}
