#include "discmasks.h"

#include "base/failure.h"
#include "render/picturecanvas.h"

#include <algorithm>
#include <cmath>

namespace {

int evenDown(int v)
{
    return v - (v & 1);
}

// Shapes are drawn only inside their button's box: a player lights a button's pixels
// only there, and spumux refuses masks that reach into a neighbour.
class MaskPainter {
public:
    MaskPainter(DiscMask& mask, const Rect& clip) : m_mask(mask), m_clip(clip) {}

    void fill(const Rect& r)
    {
        const int left = std::max({r.left, m_clip.left, 0});
        const int right = std::min({r.right, m_clip.right, m_mask.width});
        const int top = std::max({r.top, m_clip.top, 0});
        const int bottom = std::min({r.bottom, m_clip.bottom, m_mask.height});
        for (int y = top; y < bottom; ++y)
            std::fill_n(m_mask.index.begin() + static_cast<std::ptrdiff_t>(y) * m_mask.width + left,
                        std::max(0, right - left), std::uint8_t{1});
    }

    // A frame of `thickness` along the inside of `r`; its bars start on even rows. It is
    // closed inside the clip (the button's box, which has even edges): a frame that
    // reached into the gap between buttons would lose the edge the clip cuts off.
    void frame(Rect r, int thickness)
    {
        r = {std::max(r.left, m_clip.left), std::max(r.top, m_clip.top),
             std::min(r.right, m_clip.right), std::min(r.bottom, m_clip.bottom)};
        r.top = evenDown(r.top);
        r.bottom = r.bottom + (r.bottom & 1);
        fill({r.left, r.top, r.right, r.top + thickness});
        fill({r.left, r.bottom - thickness, r.right, r.bottom});
        fill({r.left, r.top, r.left + thickness, r.bottom});
        fill({r.right - thickness, r.top, r.right, r.bottom});
    }

    void set(int x, int y)
    {
        if (x >= std::max(0, m_clip.left) && x < std::min(m_clip.right, m_mask.width) &&
            y >= std::max(0, m_clip.top) && y < std::min(m_clip.bottom, m_mask.height))
            m_mask.index[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_mask.width) +
                         static_cast<std::size_t>(x)] = 1;
    }

private:
    DiscMask& m_mask;
    Rect m_clip;
};

// Bars of about an eighth of the caption's cell, at least 2 rows and always even, so
// both fields of an interlaced frame show them alike.
int barThickness(int cellHeight)
{
    return std::max(2, evenDown(cellHeight / 8));
}

// The caption drawn again with the composer's font, white on black, and cut at half
// intensity: the glyphs' shape without their anti-aliased edge.
void drawCaptionText(MaskPainter& painter, const MenuDocument& doc, const DrawnText& text)
{
    const int width = text.box.right - text.box.left;
    const int height = text.box.bottom - text.box.top;
    if (width <= 0 || height <= 0)
        return;
    // Some glyphs overhang their advance; a margin keeps them whole.
    const int margin = std::max(2, height / 4);
    Picture picture(width + 2 * margin, height + 2 * margin);
    picture.fill(0, 0, 0);
    {
        PictureCanvas canvas(picture);
        canvas.selectFont(doc.textfont, text.cellHeight, doc.boldtext);
        canvas.drawText(margin, margin, text.text, kWhite);
    }
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint8_t* row = picture.row(y);
        for (int x = 0; x < picture.width(); ++x)
            if (row[3 * x + 1] >= 128)
                painter.set(text.box.left - margin + x, text.box.top - margin + y);
    }
}

const DrawnText* captionOf(const MenuGeometry& geometry, int item)
{
    for (const DrawnText& text : geometry.texts)
        if (text.field == MenuField::Caption && text.item == item)
            return &text;
    return nullptr;
}

long long area(const Rect& r)
{
    return r.right > r.left && r.bottom > r.top
               ? static_cast<long long>(r.right - r.left) * (r.bottom - r.top)
               : 0;
}

bool lightsSomething(const DiscMask& mask, const Rect& box)
{
    for (int y = std::max(0, box.top); y < std::min(box.bottom, mask.height); ++y)
        for (int x = std::max(0, box.left); x < std::min(box.right, mask.width); ++x)
            if (mask.set(x, y))
                return true;
    return false;
}

std::string itemList(const MenuDocument& doc, const std::vector<int>& items)
{
    std::string out = items.size() == 1 ? "item " : "items ";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i == 0                  ? ""
                : i + 1 == items.size() ? " and "
                                        : ", ") +
               std::to_string(doc.menustart + items[i] - 1);
    return out;
}

