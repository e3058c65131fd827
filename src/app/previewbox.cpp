#include "previewbox.h"

#include "document/menudocument.h"
#include "render/drawmenu.h"
#include "render/legibilitycheck.h"
#include "render/picturecanvas.h"
#include "render/safearea.h"
#include "render/tvsafe.h"

#include <QImage>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <exception>

PreviewBox::PreviewBox(MenuDocument& doc, Picture& scratch, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_scratch(scratch)
{
    // Every pixel is painted from the off-screen picture.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool PreviewBox::compose()
{
    if (!m_doc.RenderEnabled || width() <= 0 || height() <= 0)
        return false;
    // Composed at device pixels, so that a high-DPI screen shows it sharp, not doubled.
    const qreal ratio = devicePixelRatioF();
    const int w = std::max(1, qRound(width() * ratio));
    const int h = std::max(1, qRound(height() * ratio));
    if (m_picture.width() != w || m_picture.height() != h)
        m_picture.reset(w, h);
    m_stale = false;
    ++m_compositions;
    {
        PictureCanvas canvas(m_picture);
        if (m_doc.quality) {
            DrawMenu(m_doc, canvas, m_scratch, true, &m_cache, &m_geometry);
        } else {
            m_cache.clear();
            DrawMenu(m_doc, canvas, m_scratch, false, nullptr, &m_geometry);
        }
    }
    if (m_doc.tvsafe)
        MakeTvSafe(m_picture);
    checkFullSize();
    if (decorate)
        decorate(m_picture, m_geometry);
    return true;
}

void PreviewBox::checkFullSize()
{
    // The TV sees the full-size menu: a small preview's blended edges and thinned lines
    // would give warnings that depend on the window's size.
    const Picture frame = ComposeMenuImage(m_doc, m_scratch, &m_fullGeometry, &m_checkCache);
    m_warnings = CheckLegibility(m_doc, m_fullGeometry, frame);
    if (onWarnings)
        onWarnings(m_warnings);
}

void PreviewBox::setSafeAreasShown(bool shown)
{
    if (shown == m_safeAreasShown)
        return;
    m_safeAreasShown = shown;
    update();
}

void PreviewBox::Refresh()
{
    if (compose())
        update();
}

void PreviewBox::resizeEvent(QResizeEvent* event)
{
    m_stale = true;
    QWidget::resizeEvent(event);
}

void PreviewBox::keyPressEvent(QKeyEvent* event)
{
    if (onKey && onKey(event->key()))
        return;
    QWidget::keyPressEvent(event);
}

void PreviewBox::PaintBox1Paint()
{
    if (!m_stale)
        return;
    try {
        compose();
    } catch (const std::exception& e) {
        // Reported after this paint, so that the box over the preview does not recurse.
        if (onPaintError)
            onPaintError(QString::fromUtf8(e.what()));
    }
}

void PreviewBox::paintEvent(QPaintEvent*)
{
    PaintBox1Paint();
    QPainter painter(this);
    if (m_picture.isEmpty()) {
        painter.fillRect(rect(), Qt::white);
        return;
    }
    QImage image(m_picture.data(), m_picture.width(), m_picture.height(),
                 static_cast<qsizetype>(m_picture.stride()), QImage::Format_RGB888);
    const qreal ratio = devicePixelRatioF();
    image.setDevicePixelRatio(ratio);
    painter.drawImage(0, 0, image);
    const int shownWidth = qRound(m_picture.width() / ratio);
    const int shownHeight = qRound(m_picture.height() / ratio);
    if (shownWidth < width() || shownHeight < height()) {
        painter.fillRect(shownWidth, 0, width() - shownWidth, height(), Qt::white);
        painter.fillRect(0, shownHeight, shownWidth, height() - shownHeight, Qt::white);
    }
    if (m_safeAreasShown)
        paintSafeAreas(painter);
}

void PreviewBox::paintSafeAreas(QPainter& painter)
{
    const SafeAreas areas = ComputeSafeAreas(width(), height(), m_doc.safeAreas);
    // Thin dashes in two contrasting colours, visible on light and dark menus alike.
    const struct {
        Rect rect;
        QColor color;
    } lines[] = {{areas.action, QColor(255, 200, 0)}, {areas.title, QColor(0, 190, 255)}};
    for (const auto& [r, color] : lines) {
        const QRectF box(r.left + 0.5, r.top + 0.5, r.right - r.left - 1, r.bottom - r.top - 1);
        painter.setPen(QPen(QColor(0, 0, 0, 160), 1));
        painter.drawRect(box);
        QPen dashes(color, 1, Qt::DashLine);
        painter.setPen(dashes);
        painter.drawRect(box);
    }
}
