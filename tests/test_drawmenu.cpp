#include "render/displayaspect.h"
#include "render/drawmenu.h"
#include "render/picturecanvas.h"
#include "render/scaledpicturecache.h"
#include "render/thumbnaillayout.h"
#include "render/tvsafe.h"

#include <QFontDatabase>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// Found by argument lookup from inside GoogleTest, so not in the anonymous namespace.
bool operator==(const Rect& a, const Rect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::ostream& operator<<(std::ostream& os, const Rect& r)
{
    return os << "[" << r.left << "," << r.top << " - " << r.right << "," << r.bottom << ")";
}

namespace {

// --- A canvas that records what the composer asks of it ---------------------------

struct Op {
    enum Kind { Fill, Frame, Stretch, Copy, Font, Text };
    Op(Kind k, Rect r = {}, Color c = 0) : kind(k), rect(r), color(c) {}
    Kind kind;
    Rect rect;
    Color color;
    const Picture* picture = nullptr;
    int pictureWidth = 0;
    int pictureHeight = 0;
    int x = 0;
    int y = 0;
    std::string text; // text drawn, or face selected
    int height = 0;   // font cell height
    bool bold = false;
};

// Text is 10 pixels per byte wide; with `proportional` it is half the cell height per
// byte instead, so that text widths scale with the target like everything else.
class RecordingCanvas : public Canvas {
public:
    RecordingCanvas(int w, int h, bool proportional = false)
        : m_width(w), m_height(h), m_proportional(proportional)
    {
    }

    int width() const override { return m_width; }
    int height() const override { return m_height; }
    void fillRect(const Rect& r, Color c) override { ops.push_back({Op::Fill, r, c}); }
    void frameRect(const Rect& r, Color c) override { ops.push_back({Op::Frame, r, c}); }
    void stretchPicture(const Picture& p, const Rect& r) override
    {
        Op op{Op::Stretch, r};
        op.picture = &p;
        op.pictureWidth = p.width();
        op.pictureHeight = p.height();
        ops.push_back(op);
    }
    void copyPicture(const Picture& p, int x, int y) override
    {
        Op op{Op::Copy, {x, y, x + p.width(), y + p.height()}};
        op.picture = &p;
        op.pictureWidth = p.width();
        op.pictureHeight = p.height();
        op.x = x;
        op.y = y;
        ops.push_back(op);
    }
    void selectFont(const std::string& face, int cellHeight, bool bold) override
    {
        Op op{Op::Font};
        op.text = face;
        op.height = cellHeight;
        op.bold = bold;
        ops.push_back(op);
        m_cellHeight = cellHeight;
    }
    TextSize measureText(const std::string& text) override
    {
        const int bytes = static_cast<int>(text.size());
        return {m_proportional ? (bytes * m_cellHeight + 1) / 2 : 10 * bytes, m_cellHeight};
    }
    void drawText(int x, int y, const std::string& text, Color color) override
    {
        Op op{Op::Text};
        op.x = x;
        op.y = y;
        op.text = text;
        op.color = color;
        op.height = m_cellHeight;
        ops.push_back(op);
    }

    std::vector<Op> of(Op::Kind kind) const
    {
        std::vector<Op> result;
        for (const Op& op : ops)
            if (op.kind == kind)
                result.push_back(op);
        return result;
    }
    std::vector<int> fontHeights() const
    {
        std::vector<int> result;
        for (const Op& op : of(Op::Font))
            result.push_back(op.height);
        return result;
    }
    // The text drawn with this exact string, or null.
    const Op* text(const std::string& s) const
    {
        for (const Op& op : ops)
            if (op.kind == Op::Text && op.text == s)
                return &op;
        return nullptr;
    }

    std::vector<Op> ops;

private:
    int m_width;
    int m_height;
    bool m_proportional;
    int m_cellHeight = 0;
};

MenuDocument makeDocument()
{
    MenuDocument doc;
    doc.RenderEnabled = true;
    return doc;
}

RecordingCanvas draw(const MenuDocument& doc, int w, int h, bool filtered = false,
                     bool proportional = false)
{
    RecordingCanvas canvas(w, h, proportional);
    Picture scratch;
    DrawMenu(doc, canvas, scratch, filtered);
    return canvas;
}

void setThumbnail(MenuDocument& doc, int item, int w, int h)
{
    doc.item(item).source.menuclip = "/clips/pic.png";
    doc.item(item).source.menuframe = -1;
    doc.item(item).source.ThumbnailImage.reset(w, h);
}

// The frames of the empty boxes, in drawing order, as the box rectangles [x, x+bw) x [y, y+bh).
std::vector<Rect> boxesOf(const RecordingCanvas& canvas)
{
    const std::vector<Op> frames = canvas.of(Op::Frame);
    std::vector<Rect> boxes;
    for (std::size_t i = 0; i + 1 < frames.size(); i += 2) {
        const Rect inner = frames[i].rect;
        const Rect outer = frames[i + 1].rect;
        EXPECT_EQ(outer, (Rect{inner.left - 1, inner.top - 1, inner.right + 1, inner.bottom + 1}));
        boxes.push_back(inner);
    }
    return boxes;
}

// --- Layout through the recording canvas -------------------------------------------

TEST(DrawMenuLayout, TenItemGridOn720x576)
{
    const MenuDocument doc = makeDocument();
    const RecordingCanvas c = draw(doc, 720, 576);

    ASSERT_FALSE(c.ops.empty());
    EXPECT_EQ(c.ops.front().kind, Op::Fill);
    EXPECT_EQ(c.ops.front().rect, (Rect{0, 0, 720, 576}));
    EXPECT_EQ(c.ops.front().color, 0xFFFFFFu);
    EXPECT_EQ(c.fontHeights(), (std::vector<int>{58, 35, 29, 23}));
    for (const Op& font : c.of(Op::Font)) {
        EXPECT_EQ(font.text, "Arial");
        EXPECT_TRUE(font.bold);
    }

    const std::vector<Rect> boxes = boxesOf(c);
    ASSERT_EQ(boxes.size(), 10u);
    const int xs[5] = {25, 162, 299, 436, 573};
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        const int x = xs[i % 5];
        const int y = i < 5 ? 161 : 334;
        EXPECT_EQ(boxes[i], (Rect{x, y, x + 122, y + 98}));
        EXPECT_EQ(c.of(Op::Frame)[2 * i].color, 0x000000u);
    }

    // Texts: title on 0.155 H, subtitle hanging from 0.15 H, footnote on 0.95 H;
    // captions centred under their boxes, 0.01 H below.
    const Op* title = c.text("Title");
    ASSERT_TRUE(title);
    EXPECT_EQ(title->x, (720 - 50) / 2);
    EXPECT_EQ(title->y, 89 - 58);
    const Op* subtitle = c.text("Subtitle");
    ASSERT_TRUE(subtitle);
    EXPECT_EQ(subtitle->x, (720 - 80) / 2);
    EXPECT_EQ(subtitle->y, 86);
    const Op* footnote = c.text("Footnote");
    ASSERT_TRUE(footnote);
    EXPECT_EQ(footnote->y, 547 - 29);
    const Op* first = c.text("1");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->x, 25 + (122 - 10) / 2);
    EXPECT_EQ(first->y, 161 + 98 + 6);
    const Op* tenth = c.text("10");
    ASSERT_TRUE(tenth);
    EXPECT_EQ(tenth->x, 573 + (122 - 20) / 2);
    EXPECT_EQ(tenth->y, 334 + 98 + 6);
    EXPECT_EQ(c.of(Op::Text).size(), 13u);
}

