#include "colorswatch.h"

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
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    setMinimumHeight(22);
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
