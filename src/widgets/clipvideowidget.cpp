#include "clipvideowidget.h"

#include "mediamodule/movieplayer.h"

#include <QImage>
#include <QPainter>

ClipVideoWidget::ClipVideoWidget(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    setFocusPolicy(Qt::NoFocus);
}

void ClipVideoWidget::setPlayer(MoviePlayer* player)
{
    m_player = player;
    m_frame.clear();
    m_serial = 0;
    if (m_player) {
        // Frames arrive on the decoding thread; painting happens here.
        m_player->setFrameReadyCallback([this] {
            QMetaObject::invokeMethod(
                this, [this] { update(); }, Qt::QueuedConnection);
        });
    }
    update();
}

void ClipVideoWidget::fetchFrame()
{
    if (!m_player || !m_player->isOpen())
        return;
    const std::uint64_t serial = m_player->frameSerial();
    if (serial != m_serial && m_player->takeFrame(m_frame))
        m_serial = serial;
}

void ClipVideoWidget::paintEvent(QPaintEvent*)
{
    fetchFrame();
    if (m_frame.isEmpty())
        return;
    const QImage image(m_frame.data(), m_frame.width(), m_frame.height(),
                       static_cast<qsizetype>(m_frame.stride()), QImage::Format_RGB888);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), image);
}