// Button masks and the legibility check read the geometry, so it must be exactly what
// was drawn: every text cell, and per item its outer frame, caption and their union.
TEST(DrawMenuLayout, GeometryReportsWhatWasDrawn)
{
    MenuDocument doc = makeDocument();
    doc.menucount = 7;
    RecordingCanvas c(720, 576);
    Picture scratch;
    MenuGeometry g;
    DrawMenu(doc, c, scratch, false, nullptr, &g);

    EXPECT_EQ(g.width, 720);
    EXPECT_TRUE(g.grid);
    const std::vector<Op> texts = c.of(Op::Text);
    ASSERT_EQ(g.texts.size(), texts.size());
    for (std::size_t i = 0; i < g.texts.size(); ++i) {
        const Op& op = texts[i];
        EXPECT_EQ(g.texts[i].text, op.text);
        EXPECT_EQ(g.texts[i].box.left, op.x);
        EXPECT_EQ(g.texts[i].box.top, op.y);
        EXPECT_EQ(g.texts[i].cellHeight, op.height);
    }
    EXPECT_EQ(g.texts[0].field, MenuField::Title);
    EXPECT_EQ(g.texts[3].field, MenuField::Caption);
    EXPECT_EQ(g.texts[3].item, 1);

    const std::vector<Op> frames = c.of(Op::Frame);
    ASSERT_EQ(g.items.size(), 7u);
    const int rows[7] = {0, 0, 0, 1, 1, 1, 1}; // seven items: three over four
    const int columns[7] = {0, 1, 2, 0, 1, 2, 3};
    for (std::size_t i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        const DrawnItem& item = g.items[i];
        EXPECT_EQ(item.item, static_cast<int>(i) + 1);
        EXPECT_EQ(item.row, rows[i]);
        EXPECT_EQ(item.column, columns[i]);
        EXPECT_EQ(item.frame, frames[2 * i + 1].rect);
        EXPECT_EQ(item.caption, g.texts[3 + i].box);
        EXPECT_EQ(item.button.left, std::min(item.frame.left, item.caption.left));
        EXPECT_EQ(item.button.top, item.frame.top);
        EXPECT_EQ(item.button.bottom, item.caption.bottom);
    }

    doc.thumbs = false;
    RecordingCanvas list(720, 576);
    DrawMenu(doc, list, scratch, false, nullptr, &g);
    EXPECT_FALSE(g.grid);
    ASSERT_EQ(g.items.size(), 7u);
    EXPECT_EQ(g.items[6].row, 6);
    EXPECT_EQ(g.items[6].button, g.items[6].caption);
    EXPECT_EQ(g.items[6].caption.top, list.text("7. ")->y);

    doc.RenderEnabled = false;
    DrawMenu(doc, list, scratch, false, nullptr, &g);
    EXPECT_TRUE(g.items.empty());
}

TEST(DrawMenuLayout, NineItemGridOn704x480)
{
    MenuDocument doc = makeDocument();
    doc.menucount = 9;
    const RecordingCanvas c = draw(doc, 704, 480);

    EXPECT_EQ(c.fontHeights(), (std::vector<int>{48, 29, 24, 19}));
    const std::vector<Rect> boxes = boxesOf(c);
    ASSERT_EQ(boxes.size(), 9u);
    const int xs[9] = {92, 226, 360, 494, 25, 159, 293, 427, 561};
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE(i);
        const int y = i < 4 ? 134 : 278;
        EXPECT_EQ(boxes[i], (Rect{xs[i], y, xs[i] + 120, y + 82}));
    }
}

TEST(DrawMenuLayout, OneTwoAndThreeItemsStandInOneRow)
{
    // From the layout table on 720 x 576: origin, box size and the step of box width
    // plus 0.02 W, each rounded to the pixel. Captions hang 0.01 H below their boxes.
    struct Case {
        int n;
        std::vector<int> xs;
        int y, bw, bh;
    };
    const Case cases[] = {
        {1, {230}, 184, 259, 207},          // 0.32 W, 0.32 H; 0.36 x 0.36
        {2, {94, 368}, 184, 259, 207},      // 0.13 W, step 0.38 W
        {3, {43, 259, 475}, 202, 202, 161}, // 0.06 W, 0.35 H; 0.28 x 0.28, step 0.30 W
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.n);
        MenuDocument doc = makeDocument();
        doc.menucount = k.n;
        const RecordingCanvas c = draw(doc, 720, 576);
        const std::vector<Rect> boxes = boxesOf(c);
        ASSERT_EQ(boxes.size(), static_cast<std::size_t>(k.n));
        for (int i = 0; i < k.n; ++i) {
            SCOPED_TRACE(i);
            const int x = k.xs[static_cast<std::size_t>(i)];
            EXPECT_EQ(boxes[static_cast<std::size_t>(i)], (Rect{x, k.y, x + k.bw, k.y + k.bh}));
            const Op* caption = c.text(std::to_string(i + 1));
            ASSERT_TRUE(caption);
            EXPECT_EQ(caption->x, x + (k.bw - 10) / 2);
            EXPECT_EQ(caption->y, k.y + k.bh + 6);
            EXPECT_EQ(caption->height, 23);
        }
        // The titles stand where they stand for a full grid.
        ASSERT_TRUE(c.text("Title"));
        EXPECT_EQ(c.text("Title")->x, (720 - 50) / 2);
        EXPECT_EQ(c.text("Title")->y, 89 - 58);
        EXPECT_EQ(c.text("Subtitle")->y, 86);
        EXPECT_EQ(c.text("Footnote")->y, 547 - 29);
        EXPECT_EQ(c.of(Op::Text).size(), static_cast<std::size_t>(3 + k.n));
    }
}

