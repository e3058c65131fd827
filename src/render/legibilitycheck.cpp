#include "legibilitycheck.h"

#include "gamut.h"
#include "luminance.h"
#include "safearea.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

// A text cell this many 576ths of the frame high or less is hard to read on a TV
// (18 lines of a 576-line frame, 15 of a 480-line one).
constexpr int kMinCellLines = 18;
constexpr double kMinContrast = 3.0;
// Text fails when more than this share of what lies behind it is too close in luminance.
constexpr double kLowContrastShare = 0.25;
// Saturated areas count when a block is nearly all outside the gamut and such blocks
// make up this share of the picture.
constexpr double kSaturatedBlockFill = 0.9;
constexpr double kSaturatedShare = 0.01;
// One-pixel lines: a row this different from the rows above and below, which match.
constexpr int kLineEdge = 48;
constexpr int kLineSameness = 24;

bool isEmpty(const Rect& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

bool intersects(const Rect& a, const Rect& b)
{
    return !isEmpty(a) && !isEmpty(b) && a.left < b.right && b.left < a.right && a.top < b.bottom &&
           b.top < a.bottom;
}

bool contains(const Rect& outer, const Rect& inner)
{
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

// "1, 5, 6 and 10"
std::string listText(const std::vector<std::string>& labels)
{
    std::string out;
    for (std::size_t i = 0; i < labels.size(); ++i)
        out += (i == 0 ? "" : i + 1 == labels.size() ? " and " : ", ") + labels[i];
    return out;
}

// The everyday name of a saturated colour, from its hue.
std::string colourName(double r, double g, double b)
{
    const double hi = std::max({r, g, b});
    const double span = hi - std::min({r, g, b});
    if (span <= 0)
        return "colour";
    double hue = hi == r   ? 60 * (g - b) / span
                 : hi == g ? 120 + 60 * (b - r) / span
                           : 240 + 60 * (r - g) / span;
    if (hue < 0)
        hue += 360;
    struct Band {
        double below;
        const char* name;
    };
    static constexpr Band kBands[] = {{15, "red"},     {45, "orange"},   {70, "yellow"},
                                      {160, "green"},  {195, "cyan"},    {255, "blue"},
                                      {290, "purple"}, {335, "magenta"}, {361, "red"}};
    for (const Band& band : kBands)
        if (hue < band.below)
            return band.name;
    return "red";
}

std::string ratioText(double ratio)
{
    const int tenths = static_cast<int>(ratio * 10 + 0.5);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + ":1";
}

class Checker {
public:
    Checker(const MenuDocument& doc, const MenuGeometry& geometry, const Picture& picture)
        : m_doc(doc), m_geometry(geometry), m_picture(picture)
    {
    }

    std::vector<LegibilityWarning> run()
    {
        if (m_geometry.width > 0 && m_geometry.height > 0) {
            checkPlacement();
            checkItemPlacement();
            checkOverlaps();
            checkSizes();
            checkContrast();
            flushCaptionGroups();
        }
        if (m_picture.width() > 2 && m_picture.height() > 2) {
            checkSaturation();
            checkThinLines();
        }
        return std::move(m_warnings);
    }

private:
    std::string itemLabel(int item) const { return std::to_string(m_doc.menustart + item - 1); }

    std::string nameOf(const DrawnText& text) const
    {
        switch (text.field) {
        case MenuField::Title:
            return "The title";
        case MenuField::Subtitle:
            return "The subtitle";
        case MenuField::Footnote:
            return "The footnote";
        case MenuField::Caption:
            break;
        }
        return "The caption of item " + itemLabel(text.item);
    }

    // Captions that share a fault and its details make one warning, not ten.
    void warn(LegibilityFault fault, const DrawnText& text, const std::string& what)
    {
        if (text.field == MenuField::Caption) {
            for (CaptionGroup& group : m_captionGroups)
                if (group.fault == fault && group.what == what) {
                    group.items.push_back(text.item);
                    return;
                }
            m_captionGroups.push_back({fault, what, {text.item}});
            return;
        }
        m_warnings.push_back({fault, true, text.field, text.item, nameOf(text) + " " + what});
    }

    void flushCaptionGroups()
    {
        for (const CaptionGroup& group : m_captionGroups) {
            std::string name = "The caption of item " + itemLabel(group.items.front());
            if (group.items.size() > 1) {
                std::vector<std::string> labels;
                for (const int item : group.items)
                    labels.push_back(itemLabel(item));
                name = "The captions of items " + listText(labels);
                // "is" becomes "are" for several.
                std::string what = group.what;
                if (what.starts_with("is "))
                    what = "are " + what.substr(3);
                else if (what.starts_with("has "))
                    what = "have " + what.substr(4);
                if (const auto it = what.find(" behind it"); it != std::string::npos)
                    what.replace(it, 10, " behind them");
                else if (what.starts_with("reaches "))
                    what = "reach " + what.substr(8);
                m_warnings.push_back({group.fault, true, MenuField::Caption, group.items.front(),
                                      name + " " + what});
                continue;
            }
            m_warnings.push_back({group.fault, true, MenuField::Caption, group.items.front(),
                                  name + " " + group.what});
        }
        m_captionGroups.clear();
    }

    void warnItem(LegibilityFault fault, int item, std::string message)
    {
        m_warnings.push_back({fault, true, MenuField::Caption, item, std::move(message)});
    }

    void warnPicture(LegibilityFault fault, std::string message)
    {
        m_warnings.push_back({fault, false, MenuField::Title, 0, std::move(message)});
    }

    static bool drawn(const DrawnText& text) { return !text.text.empty() && !isEmpty(text.box); }

    void checkPlacement()
    {
        const Rect frame{0, 0, m_geometry.width, m_geometry.height};
        const Rect safe =
            ComputeSafeAreas(m_geometry.width, m_geometry.height, m_doc.safeAreas).title;
        for (const DrawnText& text : m_geometry.texts) {
            if (!drawn(text))
                continue;
            if (!contains(frame, text.box))
                warn(LegibilityFault::CutAtEdge, text, "is cut off at the edge of the picture");
            else if (!contains(safe, text.box))
                warn(LegibilityFault::OutsideTitleSafe, text,
                     "reaches outside the title-safe area; a TV may cut it off");
        }
    }

    void checkOverlaps()
    {
        const std::vector<DrawnItem>& items = m_geometry.items;
        for (std::size_t i = 0; i < items.size(); ++i) {
            for (std::size_t j = 0; j < items.size(); ++j) {
                if (i == j)
                    continue;
                const DrawnItem& a = items[i];
                const DrawnItem& b = items[j];
                if (i < j && intersects(a.caption, b.caption)) {
                    warnItem(LegibilityFault::Overlap, a.item,
                             m_geometry.grid ? "The captions of items " + itemLabel(a.item) +
                                                   " and " + itemLabel(b.item) + " overlap"
                                             : "List lines " + itemLabel(a.item) + " and " +
                                                   itemLabel(b.item) + " overlap");
                }
                // A neighbour's box: its thumbnail with its caption, its button on the disc.
                if (m_geometry.grid && !intersects(a.caption, b.caption) &&
                    intersects(a.caption, b.button))
                    warnItem(LegibilityFault::Overlap, a.item,
                             "The caption of item " + itemLabel(a.item) +
                                 " runs into the box of item " + itemLabel(b.item));
            }
        }
    }

    void checkSizes()
    {
        const int frameLines = m_doc.ImageHeight > 0 ? m_doc.ImageHeight : m_geometry.height;
        for (const DrawnText& text : m_geometry.texts) {
            if (!drawn(text))
                continue;
            // cell / height < 18 / 576, whatever the scale of this composition.
            if (static_cast<long long>(text.cellHeight) * 576 >=
                static_cast<long long>(kMinCellLines) * m_geometry.height)
                continue;
            const long long lines =
                (static_cast<long long>(text.cellHeight) * frameLines + m_geometry.height / 2) /
                m_geometry.height;
            const long long needed = (kMinCellLines * frameLines + 575) / 576;
            warn(LegibilityFault::TooSmall, text,
                 "is too small to read on a TV: " + std::to_string(lines) + " lines high, " +
                     std::to_string(needed) + " or more wanted");
        }
    }

    void checkContrast()
    {
        // The glyphs' fill against what lies around them: the shadow is one pixel wide,
        // too thin to carry faint text on a TV, so it does not count.
        const double textLuminance = RelativeLuminance(m_doc.textcolor);
        for (const DrawnText& text : m_geometry.texts) {
            if (!drawn(text))
                continue;
            // Contrast per backdrop bin.
            std::vector<std::pair<double, std::uint32_t>> bins;
            std::uint64_t total = 0;
            for (int b = 0; b < kLuminanceBins; ++b) {
                const std::uint32_t count = text.backdrop[static_cast<std::size_t>(b)];
                if (count == 0)
                    continue;
                const double ratio = ContrastRatio(textLuminance, BinLuminance(b));
                bins.emplace_back(ratio, count);
                total += count;
            }
            if (total == 0)
                continue;
            std::sort(bins.begin(), bins.end());
            std::uint64_t low = 0;
            for (const auto& [ratio, count] : bins)
                if (ratio < kMinContrast)
                    low += count;
            if (static_cast<double>(low) <= kLowContrastShare * static_cast<double>(total))
                continue;
            // The contrast that a quarter of the backdrop stays under.
            std::uint64_t seen = 0;
            double quartile = bins.front().first;
            for (const auto& [ratio, count] : bins) {
                seen += count;
                quartile = ratio;
                if (static_cast<double>(seen) >= kLowContrastShare * static_cast<double>(total))
                    break;
            }
            warn(LegibilityFault::LowContrast, text,
                 "has too little contrast against what lies behind it: " + ratioText(quartile) +
                     ", 3:1 or more wanted");
        }
    }

    // A thumbnail frame, and the button highlighted around it, may reach further out
    // than text: to action-safe. (A list's buttons are its lines, checked as text.)
    void checkItemPlacement()
    {
        if (!m_geometry.grid)
            return;
        const Rect action =
            ComputeSafeAreas(m_geometry.width, m_geometry.height, m_doc.safeAreas).action;
        std::vector<std::string> outside;
        int first = 0;
        for (const DrawnItem& item : m_geometry.items) {
            if (isEmpty(item.frame) || contains(action, item.frame))
                continue;
            if (outside.empty())
                first = item.item;
            outside.push_back(itemLabel(item.item));
        }
        if (outside.empty())
            return;
        const bool one = outside.size() == 1;
        warnItem(LegibilityFault::OutsideActionSafe, first,
                 (one ? "The thumbnail frame of item " : "The thumbnail frames of items ") +
                     listText(outside) + (one ? " reaches" : " reach") +
                     " outside the action-safe area; a TV may cut " + (one ? "it" : "them") +
                     " and " + (one ? "its button" : "their buttons") +
                     " off (Keep inside title-safe lays the menu out inside it)");
    }

    // Where in the composition a picture position lies, for naming what is saturated:
    // 0 the background, 1..10 an item's thumbnail, kTextRegion the text.
    static constexpr int kTextRegion = kItemCount + 1;
    int regionAt(int px, int py) const
    {
        // The geometry may be the display canvas of a squeezed frame.
        const long long x = static_cast<long long>(px) * m_geometry.width / m_picture.width();
        const long long y = static_cast<long long>(py) * m_geometry.height / m_picture.height();
        const auto inside = [&](const Rect& r) {
            return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
        };
        for (const DrawnText& text : m_geometry.texts)
            if (drawn(text) && inside(text.box))
                return kTextRegion;
        for (const DrawnItem& item : m_geometry.items)
            if (m_geometry.grid && inside(item.frame) && item.item >= 1 &&
                item.item <= kItemCount &&
                m_doc.items[static_cast<std::size_t>(item.item - 1)].source.hasThumbnail())
                return item.item;
        return 0;
    }

    void checkSaturation()
    {
        const int w = m_picture.width();
        const int h = m_picture.height();
        const int block = std::max(4, h / 36);
        struct Region {
            long long area = 0;
            double sum[3] = {0, 0, 0};
        };
        std::vector<Region> regions(kTextRegion + 1);
        for (int top = 0; top < h; top += block) {
            const int bottom = std::min(h, top + block);
            for (int left = 0; left < w; left += block) {
                const int right = std::min(w, left + block);
                int out = 0;
                long long sum[3] = {0, 0, 0};
                for (int y = top; y < bottom; ++y) {
                    const std::uint8_t* p = m_picture.pixel(left, y);
                    for (int x = left; x < right; ++x, p += 3)
                        if (OutsideGamut(p[0], p[1], p[2])) {
                            ++out;
                            for (int c = 0; c < 3; ++c)
                                sum[c] += p[c];
                        }
                }
                const int area = (right - left) * (bottom - top);
                if (out < kSaturatedBlockFill * area)
                    continue;
                const bool located = m_geometry.width > 0 && m_geometry.height > 0;
                Region& region = regions[static_cast<std::size_t>(
                    located ? regionAt((left + right) / 2, (top + bottom) / 2) : 0)];
                region.area += area;
                for (int c = 0; c < 3; ++c)
                    region.sum[c] += static_cast<double>(sum[c]) / out;
            }
        }
        const double all = static_cast<double>(w) * h;
        // Thumbnails of one colour make one warning.
        std::vector<std::pair<std::string, std::vector<std::string>>> thumbnails;
        for (std::size_t i = 0; i < regions.size(); ++i) {
            const Region& region = regions[i];
            if (static_cast<double>(region.area) < kSaturatedShare * all)
                continue;
            const std::string colour = colourName(region.sum[0], region.sum[1], region.sum[2]);
            if (i == 0 || i == kTextRegion) {
                warnPicture(LegibilityFault::TooSaturated,
                            (i == 0 ? "The background's " : "The text's ") + colour +
                                " is too saturated for a TV; TV-safe output tones it down");
                continue;
            }
            auto it = std::find_if(thumbnails.begin(), thumbnails.end(),
                                   [&](const auto& entry) { return entry.first == colour; });
            if (it == thumbnails.end())
                it = thumbnails.insert(thumbnails.end(), {colour, {}});
            it->second.push_back(itemLabel(static_cast<int>(i)));
        }
        for (const auto& [colour, items] : thumbnails)
            warnPicture(LegibilityFault::TooSaturated,
                        "The " + colour +
                            (items.size() == 1 ? " in the thumbnail of item "
                                               : " in the thumbnails of items ") +
                            listText(items) +
                            " is too saturated for a TV; TV-safe output tones it down");
    }

    void checkThinLines()
    {
        const int w = m_picture.width();
        const int h = m_picture.height();
        const int minRun = std::max(8, w / 20);
        const auto differ = [](const std::uint8_t* a, const std::uint8_t* b) {
            return std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
        };
        // A run of minRun contains a pixel at every step-th column: only those are tried,
        // and a hit is measured outwards.
        const int step = std::max(1, minRun / 4);
        for (int y = 1; y + 1 < h; ++y) {
            const std::uint8_t* above = m_picture.row(y - 1);
            const std::uint8_t* row = m_picture.row(y);
            const std::uint8_t* below = m_picture.row(y + 1);
            const auto thin = [&](int x) {
                const std::ptrdiff_t i = 3 * static_cast<std::ptrdiff_t>(x);
                return differ(row + i, above + i) >= kLineEdge &&
                       differ(row + i, below + i) >= kLineEdge &&
                       differ(above + i, below + i) < kLineSameness;
            };
            for (int x = 0; x < w; x += step) {
                if (!thin(x))
                    continue;
                int left = x;
                while (left > 0 && thin(left - 1))
                    --left;
                int right = x + 1;
                while (right < w && thin(right))
                    ++right;
                if (right - left >= minRun) {
                    const int frameLine = static_cast<int>(static_cast<long long>(y) *
                                                           std::max(m_doc.ImageHeight, 1) / h);
                    warnPicture(LegibilityFault::ThinLine,
                                "A horizontal line one pixel thick near line " +
                                    std::to_string(frameLine) +
                                    " will flicker on an interlaced TV");
                    return;
                }
                x = right; // the next try lies past this run
            }
        }
    }

    const MenuDocument& m_doc;
    const MenuGeometry& m_geometry;
    const Picture& m_picture;
    struct CaptionGroup {
        LegibilityFault fault;
        std::string what;
        std::vector<int> items;
    };

    std::vector<LegibilityWarning> m_warnings;
    std::vector<CaptionGroup> m_captionGroups;
};

} // namespace

std::vector<LegibilityWarning> CheckLegibility(const MenuDocument& doc,
                                               const MenuGeometry& geometry, const Picture& picture)
{
    return Checker(doc, geometry, picture).run();
}
