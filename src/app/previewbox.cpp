#include "previewbox.h"

#include "document/menudocument.h"
#include "render/drawmenu.h"
#include "render/picturecanvas.h"

#include <QImage>
#include <QPainter>

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
    if (m_picture.width() != width() || m_picture.height() != height())
        m_picture.reset(width(), height());
    m_stale = false;
    ++m_compositions;
    PictureCanvas canvas(m_picture);
    if (m_doc.quality) {
        DrawMenu(m_doc, canvas, m_scratch, true, &m_cache, &m_geometry);
    } else {
        m_cache.clear();
        DrawMenu(m_doc, canvas, m_scratch, false, nullptr, &m_geometry);
    }
    if (decorate)
        decorate(m_picture, m_geometry);
    return true;
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
    const QImage image(m_picture.data(), m_picture.width(), m_picture.height(),
                       static_cast<qsizetype>(m_picture.stride()), QImage::Format_RGB888);
    painter.drawImage(0, 0, image);
    if (m_picture.width() < width() || m_picture.height() < height()) {
        painter.fillRect(m_picture.width(), 0, width() - m_picture.width(), height(), Qt::white);
        painter.fillRect(0, m_picture.height(), m_picture.width(), height() - m_picture.height(),
                         Qt::white);
    }
}