TEST(DrawMenuLayout, ItemsSplitIntoRowsByCount)
{
    // Items in the first row for n = 1..10; the rest stand in the second row.
    const int firstRow[11] = {0, 1, 2, 3, 2, 2, 3, 3, 4, 4, 5};
    for (int n = 1; n <= 10; ++n) {
        SCOPED_TRACE(n);
        MenuDocument doc = makeDocument();
        doc.menucount = n;
        const std::vector<Rect> boxes = boxesOf(draw(doc, 720, 576));
        ASSERT_EQ(boxes.size(), static_cast<std::size_t>(n));
        for (int i = 1; i < n; ++i) {
            const bool sameRow = (i < firstRow[n]) == (i - 1 < firstRow[n]);
            EXPECT_EQ(boxes[i].top == boxes[i - 1].top, sameRow) << i;
            if (sameRow)
                EXPECT_GT(boxes[i].left, boxes[i - 1].right) << i;
            else
                EXPECT_GT(boxes[i].top, boxes[i - 1].bottom) << i;
        }
    }
}

TEST(DrawMenuLayout, TextListIsACentredColumn)
{
    MenuDocument doc = makeDocument();
    doc.thumbs = false;
    doc.menucount = 4;
    doc.items[0].menucaption = "A";
    doc.items[1].menucaption = "Longest";
    const RecordingCanvas c = draw(doc, 720, 576);

    EXPECT_TRUE(c.of(Op::Frame).empty());
    EXPECT_EQ(c.fontHeights(), (std::vector<int>{58, 35, 29, 35}));
    const std::vector<std::string> lines = {"1. A", "2. Longest", "3. ", "4. "};
    const int mw = 100; // "2. Longest"
    int y = 242;        // R((0.55 - 4 * 0.065 / 2) * 576) = R(241.92)
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        const Op* op = c.text(line);
        ASSERT_TRUE(op);
        EXPECT_EQ(op->x, (720 - mw) / 2);
        EXPECT_EQ(op->y, y);
        y += 37; // R(576 * 0.065)
    }
    // Title and subtitle stand as high as in the grid.
    EXPECT_EQ(c.text("Title")->y, 89 - 58);
    EXPECT_EQ(c.text("Subtitle")->y, 86);

    const RecordingCanvas small = draw(doc, 704, 480);
    EXPECT_EQ(small.fontHeights().back(), 29);
}

TEST(DrawMenuLayout, NoItemsMovesTitleToTheMiddleAndDrawsNoItems)
{
    for (bool thumbs : {true, false}) {
        SCOPED_TRACE(thumbs);
        MenuDocument doc = makeDocument();
        doc.thumbs = thumbs;
        doc.menucount = 0;
        setThumbnail(doc, 1, 10, 10);
        doc.items[0].menucaption = "Never shown";
        const RecordingCanvas c = draw(doc, 720, 576);
        EXPECT_TRUE(c.of(Op::Frame).empty());
        EXPECT_TRUE(c.of(Op::Stretch).empty());
        ASSERT_EQ(c.of(Op::Text).size(), 3u);
        EXPECT_EQ(c.text("Title")->y, 230 - 58); // R(0.4 * 576) = 230
        EXPECT_EQ(c.text("Subtitle")->y, 228);   // R(0.395 * 576) = R(227.52)
        EXPECT_EQ(c.text("Footnote")->y, 547 - 29);
    }
}

TEST(DrawMenuLayout, SizeStepsScaleTheFonts)
{
    MenuDocument doc = makeDocument();
    doc.titlesize = 15;
    doc.captionsize = 5;
    EXPECT_EQ(draw(doc, 720, 576).fontHeights(), (std::vector<int>{86, 52, 43, 12}));
    doc.boldtext = false;
    doc.textfont = "";
    for (const Op& font : draw(doc, 720, 576).of(Op::Font)) {
        EXPECT_FALSE(font.bold);
        EXPECT_EQ(font.text, ""); // the canvas keeps its face
    }
}

TEST(DrawMenuLayout, HalfSizeTargetPlacesEverythingAtHalfTheCoordinates)
{
    MenuDocument doc = makeDocument();
    doc.items[2].menucaption = "Chapter three";
    setThumbnail(doc, 4, 300, 100);
    // Each position is rounded on its own, and list lines and grid columns add rounded
    // steps, so ten steps can drift by a few pixels.
    const double kSlack = 5.0;
    for (bool thumbs : {true, false}) {
        SCOPED_TRACE(thumbs);
        doc.thumbs = thumbs;
        const RecordingCanvas full = draw(doc, 720, 576, false, true);
        const RecordingCanvas half = draw(doc, 360, 288, false, true);
        ASSERT_EQ(full.ops.size(), half.ops.size());
        for (std::size_t i = 0; i < full.ops.size(); ++i) {
            SCOPED_TRACE(i);
            const Op& a = full.ops[i];
            const Op& b = half.ops[i];
            ASSERT_EQ(a.kind, b.kind);
            EXPECT_NEAR(b.x, a.x / 2.0, kSlack);
            EXPECT_NEAR(b.y, a.y / 2.0, kSlack);
            EXPECT_NEAR(b.height, a.height / 2.0, 1.0);
            if (a.kind == Op::Frame || a.kind == Op::Stretch || a.kind == Op::Fill) {
                EXPECT_NEAR(b.rect.left, a.rect.left / 2.0, kSlack);
                EXPECT_NEAR(b.rect.top, a.rect.top / 2.0, kSlack);
                EXPECT_NEAR(b.rect.right, a.rect.right / 2.0, kSlack);
                EXPECT_NEAR(b.rect.bottom, a.rect.bottom / 2.0, kSlack);
            }
        }
    }
}

// --- Captions and numbering --------------------------------------------------------

