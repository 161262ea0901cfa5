#include "design/placeholder_renderer.h"

#include "design/soft_shapes.h"
#include "design/symbols.h"

#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <tuple>

namespace PlaceholderRenderer {

namespace {

QColor withAlpha(QColor colour, qreal alpha)
{
    colour.setAlphaF(float(alpha));
    return colour;
}

QLinearGradient diagonal(const QRectF &rect, const QColor &from, const QColor &to)
{
    QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
    gradient.setColorAt(0.0, from);
    gradient.setColorAt(1.0, to);
    return gradient;
}

/// The symbol's outline, centred on `centre`.
QPainterPath symbolPath(SemanticCategory category, qreal pixelSize, const QPointF &centre)
{
    QFont font = Symbols::font(pixelSize);
    QPainterPath path;
    path.addText(QPointF(0, 0), font, Symbols::glyph(sfSymbol(category)));
    const QRectF bounds = path.boundingRect();
    path.translate(centre - bounds.center());
    return path;
}

struct CacheKey
{
    SemanticCategory category;
    QString themeId;
    int size100;
    int dpr100;
    friend bool operator==(const CacheKey &, const CacheKey &) = default;
};

size_t qHash(const CacheKey &key, size_t seed = 0) noexcept
{
    return qHashMulti(seed, key.category, key.themeId, key.size100, key.dpr100);
}

} // namespace

QImage render(SemanticCategory category, const ThemePreset &theme, qreal size, qreal devicePixelRatio)
{
    const int pixels = std::max(1, int(std::lround(size * devicePixelRatio)));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);

    const QList<QColor> &colours = theme.palette.colors;
    const QColor c0 = colours.isEmpty() ? QColor(Qt::white) : colours.at(0);
    const QColor c1 = colours.size() > 1 ? colours.at(1) : c0;
    const QRectF square(0, 0, size, size);
    const QPainterPath tile = SoftShapes::continuousRoundedRect(square, 0.2 * size);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(tile, diagonal(square, withAlpha(c0, 0.25), withAlpha(c1, 0.1)));

    QPen outline(QBrush(diagonal(square, withAlpha(c0, 0.4), withAlpha(c1, 0.15))), 1.0, Qt::SolidLine, Qt::FlatCap,
                 Qt::MiterJoin);
    outline.setMiterLimit(10);
    p.strokePath(tile, outline);

    // The glow: the symbol's own shape in c0 at 30 %, blurred, under the symbol.
    const QPainterPath symbol = symbolPath(category, 0.35 * size, square.center());
    const qreal sigma = 0.1 * size / 2.0 * devicePixelRatio;
    QImage glow(image.size(), QImage::Format_ARGB32_Premultiplied);
    glow.fill(Qt::transparent);
    {
        QPainter g(&glow);
        g.setRenderHint(QPainter::Antialiasing);
        g.scale(devicePixelRatio, devicePixelRatio);
        g.fillPath(symbol, withAlpha(c0, 0.3));
    }
    SoftShapes::gaussianBlur(glow, sigma);
    glow.setDevicePixelRatio(devicePixelRatio);
    p.drawImage(QPointF(0, 0), glow);

    p.fillPath(symbol, diagonal(symbol.boundingRect(), c0, c1));
    return image;
}

QPixmap pixmap(SemanticCategory category, const ThemePreset &theme, qreal size, qreal devicePixelRatio)
{
    // Twelve categories × a few sizes × one theme: small, so it is never trimmed.
    static QHash<CacheKey, QPixmap> cache;
    const CacheKey key{category, theme.id, int(std::lround(size * 100)), int(std::lround(devicePixelRatio * 100))};
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    QPixmap result = QPixmap::fromImage(render(category, theme, size, devicePixelRatio));
    result.setDevicePixelRatio(devicePixelRatio);
    cache.insert(key, result);
    return result;
}

void paint(QPainter &p, const QRectF &square, SemanticCategory category, const ThemePreset &theme)
{
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const QPixmap tile = pixmap(category, theme, square.width(), dpr);
    p.drawPixmap(square, tile, QRectF(QPointF(0, 0), QSizeF(tile.size())));
}

} // namespace PlaceholderRenderer
