#include "subtitlepainter.h"

#include "render/picturecanvas.h"
#include "render/safearea.h"

#include <algorithm>
#include <cmath>

namespace {

enum : std::uint8_t {
    kClear = 0,
    kFill = 1,
    kOutline = 2,
    kEdge = 3, // anti-aliased rim of the letters
};

constexpr int kMaxLines = 4;
constexpr int kColumnsPerLine = 200; // bytes of a line we wrap; the rest cannot be shown

// Marks every clear pixel within `radius` of a letter as outline: a two-pass chamfer
// distance (3 straight, 4 diagonal), so the cost does not grow with the radius.
void addOutline(std::vector<std::uint8_t>& index, int width, int height, int radius)
{
    const int far = 1 << 20;
    std::vector<int> dist(index.size());
    for (std::size_t i = 0; i < index.size(); ++i)
        dist[i] = index[i] == kClear ? far : 0;
    auto at = [&](int x, int y) -> int& { return dist[static_cast<std::size_t>(y) * width + x]; };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int& d = at(x, y);
            if (x > 0)
                d = std::min(d, at(x - 1, y) + 3);
            if (y > 0) {
                d = std::min(d, at(x, y - 1) + 3);
                if (x > 0)
                    d = std::min(d, at(x - 1, y - 1) + 4);
                if (x + 1 < width)
                    d = std::min(d, at(x + 1, y - 1) + 4);
            }
        }
    for (int y = height - 1; y >= 0; --y)
        for (int x = width - 1; x >= 0; --x) {
            int& d = at(x, y);
            if (x + 1 < width)
                d = std::min(d, at(x + 1, y) + 3);
            if (y + 1 < height) {
                d = std::min(d, at(x, y + 1) + 3);
                if (x + 1 < width)
                    d = std::min(d, at(x + 1, y + 1) + 4);
                if (x > 0)
                    d = std::min(d, at(x - 1, y + 1) + 4);
            }
        }
    for (std::size_t i = 0; i < index.size(); ++i)
        if (index[i] == kClear && dist[i] <= 3 * radius + 1)
            index[i] = kOutline;
}

// Cuts the image down to what is not clear, with the top and the height even: the
// subpicture's two fields then start on the same line of the frame.
void crop(SubpictureImage& image)
{
    int left = image.width, right = -1, top = image.height, bottom = -1;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.index[static_cast<std::size_t>(y) * image.width + x] != kClear) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right < 0) {
        image = SubpictureImage{};
        return;
    }
    top -= (image.y + top) % 2;
    top = std::max(top, 0);
    int height = bottom + 1 - top;
    height += height % 2;
    const int width = right + 1 - left;
    std::vector<std::uint8_t> cut(static_cast<std::size_t>(width) * height, kClear);
    for (int y = 0; y < height && top + y < image.height; ++y)
        std::copy_n(image.index.begin() +
                        (static_cast<std::ptrdiff_t>(top + y) * image.width + left),
                    width, cut.begin() + static_cast<std::ptrdiff_t>(y) * width);
    image.x += left;
    image.y += top;
    image.width = width;
    image.height = height;
    image.index = std::move(cut);
}

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t end = std::min(line.find(' ', start), line.size());
        if (end > start)
            out.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// Greedy word wrap of every line to `maxWidth`; `fits` tells whether every piece fits
// and there are no more than kMaxLines of them.
std::vector<std::string> layout(Canvas& canvas, const std::vector<std::string>& lines, int maxWidth,
                                bool& fits)
{
    std::vector<std::string> out;
    fits = true;
    for (const std::string& line : lines) {
        std::string current;
        for (const std::string& word : words(line.substr(0, kColumnsPerLine))) {
            const std::string longer = current.empty() ? word : current + " " + word;
            if (!current.empty() && canvas.measureText(longer).width > maxWidth) {
                out.push_back(current);
                current = word;
            } else {
                current = longer;
            }
        }
        if (!current.empty())
            out.push_back(current);
    }
    for (const std::string& line : out)
        fits = fits && canvas.measureText(line).width <= maxWidth;
    fits = fits && out.size() <= static_cast<std::size_t>(kMaxLines);
    return out;
}

// The palette of drawn text; spumux turns it into the subpicture's colours.
std::vector<PaletteEntry> textPalette()
{
    return {{0, 0, 0, 0}, {255, 255, 255, 255}, {16, 16, 16, 255}, {128, 128, 128, 255}};
}

} // namespace