// A page of several: Previous and Next inside the classic title-safe area, clear of
// every item and of the footnote in each layout; the first page has no Previous, the
// last no Next, and a single page draws neither nor an indicator.
TEST(DrawMenuPages, PageButtonsStayInsideTitleSafeAndClearOfItemsAndFootnote)
{
    struct Case {
        bool thumbs;
        int size; // caption and title size
        const char* footnote;
    };
    const Rect safe{72, 58, 648, 518};
    for (const Case& k : {Case{true, 10, "Footnote"}, Case{true, 15, "Footnote"},
                          Case{false, 10, ""}, Case{false, 15, "Footnote"}}) {
        for (int page = 0; page <= 3; ++page) { // 0: a single page
            SCOPED_TRACE(::testing::Message() << k.thumbs << " " << k.size << " " << page);
            MenuDocument doc = makeDocument();
            doc.thumbs = k.thumbs;
            doc.captionsize = doc.titlesize = k.size;
            doc.footnote = k.footnote;
            doc.menuPage = std::max(page, 1);
            doc.menuPageCount = page == 0 ? 1 : 3;
            RecordingCanvas canvas(720, 576, true);
            Picture scratch;
            MenuGeometry geometry;
            DrawMenu(doc, canvas, scratch, false, nullptr, &geometry);
            const std::size_t expected = page == 0 ? 0 : (page > 1) + (page < 3);
            ASSERT_EQ(geometry.pageButtons.size(), expected);
            EXPECT_EQ(canvas.text("2 / 3") != nullptr, page == 2);
            EXPECT_EQ(canvas.text("1 / 1"), nullptr);
            const DrawnText* note = nullptr;
            for (const DrawnText& t : geometry.texts)
                if (t.field == MenuField::Footnote && !t.text.empty())
                    note = &t;
            std::vector<Rect> boxes;
            for (const DrawnPageButton& b : geometry.pageButtons)
                boxes.push_back(b.label.box);
            if (const Op* indicator = canvas.text(std::to_string(doc.menuPage) + " / 3"))
                boxes.push_back({indicator->x, indicator->y,
                                 indicator->x + 5 * indicator->height / 2,
                                 indicator->y + indicator->height});
            for (const Rect& r : boxes) {
                EXPECT_TRUE(r.left >= safe.left && r.right <= safe.right && r.top >= safe.top &&
                            r.bottom <= safe.bottom)
                    << r;
                const auto apart = [&r](const Rect& o) {
                    return r.top >= o.bottom || r.bottom <= o.top || r.right <= o.left ||
                           r.left >= o.right;
                };
                for (const DrawnItem& item : geometry.items)
                    EXPECT_TRUE(apart(item.button)) << r << " meets item " << item.item;
                if (note) {
                    EXPECT_TRUE(apart(note->box)) << r << " meets the footnote " << note->box;
                }
            }
        }
    }
}

TEST(DrawMenuCaptions, NumberingInGridAndList)
{
    MenuDocument doc = makeDocument();
    doc.items[3].menucaption = "Extras";
    RecordingCanvas grid = draw(doc, 720, 576);
    EXPECT_TRUE(grid.text("3"));         // empty caption: the bare number
    EXPECT_TRUE(grid.text("4. Extras")); // the separator only before a caption
    EXPECT_FALSE(grid.text("3. "));

    doc.thumbs = false;
    RecordingCanvas list = draw(doc, 720, 576);
    EXPECT_TRUE(list.text("3. ")); // the list always separates
    EXPECT_TRUE(list.text("4. Extras"));

    doc.numbers = false;
    for (bool thumbs : {true, false}) {
        doc.thumbs = thumbs;
        const RecordingCanvas c = draw(doc, 720, 576);
        EXPECT_TRUE(c.text("Extras"));
        EXPECT_EQ(c.of(Op::Text).size(), 13u);
        EXPECT_TRUE(c.text("")); // empty captions are measured and drawn all the same
    }
}

TEST(DrawMenuCaptions, NumbersCountFromMenustart)
{
    MenuDocument doc = makeDocument();
    doc.menustart = 990;
    RecordingCanvas c = draw(doc, 720, 576);
    for (int k = 990; k <= 999; ++k)
        EXPECT_TRUE(c.text(std::to_string(k))) << k;
    EXPECT_FALSE(c.text("1000"));

    doc.menustart = 0;
    doc.menucount = 2;
    c = draw(doc, 720, 576);
    EXPECT_TRUE(c.text("0"));
    EXPECT_TRUE(c.text("1"));
    EXPECT_FALSE(c.text("2"));
}

TEST(DrawMenuCaptions, ShadowComesFirstInBackgroundColourOffsetByOne)
{
    MenuDocument doc = makeDocument();
    doc.shadowtext = true;
    doc.textcolor = 0x112233;
    doc.bgcolor = 0x445566;
    for (bool thumbs : {true, false}) {
        doc.thumbs = thumbs;
        const std::vector<Op> texts = draw(doc, 720, 576).of(Op::Text);
        ASSERT_EQ(texts.size(), 26u);
        for (std::size_t i = 0; i < texts.size(); i += 2) {
            SCOPED_TRACE(texts[i + 1].text);
            EXPECT_EQ(texts[i].color, 0x445566u);
            EXPECT_EQ(texts[i + 1].color, 0x112233u);
            EXPECT_EQ(texts[i].text, texts[i + 1].text);
            EXPECT_EQ(texts[i].x, texts[i + 1].x + 1);
            EXPECT_EQ(texts[i].y, texts[i + 1].y + 1);
        }
    }
    doc.shadowtext = false;
    for (const Op& text : draw(doc, 720, 576).of(Op::Text))
        EXPECT_EQ(text.color, 0x112233u);
}

// --- Thumbnails --------------------------------------------------------------------

struct FitCase {
    int pictureWidth;
    int pictureHeight;
    Rect expected; // item 1 of ten on 720 x 576: box 122 x 98 at (25, 161)
};

