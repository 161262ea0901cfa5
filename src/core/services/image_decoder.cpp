#include "image_decoder.h"

#include <QBuffer>
#include <QImageReader>

#include <mutex>

namespace ImageDecoder {

QImage decode(const QByteArray &bytes)
{
    static std::once_flag limitOnce;
    std::call_once(limitOnce, [] {
        // A second line of defence for formats whose size is only known while decoding:
        // no single decoded image may need more than this many megabytes.
        QImageReader::setAllocationLimit(int(maxPixels * 4 / (1024 * 1024)));
    });

    if (bytes.isEmpty())
        return QImage();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid()
        && (size.width() > maxSide || size.height() > maxSide
            || qint64(size.width()) * size.height() > maxPixels)) {
        return QImage();
    }
    QImage image = reader.read();
    if (image.isNull() || image.width() > maxSide || image.height() > maxSide)
        return QImage();
    return image;
}

} // namespace ImageDecoder
