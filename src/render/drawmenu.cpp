#include "drawmenu.h"

#include "displayaspect.h"
#include "layoutmath.h"
#include "pagecontrols.h"
#include "picturecanvas.h"
#include "resample/filteredresize.h"
#include "safearea.h"
#include "scaledpicturecache.h"
#include "thumbnaillayout.h"
#include "tvsafe.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// What lies inside `box` of the pixels drawn so far, as a luminance histogram.
LuminanceHistogram backdropOf(const Picture& pixels, const Rect& box)
{
    LuminanceHistogram histogram{};
    const int left = std::max(box.left, 0);
    const int right = std::min(box.right, pixels.width());
    const int top = std::max(box.top, 0);
    const int bottom = std::min(box.bottom, pixels.height());
    for (int y = top; y < bottom; ++y) {
        const std::uint8_t* p = pixels.pixel(left, y);
        for (int x = left; x < right; ++x, p += 3)
            ++histogram[static_cast<std::size_t>(LuminanceBin(p[0], p[1], p[2]))];
    }
    return histogram;
}

Rect unite(const Rect& a, const Rect& b)
{
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

class MenuPainter {
public:
    MenuPainter(const MenuDocument& doc, Canvas& target, Picture& scratch, bool filtered,
                ScaledPictureCache* cache, MenuGeometry* geometry)
        : m_doc(doc), m_target(target), m_scratch(scratch), m_filtered(filtered), m_cache(cache),
          m_geometry(geometry), W(target.width()), H(target.height()),
          m_area(doc.safelayout ? ComputeSafeAreas(W, H, doc.safeAreas).title : Rect{0, 0, W, H})
    {
    }

    void draw();

private:
    // The menu is laid out in m_area: the whole frame, or title-safe with "Keep inside
    // title-safe". Fractions are of its width and height, positions from its corner.
    int areaWidth() const { return m_area.right - m_area.left; }
    int areaHeight() const { return m_area.bottom - m_area.top; }
    // Factor times the size step, then the fraction: the height * size as an integer,
    // divided by 10 and multiplied in floating point, left to right.
    int fontHeight(int size, double fraction) const
    {
        return roundHalfEven(static_cast<double>(static_cast<long long>(areaHeight()) * size) / 10 *
                             fraction);
    }
    int widthOf(double fraction) const { return roundHalfEven(areaWidth() * fraction); }
    int heightOf(double fraction) const { return roundHalfEven(areaHeight() * fraction); }
    int xOf(double fraction) const { return m_area.left + widthOf(fraction); }
    int yOf(double fraction) const { return m_area.top + heightOf(fraction); }
    // Where a line `width` wide stands centred.
    int centredX(int width) const { return m_area.left + halfTowardZero(areaWidth() - width); }

    void selectFont(int cellHeight)
    {
        m_cellHeight = cellHeight;
        m_target.selectFont(m_doc.textfont, cellHeight, m_doc.boldtext);
    }
    // The text's size in the selected font; with "Fit text" and a text wider than
    // `maxWidth`, a smaller font is selected until it fits (restore with selectFont).
    TextSize measureFitting(const std::string& text, int maxWidth);
    int titleSafeWidth() const
    {
        const Rect safe = ComputeSafeAreas(W, H, m_doc.safeAreas).title;
        return safe.right - safe.left;
    }
    // Draws one line and returns its text cell.
    Rect drawLine(int x, int y, const std::string& text, TextSize size, MenuField field,
                  int item = 0);
    void drawPicture(const Picture& picture, int x, int y, int width, int height);
    void drawCentredLine(const std::string& text, int y, bool yIsBottom);
    std::string caption(int item, bool alwaysSeparate) const;
    void drawGrid(int n);
    void drawList(int n);

    const MenuDocument& m_doc;
    Canvas& m_target;
    Picture& m_scratch;
    const bool m_filtered;
    ScaledPictureCache* m_cache;
    MenuGeometry* m_geometry;
    int m_cellHeight = 0;
    int m_itemsBottom = 0; // the lowest caption row drawn so far
    const int W;
    const int H;
    const Rect m_area;
};

TextSize MenuPainter::measureFitting(const std::string& text, int maxWidth)
{
    TextSize size = m_target.measureText(text);
    if (!m_doc.fittext || size.width <= maxWidth || maxWidth <= 0)
        return size;
    const int original = m_cellHeight;
    // A first guess in proportion, then single steps: glyph widths do not scale exactly.
    int cell = std::min(original - 1,
                        static_cast<int>(static_cast<long long>(original) * maxWidth / size.width));
    for (cell = std::max(cell, 1);; --cell) {
        m_target.selectFont(m_doc.textfont, cell, m_doc.boldtext);
        size = m_target.measureText(text);
        if (size.width <= maxWidth || cell == 1)
            break;
    }
    m_cellHeight = cell;
    return size;
}

Rect MenuPainter::drawLine(int x, int y, const std::string& text, TextSize size, MenuField field,
                           int item)
{
    LuminanceHistogram backdrop{};
    if (m_geometry && !text.empty())
        if (const Picture* pixels = m_target.drawnPixels())
            backdrop = backdropOf(*pixels, {x, y, x + size.width, y + size.height});
    if (m_doc.shadowtext)
        m_target.drawText(x + 1, y + 1, text, m_doc.bgcolor);
    m_target.drawText(x, y, text, m_doc.textcolor);
    const Rect box{x, y, x + size.width, y + size.height};
    if (field == MenuField::Caption)
        m_itemsBottom = std::max(m_itemsBottom, box.bottom);
    if (m_geometry)
        m_geometry->texts.push_back({field, item, text, box, m_cellHeight, backdrop});
    return box;
}

void MenuPainter::drawPicture(const Picture& picture, int x, int y, int width, int height)
{
    if (picture.isEmpty() || width <= 0 || height <= 0)
        return;
    if (!m_filtered) {
        m_target.stretchPicture(picture, {x, y, x + width, y + height});
    } else if (m_cache) {
        m_target.copyPicture(m_cache->scaled(picture, width, height), x, y);
    } else {
        m_scratch.reset(width, height);
        FilteredResize(picture, m_scratch, Lanczos3Filter, 3.0f);
        m_target.copyPicture(m_scratch, x, y);
    }
}

std::string MenuPainter::caption(int item, bool alwaysSeparate) const
{
    const std::string& text = m_doc.items[static_cast<std::size_t>(item - 1)].menucaption;
    if (!m_doc.numbers)
        return text;
    std::string result = std::to_string(m_doc.menustart + item - 1);
    if (alwaysSeparate || !text.empty())
        result += ". ";
    return result + text;
}

void MenuPainter::drawGrid(int n)
{
    const ThumbnailLayoutRow& layout = ThumbnailLayout[static_cast<std::size_t>(n)];
    const int captionHeight = fontHeight(m_doc.captionsize, 0.04);
    selectFont(captionHeight);
    const int bw = widthOf(layout.boxwidth);
    const int bh = heightOf(layout.boxheight);
    int x = xOf(layout.x0);
    int y = yOf(layout.y0);
    int row = 0;
    int column = 0;
    const Color frame = m_doc.textcolor;
    for (int i = 1; i <= n; ++i) {
        Rect outer;
        const ThumbnailSource& source = m_doc.items[static_cast<std::size_t>(i - 1)].source;
        if (source.hasThumbnail()) {
            const Picture& picture = source.ThumbnailImage;
            const double r = static_cast<double>(picture.width()) / picture.height();
            const double v = static_cast<double>(bw) / bh;
            int dx, dy, dw, dh;
            if (r > v) {
                dw = bw;
                dh = roundHalfEven(bw / r);
                dx = x;
                dy = y + halfTowardZero(bh - dh);
            } else {
                dh = bh;
                dw = roundHalfEven(bh * r);
                dx = x + halfTowardZero(bw - dw);
                dy = y;
            }
            drawPicture(picture, dx, dy, dw, dh);
            m_target.frameRect({dx, dy, dx + dw, dy + dh}, frame);
            outer = {dx - 1, dy - 1, dx + dw + 1, dy + dh + 1};
        } else {
            m_target.frameRect({x, y, x + bw, y + bh}, frame);
            outer = {x - 1, y - 1, x + bw + 1, y + bh + 1};
        }
        m_target.frameRect(outer, frame);
        const std::string text = caption(i, false);
        const TextSize size = measureFitting(text, bw);
        const Rect box = drawLine(x + halfTowardZero(bw - size.width), y + bh + heightOf(0.01),
                                  text, size, MenuField::Caption, i);
        if (m_cellHeight != captionHeight)
            selectFont(captionHeight);
        if (m_geometry)
            m_geometry->items.push_back({i, row, column, outer, box, unite(outer, box)});
        x += widthOf(layout.boxwidth + 0.02);
        ++column;
        if (i == layout.rowbreak) {
            x = xOf(layout.x1);
            y = yOf(layout.y1);
            ++row;
            column = 0;
        }
    }
}

void MenuPainter::drawList(int n)
{
    const int lineHeight = fontHeight(m_doc.captionsize, 0.06);
    selectFont(lineHeight);
    std::vector<std::string> lines;
    std::vector<TextSize> sizes;
    std::vector<int> cells;
    int mw = 0;
    for (int i = 1; i <= n; ++i) {
        lines.push_back(caption(i, true));
        sizes.push_back(measureFitting(lines.back(), titleSafeWidth()));
        cells.push_back(m_cellHeight);
        mw = std::max(mw, sizes.back().width);
        if (m_cellHeight != lineHeight)
            selectFont(lineHeight);
    }
    const int x = centredX(mw);
    int y = m_area.top + roundHalfEven((0.55 - n * 0.065 / 2) * areaHeight());
    for (int i = 1; i <= n; ++i) {
        const std::string& line = lines[static_cast<std::size_t>(i - 1)];
        if (cells[static_cast<std::size_t>(i - 1)] != m_cellHeight)
            selectFont(cells[static_cast<std::size_t>(i - 1)]);
        const Rect box =
            drawLine(x, y, line, sizes[static_cast<std::size_t>(i - 1)], MenuField::Caption, i);
        if (m_geometry)
            m_geometry->items.push_back({i, i - 1, 0, Rect{}, box, box});
        y += heightOf(0.065);
    }
}

void MenuPainter::draw()
{
    // Out-of-range counts can stand in the panel while being typed.
    const int n = m_doc.visibleItemCount();

    if (m_doc.BackgroundPicture.isEmpty())
        m_target.fillRect({0, 0, W, H}, m_doc.bgcolor);
    else
        drawPicture(m_doc.BackgroundPicture, 0, 0, W, H);

    selectFont(fontHeight(m_doc.titlesize, 0.1));
    TextSize size = measureFitting(m_doc.title, titleSafeWidth());
    drawLine(centredX(size.width), (n != 0 ? yOf(0.155) : yOf(0.4)) - size.height, m_doc.title,
             size, MenuField::Title);

    selectFont(fontHeight(m_doc.titlesize, 0.06));
    size = measureFitting(m_doc.subtitle, titleSafeWidth());
    drawLine(centredX(size.width), n != 0 ? yOf(0.15) : yOf(0.395), m_doc.subtitle, size,
             MenuField::Subtitle);

    selectFont(fontHeight(m_doc.titlesize, 0.05));
    size = measureFitting(m_doc.footnote, titleSafeWidth());
    const Rect footnote = drawLine(centredX(size.width), yOf(0.95) - size.height, m_doc.footnote,
                                   size, MenuField::Footnote);

    const bool grid = m_doc.thumbs && n > 0;
    if (m_geometry)
        m_geometry->grid = grid;
    if (grid)
        drawGrid(n);
    else
        drawList(n);
    DrawPageControls(m_doc, m_target, m_itemsBottom, m_doc.footnote.empty() ? Rect{} : footnote,
                     m_geometry);
}

} // namespace

