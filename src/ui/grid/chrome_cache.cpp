#include "grid/chrome_cache.h"

#include "design/pixel_blit.h"
#include "design/soft_shapes.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {
int fixed(qreal value, qreal scale) { return int(std::lround(value * scale)); }
} // namespace

ChromeCache::Entry ChromeCache::render(const QSizeF &size, const Look &look, qreal dpr)
{
    const bool shadow = look.shadowBlur > 0;
    const qreal sigma = look.shadowBlur / 2.0;
    const qreal margin = std::ceil(look.strokeWidth) + 1 + (shadow ? std::ceil(SoftShapes::blurReach(sigma)) : 0);
    const QSize pixels = QSizeF((size.width() + 2 * margin) * dpr, (size.height() + 2 * margin) * dpr).toSize();
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(dpr, dpr);
        const QPainterPath path = SoftShapes::continuousRoundedRect(QRectF(QPointF(margin, margin), size), look.radius);
        if (look.fill.alpha() > 0)
            p.fillPath(path, look.fill);
        if (look.stroke.alpha() > 0 && look.strokeWidth > 0)
            p.strokePath(path, QPen(look.stroke, look.strokeWidth));
    }
    if (shadow) {
        SoftShapes::gaussianBlur(image, sigma * dpr);
        // The blurred shape gives the shadow its form; its densest part takes the full shadow colour.
        int peak = 1;
        for (int y = 0; y < image.height(); ++y) {
            const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                peak = std::max(peak, qAlpha(row[x]));
        }
        const QRgb tint = look.shadowColour.rgba();
        for (int y = 0; y < image.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int a = qAlpha(tint) * std::min(255, qAlpha(row[x]) * 255 / peak) / 255;
                row[x] = qPremultiply(qRgba(qRed(tint), qGreen(tint), qBlue(tint), a));
            }
        }
    }
    Entry entry{QPixmap::fromImage(image), margin};
    entry.pixmap.setDevicePixelRatio(dpr);
    return entry;
}

void ChromeCache::draw(QPainter &p, const QRectF &rect, const Look &look)
{
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const Key key{fixed(rect.width(), 64),       fixed(rect.height(), 64),    fixed(look.radius, 64),
                  fixed(look.strokeWidth, 64),   fixed(look.shadowBlur, 64),  fixed(dpr, 100),
                  look.fill.rgba(),              look.stroke.rgba(),          look.shadowColour.rgba()};
    auto it = m_pixmaps.constFind(key);
    if (it == m_pixmaps.constEnd()) {
        // Sizes change with the window; old ones are not worth keeping.
        if (m_pixmaps.size() > 64)
            m_pixmaps.clear();
        it = m_pixmaps.insert(key, render(rect.size(), look, dpr));
    }
    // At a whole device pixel, so the blit is a copy, not a resampling.
    PixelBlit::draw(p, rect.topLeft() - QPointF(it->margin, it->margin), it->pixmap);
}