SubtitlePainter::SubtitlePainter(const SubpictureFrame& frame)
    : m_frame(frame),
      m_drawWidth(static_cast<int>(std::lround(frame.height * (frame.wide ? 16.0 / 9 : 4.0 / 3))))
{
    // Pixel x of the frame covers [x * from / to, (x + 1) * from / to) of the drawing; the
    // widths differ by less than half, so three drawn pixels at most meet one.
    const int from = m_drawWidth, to = frame.width;
    m_taps.resize(static_cast<std::size_t>(to));
    for (int x = 0; x < to; ++x) {
        const double a = double(x) * from / to, b = double(x + 1) * from / to;
        Tap& t = m_taps[static_cast<std::size_t>(x)];
        t.first = static_cast<int>(a);
        for (int s = t.first; s < from && s < b && t.count < 3; ++s)
            t.weight[t.count++] = static_cast<int>(
                std::lround(256 * (std::min<double>(s + 1, b) - std::max<double>(s, a)) / (b - a)));
    }
}

SubpictureImage SubtitlePainter::paint(const std::vector<std::string>& lines)
{
    const int baseCell = m_frame.height * 2 / 27;
    const int radius = std::max(2, baseCell / 14);
    const int margin = radius + 2;
    const Rect safe = ComputeSafeAreas(m_drawWidth, m_frame.height, SafeAreaSet::Current).title;
    Picture drawing(m_drawWidth, kMaxLines * baseCell + 2 * margin);
    drawing.fill(0, 0, 0);
    const int top =
        drawLines(drawing, lines, baseCell, safe.right - safe.left - 2 * margin) - margin;
    // The rows above the text stay clear; the letters' coverage (red) decides the rest.
    SubpictureImage image;
    image.width = m_frame.width;
    image.height = drawing.height() - std::max(0, top);
    image.y = ComputeSafeAreas(m_frame.width, m_frame.height, SafeAreaSet::Current).title.bottom -
              image.height;
    image.index.resize(static_cast<std::size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = drawing.row(drawing.height() - image.height + y);
        std::uint8_t* out = image.index.data() + static_cast<std::size_t>(y) * image.width;
        for (int x = 0; x < image.width; ++x) {
            const Tap& t = m_taps[static_cast<std::size_t>(x)];
            int c = 0;
            for (int k = 0; k < t.count; ++k)
                c += row[3 * (t.first + k)] * t.weight[k];
            out[x] = c >= 160 * 256 ? kFill : c >= 64 * 256 ? kEdge : kClear;
        }
    }
    addOutline(image.index, image.width, image.height, radius);
    crop(image);
    image.palette = textPalette();
    return image;
}

int SubtitlePainter::drawLines(Picture& drawing, const std::vector<std::string>& lines,
                               int baseCell, int maxWidth) const
{
    PictureCanvas canvas(drawing);
    std::vector<std::string> shown;
    bool fits = false;
    // Long cues are drawn smaller, down to 60 %, before anything is cut off.
    for (int cell = baseCell; !fits && cell >= baseCell * 6 / 10; cell = cell * 9 / 10) {
        canvas.selectFont("Arial", cell, true);
        shown = layout(canvas, lines, maxWidth, fits);
    }
    if (shown.size() > static_cast<std::size_t>(kMaxLines))
        shown.resize(kMaxLines);
    const int cell = canvas.measureText("Ag").height;
    const int top = drawing.height() - (drawing.height() - kMaxLines * baseCell) / 2 -
                    static_cast<int>(shown.size()) * cell;
    int y = top;
    for (const std::string& line : shown) {
        canvas.drawText((m_drawWidth - canvas.measureText(line).width) / 2, y, line, 0xFFFFFF);
        y += cell;
    }
    return top;
}

SubpictureImage PlaceSubtitleBitmap(const SubtitleBitmap& bitmap, int sourceWidth, int sourceHeight,
                                    const SubpictureFrame& frame)
{
    SubpictureImage image;
    const bool same = sourceWidth == frame.width && sourceHeight == frame.height;
    // A stream without a frame size is taken as drawn for the disc's frame.
    const double sx = same || sourceWidth <= 0 ? 1.0 : double(frame.width) / sourceWidth;
    const double sy = same || sourceHeight <= 0 ? 1.0 : double(frame.height) / sourceHeight;
    const int left = std::clamp(static_cast<int>(bitmap.x * sx), 0, frame.width - 1);
    const int top = std::clamp(static_cast<int>(bitmap.y * sy), 0, frame.height - 1);
    image.width =
        std::clamp(static_cast<int>(std::lround(bitmap.width * sx)), 1, frame.width - left);
    image.height =
        std::clamp(static_cast<int>(std::lround(bitmap.height * sy)), 1, frame.height - top);
    image.x = left;
    image.y = top;
    image.index.resize(static_cast<std::size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y) {
        const int from = std::min(bitmap.height - 1, static_cast<int>(y / sy));
        for (int x = 0; x < image.width; ++x) {
            const int fx = std::min(bitmap.width - 1, static_cast<int>(x / sx));
            image.index[static_cast<std::size_t>(y) * image.width + x] =
                bitmap.index[static_cast<std::size_t>(from) * bitmap.width + fx];
        }
    }
    for (const std::uint32_t argb : bitmap.palette)
        image.palette.push_back(
            {static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
             static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(argb >> 24)});
    return image;
}
