#pragma once

#include <QByteArray>
#include <QImage>

/// @brief Turns downloaded bytes into an image: only the raster formats image models answer with,
/// chosen from the bytes themselves, and nothing that would exhaust memory or time.
///
/// Bytes from the network are hostile until decoded. Letting every installed image plugin guess at
/// them would hand them to vector and container formats that can reference local files, nest
/// without end or unpack gigabytes, so only four decoders are ever asked, each by name.
namespace ImageDecoder {

/// Images with more pixels than this are refused (a small file can claim a gigantic bitmap):
/// 32 megapixels, 128 MiB decoded, far beyond any generated icon.
inline constexpr qint64 maxPixels = qint64(32) * 1024 * 1024;
/// Neither side may exceed this.
inline constexpr int maxSide = 16384;
/// A progressive JPEG is decoded once per scan; a normal one has about ten. A file with thousands
/// of tiny scans would keep a thread busy for minutes, so more than this many is refused.
inline constexpr int maxJpegScans = 150;

/// The Qt format name ("png", "jpeg", "webp" or "gif") the signature at the start of the bytes
/// names; nullptr for anything else.
const char *formatOf(const QByteArray &bytes);

/// Whether a JPEG's marker structure is whole: every segment within the bytes, at most
/// maxJpegScans scans, and the end-of-image marker reached. A cut-off file fails.
bool isCompleteJpeg(const QByteArray &bytes);

/// The decoded image (the first frame of an animation); a null image when the bytes are not PNG,
/// JPEG, WebP or GIF, are cut off, or the image is too large.
QImage decode(const QByteArray &bytes);

} // namespace ImageDecoder
