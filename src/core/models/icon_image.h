#pragma once

#include <QByteArray>
#include <QImage>
#include <QMetaType>

/// @brief A styled icon together with its PNG encoding, both made off the UI thread.
///
/// Applying an icon writes `png` as it is, so the UI thread never encodes an image.
/// Two icons are the same icon when they share the image (QImage::cacheKey), never by pixels.
struct IconImage
{
    QImage image;
    QByteArray png;

    bool isNull() const { return image.isNull(); }
    qint64 cacheKey() const { return image.isNull() ? 0 : image.cacheKey(); }

    friend bool operator==(const IconImage &a, const IconImage &b) { return a.cacheKey() == b.cacheKey(); }
};

Q_DECLARE_METATYPE(IconImage)
