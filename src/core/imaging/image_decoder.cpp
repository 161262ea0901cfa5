#include "image_decoder.h"

#include "png_fast_decoder.h"

#include <QBuffer>
#include <QImageReader>

#include <cstring>
#include <mutex>

namespace ImageDecoder {

const char *formatOf(const QByteArray &bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return "png";
    if (bytes.startsWith("\xff\xd8\xff"))
        return "jpeg";
    if (bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return "webp";
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return "gif";
    return nullptr;
}

bool isCompleteJpeg(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype size = bytes.size();
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    qsizetype at = 2;
    int scans = 0;
    while (at < size) {
        if (data[at] != 0xFF)
            return false;
        while (at < size && data[at] == 0xFF) // fill bytes may precede any marker
            ++at;
        if (at >= size)
            return false;
        const uchar marker = data[at++];
        if (marker == 0xD9)
            return true; // end of image; whatever trails it is not decoded
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // markers without a length
        if (marker == 0x00 || marker == 0xD8 || at + 2 > size)
            return false;
        const qsizetype length = (qsizetype(data[at]) << 8) | data[at + 1];
        if (length < 2 || at + length > size)
            return false;
        at += length;
        if (marker != 0xDA)
            continue;
        if (++scans > maxJpegScans)
            return false;
        // Entropy-coded data runs to the next marker; 0xFF is followed there only by a stuffed
        // zero or a restart marker.
        for (;;) {
            const void *found = std::memchr(data + at, 0xFF, size_t(size - at));
            if (!found)
                return false;
            at = static_cast<const uchar *>(found) - data;
            if (at + 1 >= size)
                return false;
            const uchar next = data[at + 1];
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                at += 2;
                continue;
            }
            break;
        }
    }
    return false;
}

QImage decode(const QByteArray &bytes)
{
    static std::once_flag limitOnce;
    std::call_once(limitOnce, [] {
        // A second line of defence for formats whose size is only known while decoding:
        // no single decoded image may need more than this many megabytes.
        QImageReader::setAllocationLimit(int(maxPixels * 4 / (1024 * 1024)));
    });

    const char *format = formatOf(bytes);
    if (!format)
        return QImage();
    // Qt's JPEG decoder fills a cut-off file with grey and calls it a success.
    if (qstrcmp(format, "jpeg") == 0 && !isCompleteJpeg(bytes))
        return QImage();

    if (qstrcmp(format, "png") == 0) {
        if (std::optional<QImage> image = PngFastDecoder::decode(bytes, maxPixels, maxSide))
            return *image;
    }

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    // The format is named and never guessed: no other plugin is loaded or asked, whatever the bytes
    // go on to contain.
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > maxSide || size.height() > maxSide
        || qint64(size.width()) * size.height() > maxPixels) {
        return QImage();
    }
    QImage image = reader.read();
    if (image.isNull() || image.width() > maxSide || image.height() > maxSide
        || qint64(image.width()) * image.height() > maxPixels) {
        return QImage();
    }
    return image;
}

} // namespace ImageDecoder
