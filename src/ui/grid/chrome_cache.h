#pragma once

#include <QColor>
#include <QHash>
#include <QPixmap>
#include <QSizeF>

class QPainter;
class QRectF;

/// @brief Card and row backgrounds, outlines and shadows, rendered once per size and colour.
///
/// Antialiased rounded shapes cost the raster engine far more than a blit, and a grid paints
/// dozens of identical ones; so each look is drawn once into a pixmap and blitted at a device
/// pixel, which keeps it crisp at any scale factor.
class ChromeCache final
{
public:
    struct Look
    {
        qreal radius = 0;
        QColor fill = Qt::transparent;
        QColor stroke = Qt::transparent;
        qreal strokeWidth = 0;
        /// When non-zero, the look is a shadow: the shape's fill and outline blurred by this
        /// radius and tinted `shadowColour`.
        qreal shadowBlur = 0;
        QColor shadowColour = Qt::transparent;
    };

    /// Draws `look` over `rect` (outlines straddle its edge; shadows spread around it).
    void draw(QPainter &p, const QRectF &rect, const Look &look);

    int size() const { return int(m_pixmaps.size()); }

private:
    struct Key
    {
        int width64, height64, radius64, strokeWidth64, shadowBlur64, dpr100;
        QRgb fill, stroke, shadow;
        friend bool operator==(const Key &, const Key &) = default;
        friend size_t qHash(const Key &k, size_t seed = 0) noexcept
        {
            return qHashMulti(seed, k.width64, k.height64, k.radius64, k.strokeWidth64, k.shadowBlur64, k.dpr100,
                              k.fill, k.stroke, k.shadow);
        }
    };
    struct Entry
    {
        QPixmap pixmap;
        qreal margin = 0; ///< logical pixels around the rectangle
    };
    static Entry render(const QSizeF &size, const Look &look, qreal dpr);

    QHash<Key, Entry> m_pixmaps;
};
