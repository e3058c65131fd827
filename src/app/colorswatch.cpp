#include "colorswatch.h"

#include <QMouseEvent>
#include <QPainter>

Color ContrastColor(Color color)
{
    const unsigned red = color & 0xFF;
    const unsigned green = (color >> 8) & 0xFF;
    const unsigned blue = (color >> 16) & 0xFF;
    return (red + green + blue) / 3 > 127 ? kBlack : kWhite;
}

QColor ToQColor(Color color)
{
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

Color FromQColor(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return static_cast<Color>(rgb.red()) | (static_cast<Color>(rgb.green()) << 8) |
           (static_cast<Color>(rgb.blue()) << 16);
}

ColorSwatch::ColorSwatch(const QString& caption, Color color, QWidget* parent)
    : QLabel(caption, parent)
{
    setAlignment(Qt::AlignCenter);
    // The bevel is drawn with fixed greys (paintEvent).
    setFrameShape(QFrame::NoFrame);
    setContentsMargins(2, 2, 2, 2);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    setMinimumHeight(22);
    setCursor(Qt::PointingHandCursor);
    m_color = ~color; // force the first update
    setColor(color);
}

void ColorSwatch::setColor(Color color)
{
    color &= 0xFFFFFF;
    if (color == m_color)
        return;
    m_color = color;
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(color));
    pal.setColor(QPalette::WindowText, ToQColor(ContrastColor(color)));
    setPalette(pal);
}

void ColorSwatch::mousePressEvent(QMouseEvent* event)
{
    // Taking the press makes the release come here too.
    if (event->button() == Qt::LeftButton)
        event->accept();
    else
        QLabel::mousePressEvent(event);
}

void ColorSwatch::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void ColorSwatch::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    // The sunken bevel's light edges vanish on a light colour (white above all); fixed
    // greys keep the box's edge visible on any colour.
    QPainter painter(this);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    painter.setPen(QColor(128, 128, 128));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(QColor(255, 255, 255));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
    painter.setPen(QColor(64, 64, 64));
    painter.drawLine(r.topLeft() + QPoint(1, 1), r.topRight() + QPoint(-1, 1));
    painter.drawLine(r.topLeft() + QPoint(1, 1), r.bottomLeft() + QPoint(1, -1));
    painter.setPen(QColor(212, 208, 200));
    painter.drawLine(r.bottomLeft() + QPoint(1, -1), r.bottomRight() + QPoint(-1, -1));
    painter.drawLine(r.topRight() + QPoint(-1, 1), r.bottomRight() + QPoint(-1, -1));
}