// A button that lights nothing, or that covers less than half of its own thumbnail,
// sends the viewer somewhere they cannot see: such a menu is refused, not written.
void refuseUselessButtons(const MenuDocument& doc, const MenuGeometry& geometry,
                          const std::vector<DiscButton>& buttons, const DiscMask& mask)
{
    std::vector<int> dark;
    std::vector<int> astray;
    for (const DiscButton& button : buttons) {
        // A button without a caption to mark is warned of instead (DiscButtonStyleWarning).
        const DrawnText* text = captionOf(geometry, button.item);
        if (doc.buttonstyle != ButtonStyle::None && text && !text->text.empty() &&
            !lightsSomething(mask, button.box))
            dark.push_back(button.item);
        const auto it = std::find_if(geometry.items.begin(), geometry.items.end(),
                                     [&](const DrawnItem& d) { return d.item == button.item; });
        if (!geometry.grid || it == geometry.items.end() || area(it->frame) == 0)
            continue;
        const Rect& f = it->frame;
        const Rect& b = button.box;
        const Rect common{std::max(f.left, b.left), std::max(f.top, b.top),
                          std::min(f.right, b.right), std::min(f.bottom, b.bottom)};
        if (2 * area(common) < area(f))
            astray.push_back(button.item);
    }
    if (dark.empty() && astray.empty())
        return;
    std::string why;
    if (!dark.empty())
        why = "the buttons of " + itemList(doc, dark) + " would light nothing";
    if (!astray.empty())
        why += (why.empty() ? "the buttons of " : " and those of ") + itemList(doc, astray) +
               " would miss their own thumbnails";
    throw Failure("The disc menu's buttons cannot be laid out",
                  why + ", as the items crowd each other. Use smaller captions, turn on Fit "
                        "text or show fewer items.");
}

} // namespace

DiscMask DrawDiscMask(const MenuDocument& doc, const MenuGeometry& geometry,
                      const std::vector<DiscButton>& buttons)
{
    DiscMask mask;
    mask.width = geometry.width;
    mask.height = geometry.height;
    mask.index.assign(static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height),
                      0);
    for (const DiscButton& button : buttons) {
        const auto it = std::find_if(geometry.items.begin(), geometry.items.end(),
                                     [&](const DrawnItem& d) { return d.item == button.item; });
        if (it == geometry.items.end())
            continue;
        const DrawnItem& item = *it;
        const DrawnText* text = captionOf(geometry, button.item);
        const int cell = text ? text->cellHeight : item.caption.bottom - item.caption.top;
        MaskPainter painter(mask, button.box);
        switch (doc.buttonstyle) {
        case ButtonStyle::Underline: {
            const int t = barThickness(cell);
            const int top = evenDown(item.caption.bottom - t);
            painter.fill({item.caption.left, top, item.caption.right, top + t});
            break;
        }
        case ButtonStyle::Frame:
            if (geometry.grid) {
                const Rect& f = item.frame;
                painter.frame({f.left - kButtonPadding, f.top - kButtonPadding,
                               f.right + kButtonPadding, f.bottom + kButtonPadding},
                              kButtonPadding);
            } else {
                const Rect& c = item.caption;
                painter.frame({c.left - kButtonPadding, c.top, c.right + kButtonPadding, c.bottom},
                              2);
            }
            break;
        case ButtonStyle::Text:
            if (text)
                drawCaptionText(painter, doc, *text);
            break;
        case ButtonStyle::None:
            break;
        }
    }
    refuseUselessButtons(doc, geometry, buttons, mask);
    return mask;
}

std::string DiscButtonStyleWarning(const MenuDocument& doc)
{
    if (doc.buttonstyle == ButtonStyle::None)
        return "The button style is \"none\": a player lights nothing, so the viewer cannot "
               "see which item is selected. Choose underline, frame or text for a disc.";
    if (doc.buttonstyle == ButtonStyle::Frame || doc.numbers)
        return {};
    std::vector<int> bare;
    for (int n = 1; n <= doc.visibleItemCount(); ++n)
        if (doc.items[static_cast<std::size_t>(n - 1)].menucaption.empty())
            bare.push_back(n);
    if (bare.empty())
        return {};
    return "The " + std::string(ButtonStyleName(doc.buttonstyle)) +
           " style marks the caption, and " + itemList(doc, bare) +
           (bare.size() == 1 ? " has none" : " have none") +
           ": a player lights nothing there, so the viewer cannot see when " +
           (bare.size() == 1 ? "it is" : "they are") +
           " selected. Give them captions or choose the frame style.";
}

