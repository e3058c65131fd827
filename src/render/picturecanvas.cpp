#include "picturecanvas.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

// One selected font: a Qt font at an integer pixel size plus the scale that makes its
// ascent + descent exactly the requested cell height (Qt rounds pixel sizes to whole
// pixels, so fractional sizes are reached by scaling the drawing).
struct CanvasFont {
    QFont font;
    QFontMetricsF metrics;
    qreal ascent = 0;
    qreal scale = 1;
    int cellHeight = 1;

    explicit CanvasFont(const QFont& f) : font(f), metrics(f) {}
};

namespace {

// Far beyond any menu text; keeps absurd heights from costing seconds of glyph rendering.
constexpr int kMaxCellHeight = 32767;
constexpr int kReferencePixelSize = 256;
constexpr std::size_t kMaxCachedFonts = 256;

void requireGuiApplication()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw std::runtime_error("Text drawing needs a QGuiApplication");
}

// A face name counts up to its first 31 characters.
QString faceName(const std::string& face)
{
    const QString name = QString::fromUtf8(face.data(), static_cast<qsizetype>(face.size()));
    qsizetype units = 0;
    int characters = 0;
    while (units < name.size() && characters < 31) {
        units += (name.at(units).isHighSurrogate() && units + 1 < name.size()) ? 2 : 1;
        ++characters;
    }
    return name.left(units);
}

std::shared_ptr<const CanvasFont> makeFont(const std::string& face, int cellHeight, bool bold)
{
    QFont font;
    font.setFamilies(QStringList{faceName(face)});
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setPixelSize(kReferencePixelSize);
    const QFontMetricsF reference(font);
    qreal ratio = (reference.ascent() + reference.descent()) / kReferencePixelSize;
    if (!(ratio > 0))
        ratio = 1;
    const int pixelSize = std::max(1, static_cast<int>(std::lround(cellHeight / ratio)));
    font.setPixelSize(pixelSize);

    auto result = std::make_shared<CanvasFont>(font);
    result->cellHeight = cellHeight;
    result->ascent = result->metrics.ascent();
    const qreal cell = result->metrics.ascent() + result->metrics.descent();
    result->scale = cell > 0 ? cellHeight / cell : 1;
    return result;
}

// Fonts are shared by all canvases of a thread: the preview makes a new canvas for every
// drawing. A QFont caches its font engine for one thread at a time, so threads drawing
// menus side by side each get fonts of their own.
std::shared_ptr<const CanvasFont> cachedFont(const std::string& face, int cellHeight, bool bold)
{
    // Never destroyed: Qt fonts must not be released after the application object is gone.
    static std::mutex mutex;
    static auto& cache = *new std::map<std::tuple<std::string, int, bool, std::thread::id>,
                                       std::shared_ptr<const CanvasFont>>();

    std::lock_guard lock(mutex);
    auto key = std::make_tuple(face, cellHeight, bold, std::this_thread::get_id());
    if (auto it = cache.find(key); it != cache.end())
        return it->second;
    if (cache.size() >= kMaxCachedFonts)
        cache.clear();
    auto font = makeFont(face, cellHeight, bold);
    cache.emplace(std::move(key), font);
    return font;
}

QString toQString(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

struct Span {
    int begin = 0;
    int end = 0;
    bool empty() const { return begin >= end; }
};

// [from, to) clipped to [0, limit), computed in 64 bits so that extreme rectangles are safe.
Span clipSpan(long long from, long long to, int limit)
{
    const long long b = std::max<long long>(from, 0);
    const long long e = std::min<long long>(to, limit);
    if (b >= e)
        return {};
    return {static_cast<int>(b), static_cast<int>(e)};
}

} // namespace

PictureCanvas::PictureCanvas(Picture& target) : m_target(target) {}

PictureCanvas::~PictureCanvas()
{
    endPainting();
}

int PictureCanvas::width() const
{
    return m_target.width();
}

int PictureCanvas::height() const
{
    return m_target.height();
}

const Picture* PictureCanvas::drawnPixels()
{
    endPainting();
    return &m_target;
}

void PictureCanvas::endPainting()
{
    if (m_painter && m_painter->isActive())
        m_painter->end();
}

QPainter* PictureCanvas::painter()
{
    if (m_target.isEmpty())
        return nullptr;
    if (m_painter && m_painter->isActive())
        return m_painter.get();
    if (m_image.constBits() != m_target.data() || m_image.width() != m_target.width() ||
        m_image.height() != m_target.height()) {
        m_image = QImage(m_target.data(), m_target.width(), m_target.height(),
                         static_cast<qsizetype>(m_target.stride()), QImage::Format_RGB888);
    }
    if (!m_painter)
        m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(&m_image))
        throw std::runtime_error("Cannot draw text on the picture");
    return m_painter.get();
}

void PictureCanvas::fillRect(const Rect& rect, Color color)
{
    const Span xs = clipSpan(rect.left, rect.right, m_target.width());
    const Span ys = clipSpan(rect.top, rect.bottom, m_target.height());
    if (xs.empty() || ys.empty())
        return;
    endPainting();
    const std::uint8_t r = color & 0xFF;
    const std::uint8_t g = (color >> 8) & 0xFF;
    const std::uint8_t b = (color >> 16) & 0xFF;
    std::uint8_t* first = m_target.pixel(xs.begin, ys.begin);
    for (int x = xs.begin; x < xs.end; ++x) {
        std::uint8_t* p = first + 3 * (x - xs.begin);
        p[0] = r;
        p[1] = g;
        p[2] = b;
    }
    const std::size_t bytes = static_cast<std::size_t>(xs.end - xs.begin) * 3;
    for (int y = ys.begin + 1; y < ys.end; ++y)
        std::memcpy(m_target.pixel(xs.begin, y), first, bytes);
}