TEST(DrawMenuThumbnails, FitKeepsProportionsInsideADoubleFrame)
{
    const FitCase cases[] = {
        {200, 100, {25, 179, 147, 240}}, // wider: full width, dh = 61, centred vertically
        {100, 200, {61, 161, 110, 259}}, // taller: full height, dw = 49, centred horizontally
        {244, 196, {25, 161, 147, 259}}, // the box's own proportions fill it
        {400, 100, {25, 195, 147, 225}}, // dh = R(30.5) = 30: an exact half goes to even
    };
    for (const FitCase& fit : cases) {
        SCOPED_TRACE(std::to_string(fit.pictureWidth) + "x" + std::to_string(fit.pictureHeight));
        MenuDocument doc = makeDocument();
        setThumbnail(doc, 1, fit.pictureWidth, fit.pictureHeight);
        const RecordingCanvas c = draw(doc, 720, 576);
        const std::vector<Op> stretches = c.of(Op::Stretch);
        ASSERT_EQ(stretches.size(), 1u);
        EXPECT_EQ(stretches[0].picture, &doc.item(1).source.ThumbnailImage);
        EXPECT_EQ(stretches[0].rect, fit.expected);
        const std::vector<Op> frames = c.of(Op::Frame);
        ASSERT_EQ(frames.size(), 20u);
        const Rect& e = fit.expected;
        EXPECT_EQ(frames[0].rect, e);
        EXPECT_EQ(frames[1].rect, (Rect{e.left - 1, e.top - 1, e.right + 1, e.bottom + 1}));
        // The caption stays centred under the box, not under the picture.
        EXPECT_EQ(c.text("1")->x, 25 + 56);
        EXPECT_EQ(c.text("1")->y, 161 + 98 + 6);
    }
}

TEST(DrawMenuThumbnails, SourcesWithoutAPictureShowTheEmptyBoxFrame)
{
    MenuDocument doc = makeDocument();
    doc.item(1).source.menuclip = "/clips/movie.avi"; // source, no picture
    doc.item(2).source.ThumbnailImage.reset(50, 50);  // picture, no source
    const RecordingCanvas c = draw(doc, 720, 576);
    EXPECT_TRUE(c.of(Op::Stretch).empty());
    const std::vector<Rect> boxes = boxesOf(c);
    ASSERT_EQ(boxes.size(), 10u);
    EXPECT_EQ(boxes[0], (Rect{25, 161, 147, 259}));
    EXPECT_EQ(boxes[1], (Rect{162, 161, 284, 259}));
}

TEST(DrawMenuThumbnails, ExtremeProportionsDrawNoPictureButBothOutlines)
{
    MenuDocument doc = makeDocument();
    setThumbnail(doc, 1, 1000, 1); // dh = R(0.122) = 0
    setThumbnail(doc, 2, 1, 1000); // dw = R(0.098) = 0
    for (bool filtered : {false, true}) {
        SCOPED_TRACE(filtered);
        const RecordingCanvas c = draw(doc, 720, 576, filtered);
        EXPECT_TRUE(c.of(Op::Stretch).empty());
        EXPECT_TRUE(c.of(Op::Copy).empty());
        const std::vector<Op> frames = c.of(Op::Frame);
        ASSERT_EQ(frames.size(), 20u);
        EXPECT_EQ(frames[0].rect, (Rect{25, 210, 147, 210}));
        EXPECT_EQ(frames[1].rect, (Rect{24, 209, 148, 211}));
        EXPECT_EQ(frames[2].rect, (Rect{223, 161, 223, 259}));
        EXPECT_EQ(frames[3].rect, (Rect{222, 160, 224, 260}));
    }
}

TEST(DrawMenuThumbnails, FilteredPicturesAreRescaledToTheirRectangleAndCopied)
{
    MenuDocument doc = makeDocument();
    doc.BackgroundPicture.reset(64, 48);
    setThumbnail(doc, 2, 200, 100);
    RecordingCanvas canvas(720, 576);
    Picture scratch;
    DrawMenu(doc, canvas, scratch, true);
    const std::vector<Op> copies = canvas.of(Op::Copy);
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(canvas.ops.front().kind, Op::Copy); // no fill under a background picture
    EXPECT_EQ(copies[0].rect, (Rect{0, 0, 720, 576}));
    EXPECT_EQ(copies[1].rect, (Rect{162, 179, 284, 240}));
    EXPECT_TRUE(canvas.of(Op::Stretch).empty());

    const RecordingCanvas fast = draw(doc, 720, 576, false);
    ASSERT_EQ(fast.ops.front().kind, Op::Stretch);
    EXPECT_EQ(fast.ops.front().rect, (Rect{0, 0, 720, 576}));
    EXPECT_EQ(fast.ops.front().picture, &doc.BackgroundPicture);
}

// --- Counts outside 0..10 and disabled rendering -----------------------------------

TEST(DrawMenuLimits, CountsOutsideTheTableAreSafe)
{
    MenuDocument doc = makeDocument();
    for (int i = 1; i <= 10; ++i)
        setThumbnail(doc, i, 40, 30);
    for (bool thumbs : {true, false}) {
        SCOPED_TRACE(thumbs);
        doc.thumbs = thumbs;
        doc.menucount = 15;
        RecordingCanvas c = draw(doc, 720, 576);
        EXPECT_EQ(c.of(Op::Text).size(), 13u);
        EXPECT_FALSE(c.text("11"));
        EXPECT_EQ(c.of(Op::Stretch).size(), thumbs ? 10u : 0u);

        doc.menucount = -3;
        c = draw(doc, 720, 576);
        EXPECT_EQ(c.of(Op::Text).size(), 3u);
        EXPECT_TRUE(c.of(Op::Frame).empty());
        EXPECT_EQ(c.text("Title")->y, 230 - 58);
    }
}

TEST(DrawMenuLimits, NothingIsDrawnWhileRenderingIsDisabled)
{
    MenuDocument doc = makeDocument();
    doc.RenderEnabled = false;
    EXPECT_TRUE(draw(doc, 720, 576).ops.empty());
    Picture scratch;
    const Picture image = ComposeMenuImage(doc, scratch);
    Picture blank(image.width(), image.height());
    EXPECT_TRUE(image.samePixels(blank));
}

TEST(DrawMenuLimits, TinyTargetsDoNotFail)
{
    MenuDocument doc = makeDocument();
    setThumbnail(doc, 1, 30, 20);
    for (int size : {0, 1, 3}) {
        SCOPED_TRACE(size);
        EXPECT_NO_THROW(draw(doc, size, size));
        EXPECT_NO_THROW(draw(doc, size, size, true));
    }
}

// --- The Qt canvas on real pixels --------------------------------------------------

class PictureCanvasTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!QGuiApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "test_drawmenu";
            static char* argv[] = {name, nullptr};
            // Kept for the whole run: fonts must not outlive the application object.
            new QGuiApplication(argc, argv);
        }
    }

    static bool isColor(const Picture& p, int x, int y, std::uint8_t r, std::uint8_t g,
                        std::uint8_t b)
    {
        const std::uint8_t* px = p.pixel(x, y);
        return px[0] == r && px[1] == g && px[2] == b;
    }
    static bool isWhite(const Picture& p, int x, int y) { return isColor(p, x, y, 255, 255, 255); }

    // Bounding box of the pixels that are not white; empty rect when there are none.
    static Rect inkBox(const Picture& p)
    {
        Rect box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
        for (int y = 0; y < p.height(); ++y)
            for (int x = 0; x < p.width(); ++x)
                if (!isWhite(p, x, y)) {
                    box.left = std::min(box.left, x);
                    box.top = std::min(box.top, y);
                    box.right = std::max(box.right, x + 1);
                    box.bottom = std::max(box.bottom, y + 1);
                }
        return box.left == INT_MAX ? Rect{} : box;
    }
};

TEST_F(PictureCanvasTest, FillAndFrameSetExactlyTheirPixels)
{
    Picture p(20, 16);
    {
        PictureCanvas canvas(p);
        EXPECT_EQ(canvas.width(), 20);
        EXPECT_EQ(canvas.height(), 16);
        canvas.fillRect({2, 3, 6, 5}, 0x0000FF);     // red
        canvas.frameRect({10, 8, 15, 14}, 0xFF0000); // blue
        canvas.frameRect({0, 15, 1, 16}, 0x00FF00);  // a one-pixel outline is a dot
        canvas.frameRect({5, 10, 5, 12}, 0x000000);  // empty: nothing
    }
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 20; ++x) {
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            const bool fill = x >= 2 && x < 6 && y >= 3 && y < 5;
            const bool frame =
                x >= 10 && x < 15 && y >= 8 && y < 14 && (x == 10 || x == 14 || y == 8 || y == 13);
            if (fill) {
                EXPECT_TRUE(isColor(p, x, y, 255, 0, 0));
            } else if (frame) {
                EXPECT_TRUE(isColor(p, x, y, 0, 0, 255));
            } else if (x == 0 && y == 15) {
                EXPECT_TRUE(isColor(p, x, y, 0, 255, 0));
            } else {
                EXPECT_TRUE(isWhite(p, x, y));
            }
        }
}

TEST_F(PictureCanvasTest, EverythingIsClippedToThePicture)
{
    Picture source(10, 10);
    source.fill(0, 0, 0);
    Picture p(8, 6);
    {
        PictureCanvas canvas(p);
        canvas.fillRect({-5, -5, 2, 1}, 0);
        canvas.fillRect({INT_MIN, 100, INT_MAX, INT_MAX}, 0);
        canvas.frameRect({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 0);
        canvas.stretchPicture(source, {6, 4, 600, 400});
        canvas.stretchPicture(source, {-100, -100, -1, -1});
        canvas.stretchPicture(source, {INT_MIN, INT_MIN, INT_MAX, INT_MAX});
        canvas.copyPicture(source, 100, 0);
        canvas.copyPicture(source, INT_MIN, INT_MIN);
        canvas.copyPicture(source, INT_MAX, INT_MAX);
    }
    // The huge stretch covers everything; check the clipped ones on a fresh picture.
    Picture q(8, 6);
    {
        PictureCanvas canvas(q);
        canvas.fillRect({-5, -5, 2, 1}, 0);
        canvas.stretchPicture(source, {6, 4, 600, 400});
        canvas.copyPicture(source, -9, 5);
    }
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool black = (x < 2 && y < 1) || (x >= 6 && y >= 4) || (x == 0 && y == 5);
            EXPECT_EQ(isWhite(q, x, y), !black) << x << "," << y;
        }
    Picture empty;
    PictureCanvas onEmpty(empty);
    onEmpty.fillRect({0, 0, 10, 10}, 0);
    onEmpty.stretchPicture(source, {0, 0, 5, 5});
    onEmpty.selectFont("", 20, true);
    onEmpty.drawText(0, 0, "text", 0);
}

TEST_F(PictureCanvasTest, NearestStretchTakesTheSourceUnderEachPixelCentre)
{
    Picture row(10, 1);
    for (int x = 0; x < 10; ++x)
        row.pixel(x, 0)[0] = static_cast<std::uint8_t>(x);
    Picture column(1, 4);
    for (int y = 0; y < 4; ++y)
        column.pixel(0, y)[1] = static_cast<std::uint8_t>(y);

    Picture p(12, 12);
    {
        PictureCanvas canvas(p);
        canvas.stretchPicture(row, {0, 0, 4, 1});     // shrink 10 -> 4
        canvas.stretchPicture(row, {-3, 1, 7, 2});    // 1:1, three columns cut off at the left
        canvas.stretchPicture(column, {0, 2, 1, 12}); // enlarge 4 -> 10
        canvas.copyPicture(row, 2, 11);
    }
    const int shrink[4] = {1, 3, 6, 8};
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(p.pixel(x, 0)[0], shrink[x]) << x;
    for (int x = 0; x < 7; ++x)
        EXPECT_EQ(p.pixel(x, 1)[0], x + 3) << x;
    const int enlarge[10] = {0, 0, 1, 1, 1, 2, 2, 3, 3, 3};
    for (int y = 0; y < 10; ++y)
        EXPECT_EQ(p.pixel(0, 2 + y)[1], enlarge[y]) << y;
    for (int x = 2; x < 12; ++x)
        EXPECT_EQ(p.pixel(x, 11)[0], x - 2) << x;

    // Rows without padding: the last pixel of the last row ends the buffer.
    Picture tight(4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            tight.pixel(x, y)[0] = static_cast<std::uint8_t>(10 * y + x);
            tight.pixel(x, y)[2] = static_cast<std::uint8_t>(100 + x);
        }
    Picture q(8, 4);
    {
        PictureCanvas canvas(q);
        canvas.stretchPicture(tight, {0, 0, 8, 4});
    }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(q.pixel(x, y)[0], 10 * (y / 2) + x / 2) << x << "," << y;
            EXPECT_EQ(q.pixel(x, y)[1], 255) << x << "," << y;
            EXPECT_EQ(q.pixel(x, y)[2], 100 + x / 2) << x << "," << y;
        }
}

