#pragma once

#include <QImage>

/// @brief Soft shadows and glows: a Gaussian blur approximated by three box blurs.
namespace Blur {
/// Blurs a premultiplied ARGB image in place. `radius` is the visual blur radius (as design tools
/// give it); the Gaussian's standard deviation is half of it.
void gaussian(QImage &image, qreal radius);
} // namespace Blur
