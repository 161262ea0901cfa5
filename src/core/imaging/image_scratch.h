#pragma once

#include <QImage>

/// @brief Large images the image work threads make for every icon, kept from one icon to the next.
///
/// A fresh buffer of megabytes is a fresh mapping (the pipeline keeps large buffers mapped so that
/// freed memory goes back to the system), and touching it for the first time costs a page fault per
/// 4 KiB: measured, more than decoding and styling themselves. A thread that asks again for an
/// image of the same size and depth gets the one it kept last time, in the format asked for,
/// provided whoever it was handed to has let it go; otherwise a new one. Take the image, fill it,
/// keep it, then hand out copies: they share the pixels, and kept pixels are only written again
/// once nobody holds them.
///
/// Images above `maxKeptBytes` are not kept, and a thread's images go when the thread ends (the
/// pool ends idle threads), so what stays is bounded by a few icons per pool thread.
namespace ImageScratch {

inline constexpr qsizetype maxKeptBytes = qsizetype(8) * 1024 * 1024;

/// What each kept image is for; one image per purpose and thread.
enum class Purpose { Decoded, Premultiplied, Clipped, Canvas, Halved, Count };

/// An image of `size` and `format` that nothing else holds, contents undefined; a null image when
/// it cannot be allocated.
QImage take(Purpose purpose, QSize size, QImage::Format format);
/// Keeps `image` (shared) for the calling thread's next take() for the same purpose.
void keep(Purpose purpose, const QImage &image);

} // namespace ImageScratch