TEST_F(PictureCanvasTest, MeasuredHeightIsTheCellAndTextLandsInsideIt)
{
    for (int height : {7, 19, 23, 35, 58}) {
        SCOPED_TRACE(height);
        Picture p(400, 120);
        PictureCanvas canvas(p);
        canvas.selectFont("", height, true);
        const TextSize size = canvas.measureText("Hgjy Title");
        EXPECT_EQ(size.height, height);
        EXPECT_GT(size.width, height);
        EXPECT_EQ(canvas.measureText("").width, 0);
        EXPECT_GT(canvas.measureText("Hgjy Title Title").width, size.width);

        canvas.drawText(30, 40, "Hgjy Title", 0x000000);
        canvas.fillRect({0, 0, 1, 1}, 0xFFFFFF); // ends the text drawing
        const Rect ink = inkBox(p);
        ASSERT_LT(ink.left, ink.right) << "no text drawn";
        EXPECT_GE(ink.left, 30 - 1);
        EXPECT_LE(ink.right, 30 + size.width + 2);
        EXPECT_GE(ink.top, 40);
        EXPECT_LE(ink.bottom, 40 + height + 1);
        // Capitals and descenders fill most of the cell.
        EXPECT_GE(ink.bottom - ink.top, height * 3 / 4);
    }
}

TEST_F(PictureCanvasTest, TextAndByteWritesKeepTheirOrder)
{
    Picture p(200, 60);
    {
        PictureCanvas canvas(p);
        canvas.selectFont("Arial", 40, true);
        canvas.drawText(10, 10, "HHHH", 0x000000);
        canvas.fillRect({0, 0, 200, 30}, 0xFFFFFF); // covers the upper part of the text
        canvas.drawText(10, 10, "", 0x000000);
    }
    const Rect ink = inkBox(p);
    ASSERT_LT(ink.top, ink.bottom);
    EXPECT_GE(ink.top, 30);

    Picture q(200, 60);
    {
        PictureCanvas canvas(q);
        canvas.fillRect({0, 0, 200, 60}, 0x0000FF);
        canvas.selectFont("Arial", 40, true);
        canvas.drawText(10, 10, "HHHH", 0xFFFFFF);
    }
    int white = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            white += isWhite(q, x, y);
    EXPECT_GT(white, 100); // the text stands on the fill, not under it
}

TEST_F(PictureCanvasTest, EmptyFaceKeepsTheFaceOfThePreviousSelection)
{
    // fonts-dejavu-core is installed by scripts/deps.
    ASSERT_TRUE(QFontDatabase::families().contains("DejaVu Sans Mono"));
    Picture p(10, 10);
    PictureCanvas canvas(p);
    canvas.selectFont("", 30, false); // a fresh canvas: the proportional "Arial" match
    EXPECT_LT(canvas.measureText("iiii").width, canvas.measureText("WWWW").width);
    canvas.selectFont("DejaVu Sans Mono", 30, false);
    canvas.selectFont("", 20, true);
    EXPECT_EQ(canvas.measureText("iiii").width, canvas.measureText("WWWW").width);
}

// --- Whole compositions on real pixels ---------------------------------------------

TEST_F(PictureCanvasTest, ComposedImageHasTheGridFramesAtTheLayoutPixels)
{
    MenuDocument doc;
    doc.RenderEnabled = true;
    doc.selectVideoMode(3);
    Picture scratch;
    const Picture image = ComposeMenuImage(doc, scratch);
    ASSERT_EQ(image.width(), 720);
    ASSERT_EQ(image.height(), 576);

    const int xs[5] = {25, 162, 299, 436, 573};
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        const int x = xs[i % 5];
        const int y = i < 5 ? 161 : 334;
        for (auto [px, py] : {std::pair{x, y},
                              {x + 121, y + 97},
                              {x - 1, y - 1},
                              {x + 122, y + 98},
                              {x + 60, y},
                              {x, y + 50}}) {
            EXPECT_TRUE(isColor(image, px, py, 0, 0, 0)) << px << "," << py;
        }
        for (auto [px, py] : {std::pair{x - 2, y - 2},
                              {x + 1, y + 1},
                              {x + 61, y + 49},
                              {x + 120, y + 96},
                              {x + 123, y + 40}}) {
            EXPECT_TRUE(isWhite(image, px, py)) << px << "," << py;
        }
    }
    // The title's ink sits in its cell above 0.155 H.
    bool titleInk = false;
    for (int y = 31; y < 89 && !titleInk; ++y)
        for (int x = 300; x < 420; ++x)
            titleInk |= !isWhite(image, x, y);
    EXPECT_TRUE(titleInk);
}

TEST_F(PictureCanvasTest, CachedFilteredDrawingEqualsUncached)
{
    MenuDocument doc;
    doc.RenderEnabled = true;
    doc.BackgroundPicture.reset(96, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x)
            doc.BackgroundPicture.pixel(x, y)[0] = static_cast<std::uint8_t>(x * 2 + y);
    setThumbnail(doc, 1, 40, 30);
    doc.item(1).source.ThumbnailImage.fill(200, 10, 10);

    ScaledPictureCache cache;
    auto compose = [&](ScaledPictureCache* c) {
        Picture target(360, 288);
        Picture scratch;
        PictureCanvas canvas(target);
        DrawMenu(doc, canvas, scratch, true, c);
        return target;
    };
    EXPECT_TRUE(compose(&cache).samePixels(compose(nullptr)));
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_TRUE(compose(&cache).samePixels(compose(nullptr)));

    // The same picture objects with new pixels must not reuse the old rescales.
    doc.item(1).source.ThumbnailImage.fill(10, 200, 10);
    doc.BackgroundPicture.pixel(5, 5)[2] = 0;
    EXPECT_TRUE(compose(&cache).samePixels(compose(nullptr)));
}