void PictureCanvas::frameRect(const Rect& rect, Color color)
{
    if (rect.left >= rect.right || rect.top >= rect.bottom)
        return;
    fillRect({rect.left, rect.top, rect.right, rect.top + 1}, color);
    fillRect({rect.left, rect.bottom - 1, rect.right, rect.bottom}, color);
    fillRect({rect.left, rect.top, rect.left + 1, rect.bottom}, color);
    fillRect({rect.right - 1, rect.top, rect.right, rect.bottom}, color);
}

void PictureCanvas::stretchPicture(const Picture& picture, const Rect& dest)
{
    const long long dw = static_cast<long long>(dest.right) - dest.left;
    const long long dh = static_cast<long long>(dest.bottom) - dest.top;
    if (picture.isEmpty() || dw <= 0 || dh <= 0)
        return;
    if (&picture == &m_target) {
        const Picture copy = picture;
        stretchPicture(copy, dest);
        return;
    }
    if (dw == picture.width() && dh == picture.height()) {
        copyPicture(picture, dest.left, dest.top);
        return;
    }
    const Span xs = clipSpan(dest.left, dest.right, m_target.width());
    const Span ys = clipSpan(dest.top, dest.bottom, m_target.height());
    if (xs.empty() || ys.empty())
        return;
    endPainting();

    // Source index floor((d + 0.5) * s / dsize), in integers.
    const long long sw = picture.width();
    const long long sh = picture.height();
    std::vector<std::ptrdiff_t> columns(static_cast<std::size_t>(xs.end - xs.begin));
    for (int x = xs.begin; x < xs.end; ++x) {
        const long long d = static_cast<long long>(x) - dest.left;
        columns[static_cast<std::size_t>(x - xs.begin)] =
            static_cast<std::ptrdiff_t>(3 * (((2 * d + 1) * sw) / (2 * dw)));
    }
    const std::size_t rowBytes = columns.size() * 3;
    const bool roomAfterLastPixel = picture.stride() > 3 * sw;
    long long previousSource = -1;
    const std::uint8_t* previousRow = nullptr;
    for (int y = ys.begin; y < ys.end; ++y) {
        const long long d = static_cast<long long>(y) - dest.top;
        const long long sy = ((2 * d + 1) * sh) / (2 * dh);
        std::uint8_t* out = m_target.pixel(xs.begin, y);
        if (sy == previousSource) {
            std::memcpy(out, previousRow, rowBytes);
            continue;
        }
        const std::uint8_t* in = picture.row(static_cast<int>(sy));
        std::size_t j = 0;
        // Four-byte moves are faster; each spills one byte that the next pixel
        // overwrites, and may read one byte past the source pixel, which must exist.
        if (sy + 1 < sh || roomAfterLastPixel) {
            for (; j + 1 < columns.size(); ++j, out += 3)
                std::memcpy(out, in + columns[j], 4);
        }
        for (; j < columns.size(); ++j, out += 3) {
            out[0] = in[columns[j]];
            out[1] = in[columns[j] + 1];
            out[2] = in[columns[j] + 2];
        }
        previousSource = sy;
        previousRow = m_target.pixel(xs.begin, y);
    }
}

void PictureCanvas::copyPicture(const Picture& picture, int x, int y)
{
    if (picture.isEmpty())
        return;
    if (&picture == &m_target) {
        const Picture copy = picture;
        copyPicture(copy, x, y);
        return;
    }
    const Span xs = clipSpan(x, static_cast<long long>(x) + picture.width(), m_target.width());
    const Span ys = clipSpan(y, static_cast<long long>(y) + picture.height(), m_target.height());
    if (xs.empty() || ys.empty())
        return;
    endPainting();
    const std::size_t bytes = static_cast<std::size_t>(xs.end - xs.begin) * 3;
    for (int row = ys.begin; row < ys.end; ++row)
        std::memcpy(m_target.pixel(xs.begin, row), picture.pixel(xs.begin - x, row - y), bytes);
}

void PictureCanvas::selectFont(const std::string& face, int cellHeight, bool bold)
{
    if (!face.empty())
        m_face = face;
    m_cellHeight = std::clamp(cellHeight, 1, kMaxCellHeight);
    m_bold = bold;
    m_font.reset();
}

const CanvasFont& PictureCanvas::currentFont()
{
    requireGuiApplication();
    if (!m_font)
        m_font = cachedFont(m_face, m_cellHeight, m_bold);
    return *m_font;
}

TextSize PictureCanvas::measureText(const std::string& text)
{
    const CanvasFont& font = currentFont();
    const qreal advance = font.metrics.horizontalAdvance(toQString(text)) * font.scale;
    return {static_cast<int>(std::lround(advance)), font.cellHeight};
}

void PictureCanvas::drawText(int x, int y, const std::string& text, Color color)
{
    const CanvasFont& font = currentFont();
    if (text.empty())
        return;
    QPainter* p = painter();
    if (!p)
        return;
    p->setFont(font.font);
    p->setPen(QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
    p->setTransform(QTransform(font.scale, 0, 0, font.scale, x, y));
    p->drawText(QPointF(0, font.ascent), toQString(text));
}
