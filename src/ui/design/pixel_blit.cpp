#include "design/pixel_blit.h"

#include <QPainter>
#include <QPixmap>

#include <cmath>

namespace PixelBlit {

void draw(QPainter &p, const QPointF &topLeft, const QPixmap &pixmap)
{
    if (pixmap.isNull())
        return;
    const QTransform device = p.deviceTransform();
    const qreal ratio = pixmap.devicePixelRatio();
    const qreal deviceRatio = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    if (device.type() > QTransform::TxScale || !qFuzzyCompare(device.m11(), ratio) ||
        !qFuzzyCompare(device.m22(), ratio)) {
        p.drawPixmap(topLeft, pixmap);
        return;
    }
    const QPointF at = device.map(topLeft);
    const QPointF pixel(std::round(at.x()), std::round(at.y()));

    const QTransform world = p.worldTransform();
    const bool smooth = p.testRenderHint(QPainter::SmoothPixmapTransform);
    // Undo the ratio's scale; what is left (the widget's offset in its window) is a translation.
    p.setWorldTransform(QTransform::fromScale(1 / deviceRatio, 1 / deviceRatio));
    const QTransform flat = p.deviceTransform();
    if (flat.type() <= QTransform::TxTranslate) {
        if (smooth)
            p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawPixmap(QRectF(pixel - QPointF(flat.dx(), flat.dy()), QSizeF(pixmap.size())), pixmap,
                     QRectF(pixmap.rect()));
        if (smooth)
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    } else {
        p.setWorldTransform(world);
        p.drawPixmap(topLeft, pixmap);
    }
    p.setWorldTransform(world);
}

} // namespace PixelBlit
