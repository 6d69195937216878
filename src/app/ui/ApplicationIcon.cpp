#include "app/ui/ApplicationIcon.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap draw(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QPainterPath tile;
    tile.addRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.2, s * 0.2);
    painter.fillPath(tile, QColor(0x23, 0x2a, 0x34));
    painter.fillRect(QRectF(s * 0.16, s * 0.72, s * 0.68, s * 0.1), QColor(0xd6, 0x2d, 0x2d));
    QFont font;
    font.setBold(true);
    font.setPixelSize(int(s * 0.56));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, s * 0.04, s, s * 0.66), Qt::AlignCenter, QStringLiteral("G"));
    return pixmap;
}

} // namespace

QIcon ApplicationIcon::icon() {
    QIcon themed = QIcon::fromTheme(QStringLiteral("com.norvanemedia.Graflink"));
    if (!themed.isNull())
        return themed;
    QIcon drawn;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        drawn.addPixmap(draw(size));
    return drawn;
}