// A square-pixel background with a round disc, composed for a 4:3 and a 16:9 TV: the
// frame holds the anamorphic squeeze (the disc 45/64 as wide as high in 16:9, 15/16 in
// 4:3), and the geometry stays on the display canvas.
TEST_F(PictureCanvasTest, AspectSqueezesTheDisplayCanvasIntoTheFrame)
{
    struct Case {
        MenuAspect aspect;
        int displayWidth;
        double widthPerHeight;
    };
    for (const Case& c :
         {Case{MenuAspect::Wide, 1024, 45.0 / 64}, Case{MenuAspect::Standard, 768, 15.0 / 16}}) {
        MenuDocument doc;
        doc.RenderEnabled = true;
        doc.selectVideoMode(3);
        doc.aspect = c.aspect;
        doc.title = doc.subtitle = doc.footnote = "";
        doc.menucount = 0;
        // A disc of diameter 400 in the middle of a picture of the display shape.
        doc.BackgroundPicture.reset(c.displayWidth, 576);
        for (int y = 0; y < 576; ++y)
            for (int x = 0; x < c.displayWidth; ++x) {
                const double dx = x + 0.5 - c.displayWidth / 2.0, dy = y + 0.5 - 288;
                if (dx * dx + dy * dy <= 200.0 * 200.0)
                    std::fill_n(doc.BackgroundPicture.pixel(x, y), 3, std::uint8_t{0});
            }
        Picture scratch;
        MenuGeometry geometry;
        const Picture image = ComposeMenuImage(doc, scratch, &geometry);
        ASSERT_EQ(image.width(), 720);
        ASSERT_EQ(image.height(), 576);
        EXPECT_EQ(geometry.width, c.displayWidth);
        // The ellipse's extent where it is darker than mid-grey.
        Rect box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
        for (int y = 0; y < 576; ++y)
            for (int x = 0; x < 720; ++x)
                if (image.pixel(x, y)[0] < 128) {
                    box.left = std::min(box.left, x);
                    box.top = std::min(box.top, y);
                    box.right = std::max(box.right, x + 1);
                    box.bottom = std::max(box.bottom, y + 1);
                }
        const int w = box.right - box.left, h = box.bottom - box.top;
        EXPECT_NEAR(h, 400, 1);
        EXPECT_NEAR(w, h * c.widthPerHeight, 1.0) << w << " x " << h;
        EXPECT_NEAR(box.left + w / 2.0, 360, 1);
    }
}

// "pixels" composes exactly as a plain drawing on the frame; the options left off add nothing.
TEST_F(PictureCanvasTest, PixelsAspectExportsExactlyThePlainDrawing)
{
    MenuDocument doc;
    doc.RenderEnabled = true;
    doc.selectVideoMode(2);
    doc.shadowtext = true;
    doc.title = "A title far too long for the frame, cut at both edges of it";
    doc.BackgroundPicture.reset(300, 200);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            doc.BackgroundPicture.pixel(x, y)[(x + y) % 3] = static_cast<std::uint8_t>(x ^ y);
    setThumbnail(doc, 2, 160, 90);
    Picture scratch;
    Picture plain(720, 480);
    {
        PictureCanvas canvas(plain);
        DrawMenu(doc, canvas, scratch, true);
    }
    EXPECT_TRUE(ComposeMenuImage(doc, scratch).samePixels(plain));
}

// "TV-safe output": saturation lowered with the luma kept, white and black untouched, then
// a 1-2-1 vertical blur of each column.
TEST_F(PictureCanvasTest, TvSafeOutputTonesDownSaturationAndBlursRows)
{
    Picture column(2, 4);
    const std::uint8_t values[4] = {0, 255, 0, 255};
    for (int y = 0; y < 4; ++y)
        std::fill_n(column.row(y), 6, values[y]);
    MakeTvSafe(column);
    // The edge rows repeat: (0 + 2 x 0 + 255 + 2) / 4 = 64, (0 + 2 x 255 + 0 + 2) / 4 = 128,
    // 128, (0 + 2 x 255 + 255 + 2) / 4 = 191.
    EXPECT_EQ(column.pixel(0, 0)[0], 64);
    EXPECT_EQ(column.pixel(0, 1)[0], 128);
    EXPECT_EQ(column.pixel(0, 2)[0], 128);
    EXPECT_EQ(column.pixel(0, 3)[0], 191);

    // One row, so the blur leaves each pixel as it is: the colour bars come out inside
    // the gamut at their own luma; white, black and grey unchanged.
    // Yellow, cyan, green, magenta, red, blue, white, black, grey.
    const std::uint8_t bars[9][3] = {{255, 255, 0},   {0, 255, 255}, {0, 255, 0},
                                     {255, 0, 255},   {255, 0, 0},   {0, 0, 255},
                                     {255, 255, 255}, {0, 0, 0},     {128, 128, 128}};
    Picture row(9, 1);
    for (int x = 0; x < 9; ++x)
        std::copy_n(bars[x], 3, row.pixel(x, 0));
    MakeTvSafe(row);
    for (int x = 0; x < 9; ++x) {
        const std::uint8_t* in = bars[x];
        const std::uint8_t* out = row.pixel(x, 0);
        const auto luma = [](auto p) { return (0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]) / 255; };
        const double y = luma(out);
        const double u = 0.492 * (out[2] / 255.0 - y);
        const double v = 0.877 * (out[0] / 255.0 - y);
        const double c = std::sqrt(u * u + v * v);
        EXPECT_NEAR(y, luma(in), 0.003) << x;
        EXPECT_TRUE(y + c <= 1.10 && y - c >= -0.10) << x;
        if (x < 6) // saturated: toned only as far as the limit
            EXPECT_TRUE(y + c > 1.07 || y - c < -0.07) << x;
        else
            EXPECT_TRUE(std::equal(in, in + 3, out)) << x;
    }
}

} // namespace

// The display canvas of every disc frame and aspect, from the generic pixel aspect ratios.
TEST(DisplayAspect, DisplayWidthsOfTheDiscFrames)
{
    struct Case {
        int w, h;
        MenuAspect aspect;
        int display;
    };
    const Case cases[] = {
        {720, 576, MenuAspect::Standard, 768}, {720, 576, MenuAspect::Wide, 1024},
        {704, 576, MenuAspect::Standard, 768}, {704, 576, MenuAspect::Wide, 1024},
        {720, 480, MenuAspect::Standard, 640}, {720, 480, MenuAspect::Wide, 853},
        {704, 480, MenuAspect::Standard, 640}, {704, 480, MenuAspect::Wide, 853},
        {720, 576, MenuAspect::Pixels, 720},   {512, 409, MenuAspect::Wide, 512},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DisplayWidth(c.w, c.h, c.aspect), c.display) << c.w << "x" << c.h;
}
