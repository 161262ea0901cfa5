#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

/// @brief A fast path for the PNGs image models send: 8-bit RGB or RGBA, not interlaced.
///
/// Inflates with libdeflate, about twice as fast as zlib, and undoes the row filters straight into
/// the image. Everything else it leaves to Qt's reader by answering nothing, including any file
/// it finds damaged, so what it decodes is decoded as Qt would and what it refuses is judged by Qt.
namespace PngFastDecoder {

/// The image in Qt's own formats for these files (RGB32 for RGB, ARGB32 for RGBA), or nothing; RGB32
/// too for RGBA whose every pixel is opaque, the same pixels without an alpha channel to convert.
/// The caller has checked the signature and bounds the size through `maxPixels` and `maxSide`.
std::optional<QImage> decode(const QByteArray &bytes, qint64 maxPixels, int maxSide);

} // namespace PngFastDecoder
