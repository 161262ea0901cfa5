#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QRectF>

/// @brief Shapes and soft edges shared by the painted views: continuous-corner rectangles and
/// Gaussian blur for glows and shadows.
namespace SoftShapes {

/// A rounded rectangle whose corners blend smoothly into the sides (curvature without a jump),
/// the look of app-icon tiles. The corner reaches about 1.53 × radius along each side; where the
/// rectangle is too small for that, the radius shrinks so both corners of a side still fit.
QPainterPath continuousRoundedRect(const QRectF &rect, qreal radius);

/// Separable Gaussian blur of a premultiplied ARGB image, in place. `sigma` in pixels.
void gaussianBlur(QImage &image, qreal sigma);

/// How far a blur of standard deviation `sigma` reaches visibly: the margin to leave around a
/// shape before blurring it.
inline qreal blurReach(qreal sigma) { return 3.0 * sigma; }

} // namespace SoftShapes
