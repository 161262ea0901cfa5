#pragma once

#include <QByteArray>
#include <QImage>

/// @brief Turns downloaded bytes into an image, refusing what would exhaust memory.
namespace ImageDecoder {

/// Images with more pixels than this are refused (a small file can claim a gigantic bitmap):
/// 32 megapixels, 128 MiB decoded, far beyond any generated icon.
inline constexpr qint64 maxPixels = qint64(32) * 1024 * 1024;
/// Neither side may exceed this.
inline constexpr int maxSide = 16384;

/// The decoded image in any format Qt's plugins read (PNG, JPEG, WebP, ...); a null image when
/// the bytes are not an image or the image is too large.
QImage decode(const QByteArray &bytes);

} // namespace ImageDecoder
