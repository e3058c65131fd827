#include "appicon.h"

#include <QPainter>
#include <QPixmap>

namespace {

// Drawn on a 64-unit grid: a dark blue screen with a title bar and four thumbnails.
QPixmap drawIcon(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 64.0, side / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x3a, 0x6e));
    p.drawRoundedRect(QRectF(2, 6, 60, 48), 6, 6);
    p.setBrush(QColor(0x3d, 0x6f, 0xb8));
    p.drawRect(QRectF(24, 54, 16, 4));
    p.drawRoundedRect(QRectF(16, 57, 32, 4), 2, 2);
    p.setBrush(QColor(0xff, 0xd4, 0x4d));
    p.drawRoundedRect(QRectF(14, 11, 36, 6), 2, 2);
    const QColor thumbs[4] = {QColor(0x7f, 0xd1, 0xff), QColor(0xff, 0x8a, 0x80),
                              QColor(0x9c, 0xe0, 0x8f), QColor(0xf2, 0xf2, 0xf2)};
    for (int i = 0; i < 4; ++i) {
        p.setBrush(thumbs[i]);
        p.drawRect(QRectF(10 + (i % 2) * 24, 22 + (i / 2) * 15, 20, 11));
    }
    return pixmap;
}

} // namespace

QIcon AppIcon()
{
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(drawIcon(side));
    return icon;
}