namespace {

// Nearest-neighbour remap of whole columns or rows, then everything outside the moved
// boxes cleared again: rounding may carry a pixel over a box's edge.
void clipToButtons(DiscMask& mask, const std::vector<DiscButton>& buttons)
{
    std::vector<std::uint8_t> kept(mask.index.size(), 0);
    for (const DiscButton& b : buttons)
        for (int y = std::max(0, b.box.top); y < std::min(mask.height, b.box.bottom); ++y)
            for (int x = std::max(0, b.box.left); x < std::min(mask.width, b.box.right); ++x) {
                const std::size_t at = static_cast<std::size_t>(y) * mask.width + x;
                kept[at] = mask.index[at];
            }
    mask.index.swap(kept);
}

} // namespace

void SqueezeToFrame(DiscMask& mask, std::vector<DiscButton>& buttons, int width)
{
    if (width == mask.width || mask.width <= 0 || width <= 0)
        return;
    const long long from = mask.width;
    auto mapX = [&](int x) {
        return static_cast<int>((x * static_cast<long long>(width) + from / 2) / from);
    };
    DiscMask out;
    out.width = width;
    out.height = mask.height;
    out.index.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(mask.height));
    std::vector<int> source(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        source[static_cast<std::size_t>(x)] =
            static_cast<int>(((2LL * x + 1) * from) / (2LL * width));
    for (int y = 0; y < mask.height; ++y) {
        const std::uint8_t* in = mask.index.data() + static_cast<std::size_t>(y) * mask.width;
        std::uint8_t* o = out.index.data() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x)
            o[x] = in[source[static_cast<std::size_t>(x)]];
    }
    // One mapping for both edges keeps boxes in order; rounding may narrow a gap.
    for (DiscButton& b : buttons) {
        b.box.left = mapX(b.box.left);
        b.box.right = std::max(mapX(b.box.right), b.box.left + 1);
    }
    KeepButtonsApart(buttons, width, mask.height);
    mask = std::move(out);
    clipToButtons(mask, buttons);
}

void ToLetterbox(DiscMask& mask, std::vector<DiscButton>& buttons)
{
    const int H = mask.height;
    const int offset = H / 8;
    auto mapY = [&](int y) {
        // 0.75 y + H/8, then to the nearest even row.
        const long long scaled = 3LL * y + 4LL * offset; // four times the target
        return static_cast<int>(2 * ((scaled + 4) / 8));
    };
    const std::vector<DiscButton> before = buttons;
    for (DiscButton& b : buttons) {
        b.box.top = mapY(b.box.top);
        b.box.bottom = std::max(mapY(b.box.bottom), b.box.top + 2);
    }
    KeepButtonsApart(buttons, mask.width, H);

    // Each vertical run of a button's mask moves as a whole, both ends to even rows and
    // at least two rows tall: resampling rows would leave bars one row tall or starting
    // on an odd row, which an interlaced picture shows in one field only.
    DiscMask out;
    out.width = mask.width;
    out.height = H;
    out.index.assign(mask.index.size(), 0);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const Rect& from = before[i].box;
        const Rect& to = buttons[i].box;
        const int left = std::max({0, from.left, to.left});
        const int right = std::min({from.right, to.right, mask.width});
        const int top = std::max(0, from.top);
        const int bottom = std::min(from.bottom, H);
        for (int x = left; x < right; ++x)
            for (int y = top; y < bottom;) {
                if (!mask.set(x, y)) {
                    ++y;
                    continue;
                }
                int end = y;
                while (end < bottom && mask.set(x, end))
                    ++end;
                int runTop = std::max(mapY(y), to.top);
                int runBottom = std::min(std::max(mapY(end), runTop + 2), to.bottom);
                runTop = std::max(to.top, std::min(runTop, runBottom - 2));
                for (int row = runTop; row < runBottom; ++row)
                    out.index[static_cast<std::size_t>(row) * out.width + x] = 1;
                y = end;
            }
    }
    mask = std::move(out);
}

void PaintMask(Picture& picture, const DiscMask& mask, Color color)
{
    if (picture.width() != mask.width || picture.height() != mask.height)
        return;
    const std::uint8_t rgb[3] = {static_cast<std::uint8_t>(color & 0xFF),
                                 static_cast<std::uint8_t>(color >> 8),
                                 static_cast<std::uint8_t>(color >> 16)};
    for (int y = 0; y < mask.height; ++y) {
        const std::uint8_t* in = mask.index.data() + static_cast<std::size_t>(y) * mask.width;
        std::uint8_t* out = picture.row(y);
        for (int x = 0; x < mask.width; ++x)
            if (in[x])
                std::copy_n(rgb, 3, out + 3 * x);
    }
}
