#include "image_scratch.h"

#include <array>
#include <utility>

namespace ImageScratch {
namespace {

QImage &slot(Purpose purpose)
{
    thread_local std::array<QImage, size_t(Purpose::Count)> kept;
    return kept[size_t(purpose)];
}

} // namespace

QImage take(Purpose purpose, QSize size, QImage::Format format)
{
    QImage &kept = slot(purpose);
    // isDetached() is false while anyone else shares the pixels, and for a null image. A format of
    // the same depth is only a different reading of the same pixels.
    if (kept.isDetached() && kept.size() == size && kept.reinterpretAsFormat(format))
        return std::exchange(kept, QImage());
    kept = QImage(); // the wrong size, or still in use: let it go with its last holder
    return QImage(size, format);
}

void keep(Purpose purpose, const QImage &image)
{
    slot(purpose) = image.sizeInBytes() <= maxKeptBytes ? image : QImage();
}

} // namespace ImageScratch
