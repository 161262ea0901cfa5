#pragma once

#include "models/semantic_category.h"
#include "models/theme_preset.h"

#include <QPixmap>
#include <QRectF>

class QPainter;

/// @brief The icon of a folder without a generated image: a tinted tile in the theme's first two
/// colours with the category's symbol, glowing, in the middle.
///
/// Every length scales with the square's edge. The drawing is rendered once per category, theme,
/// size and pixel ratio and kept as a pixmap, so a grid of placeholders costs one blit each.
namespace PlaceholderRenderer {

/// Draws the placeholder filling `square` (its width is the size), at the painter's pixel ratio.
void paint(QPainter &p, const QRectF &square, SemanticCategory category, const ThemePreset &theme);

/// The placeholder as a pixmap of `size` logical pixels at `devicePixelRatio`, cached.
QPixmap pixmap(SemanticCategory category, const ThemePreset &theme, qreal size, qreal devicePixelRatio);

/// Renders without the cache (tests and the pixmap cache itself).
QImage render(SemanticCategory category, const ThemePreset &theme, qreal size, qreal devicePixelRatio);

} // namespace PlaceholderRenderer