void DrawMenu(const MenuDocument& doc, Canvas& target, Picture& scratch, bool filtered,
              ScaledPictureCache* cache, MenuGeometry* geometry)
{
    if (geometry)
        *geometry = MenuGeometry{target.width(), target.height(), false, {}, {}, {}};
    if (!doc.RenderEnabled)
        return;
    if (cache && filtered)
        cache->beginDrawing();
    MenuPainter(doc, target, scratch, filtered, cache, geometry).draw();
}

Picture ComposeMenuImage(const MenuDocument& doc, Picture& scratch, MenuGeometry* geometry,
                         ScaledPictureCache* cache)
{
    Picture image(doc.ImageWidth, doc.ImageHeight);
    const int displayWidth = DisplayWidth(doc.ImageWidth, doc.ImageHeight, doc.aspect);
    if (displayWidth == doc.ImageWidth) {
        PictureCanvas canvas(image);
        DrawMenu(doc, canvas, scratch, true, cache, geometry);
    } else {
        Picture display(displayWidth, doc.ImageHeight);
        {
            PictureCanvas canvas(display);
            DrawMenu(doc, canvas, scratch, true, cache, geometry);
        }
        if (doc.RenderEnabled)
            FilteredResize(display, image, Lanczos3Filter, 3.0f);
    }
    if (doc.tvsafe && doc.RenderEnabled)
        MakeTvSafe(image);
    return image;
}
