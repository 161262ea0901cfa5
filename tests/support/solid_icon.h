#pragma once

#include "imaging/icon_image.h"

#include <QBuffer>
#include <QColor>
#include <QImage>

/// A square icon of one colour with its PNG, as a generation would give one; a new icon each call.
inline IconImage solidIcon(const QColor &color, int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return IconImage(image, png);
}
