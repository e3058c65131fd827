#include "legibilitycheck.h"

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
// Out-of-range areas count when a block is nearly all out of range and such blocks
// make up this share of the picture.
constexpr double kOutOfRangeBlockFill = 0.9;
constexpr double kOutOfRangeShare = 0.01;
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
            checkOverlaps();
            checkSizes();
            checkContrast();
            flushCaptionGroups();
        }
        if (m_picture.width() > 2 && m_picture.height() > 2) {
            checkBroadcastRange();
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
                name = "The captions of items ";
                for (std::size_t i = 0; i < group.items.size(); ++i)
                    name += (i == 0                        ? ""
                             : i + 1 == group.items.size() ? " and "
                                                           : ", ") +
                            itemLabel(group.items[i]);
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
        const double textLuminance = RelativeLuminance(m_doc.textcolor);
        const double shadowLuminance = RelativeLuminance(m_doc.bgcolor);
        for (const DrawnText& text : m_geometry.texts) {
            if (!drawn(text))
                continue;
            // Contrast per backdrop bin, the shadow standing in where it helps more.
            std::vector<std::pair<double, std::uint32_t>> bins;
            std::uint64_t total = 0;
            for (int b = 0; b < kLuminanceBins; ++b) {
                const std::uint32_t count = text.backdrop[static_cast<std::size_t>(b)];
                if (count == 0)
                    continue;
                double ratio = ContrastRatio(textLuminance, BinLuminance(b));
                if (m_doc.shadowtext)
                    ratio = std::max(ratio, ContrastRatio(textLuminance, shadowLuminance));
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

    void checkBroadcastRange()
    {
        const int w = m_picture.width();
        const int h = m_picture.height();
        const int block = std::max(4, h / 36);
        const int columns = (w + block - 1) / block;
        std::vector<int> counts(static_cast<std::size_t>(columns));
        long long outside = 0;
        long long blockArea = 0;
        for (int top = 0; top < h; top += block) {
            const int bottom = std::min(h, top + block);
            std::fill(counts.begin(), counts.end(), 0);
            for (int y = top; y < bottom; ++y) {
                const std::uint8_t* p = m_picture.row(y);
                for (int c = 0; c < columns; ++c) {
                    const int end = std::min(w, (c + 1) * block);
                    int out = 0;
                    for (int x = c * block; x < end; ++x, p += 3)
                        // Unsigned wrap folds "below 16" and "above 235" into one test.
                        out += static_cast<unsigned>(p[0] - 16) > 219u ||
                               static_cast<unsigned>(p[1] - 16) > 219u ||
                               static_cast<unsigned>(p[2] - 16) > 219u;
                    counts[static_cast<std::size_t>(c)] += out;
                }
            }
            for (int c = 0; c < columns; ++c) {
                const int bw = std::min(w, (c + 1) * block) - c * block;
                const int area = bw * (bottom - top);
                outside += counts[static_cast<std::size_t>(c)];
                if (counts[static_cast<std::size_t>(c)] >= kOutOfRangeBlockFill * area)
                    blockArea += area;
            }
        }
        const double all = static_cast<double>(w) * h;
        if (static_cast<double>(blockArea) < kOutOfRangeShare * all)
            return;
        const long long percent =
            std::max<long long>(1, static_cast<long long>(outside * 100 / all));
        warnPicture(LegibilityFault::OutOfBroadcastRange,
                    std::to_string(percent) +
                        " % of the picture has colours outside the broadcast range 16..235; "
                        "\"TV-safe output\" brings them in");
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
