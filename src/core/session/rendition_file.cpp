#include "session/rendition_file.h"

#include "imaging/image_decoder.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

// Layout (integers little-endian):
//   8   magic "TVRNRND" and the format's number (2; 1 is still read)
//   1   byte order of the pixel words (1 little, 2 big): pixels are stored as the machine holds them
//   3   zero
//   8   size of the PNG the renditions were made from
//   4   CRC-32 of that PNG
//   4+4 the full icon's width and height
//   4   number of renditions, then per rendition 4+4 width and height, smallest first
//   4   how many of them (the first ones) are those an icon keeps in memory (format 2 only)
//   8   size of the compressed pixels, then the pixels (raw deflate): every rendition's rows in turn,
//       premultiplied ARGB, 4 bytes per pixel, no padding; in format 2 only the kept renditions', then
//   8   (format 2) the same for the others, which a restored icon reads only when they are drawn
//   4   CRC-32 of everything before it
namespace {

constexpr char Magic[7] = {'T', 'V', 'R', 'N', 'R', 'N', 'D'};
constexpr char Format = 2;
constexpr quint8 ByteOrder = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 1 : 2;
const QString PngSuffix = QStringLiteral(".png");
const QString Suffix = QStringLiteral(".renditions");
// The renditions are never larger than this many pixels in all (about 90,000 for a square icon).
constexpr qint64 MaxPixels = qint64(1) << 20;

struct CompressorDeleter
{
    void operator()(libdeflate_compressor *compressor) const { libdeflate_free_compressor(compressor); }
};
struct DecompressorDeleter
{
    void operator()(libdeflate_decompressor *decompressor) const { libdeflate_free_decompressor(decompressor); }
};

quint32 crc32(const char *data, qsizetype size)
{
    return libdeflate_crc32(0, data, size_t(size));
}

template<typename T>
void put(QByteArray &out, T value)
{
    const T little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&little), sizeof little);
}

// Reads forward through the file; once anything is out of bounds every later read fails too.
class Reader
{
public:
    explicit Reader(QByteArrayView bytes) : m_bytes(bytes) {}

    template<typename T>
    bool get(T *value)
    {
        if (!m_ok || m_bytes.size() - m_at < qsizetype(sizeof(T)))
            return m_ok = false;
        *value = qFromLittleEndian<T>(m_bytes.data() + m_at);
        m_at += sizeof(T);
        return true;
    }
    const char *take(qint64 size)
    {
        if (!m_ok || size < 0 || m_bytes.size() - m_at < size)
            return m_ok = false, nullptr;
        const char *at = m_bytes.data() + m_at;
        m_at += qsizetype(size);
        return at;
    }
    qsizetype position() const { return m_at; }

private:
    QByteArrayView m_bytes;
    qsizetype m_at = 0;
    bool m_ok = true;
};

} // namespace

QString RenditionFile::nameFor(const QString &pngName)
{
    if (!pngName.endsWith(PngSuffix))
        return {};
    return pngName.chopped(PngSuffix.size()) + Suffix;
}

QString RenditionFile::pngNameFor(const QString &name)
{
    if (!name.endsWith(Suffix) || name.size() == Suffix.size())
        return {};
    return name.chopped(Suffix.size()) + PngSuffix;
}

namespace {

// Raw deflate of `pixels`; empty when it fails.
QByteArray compress(const QByteArray &pixels)
{
    const std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(1));
    if (!compressor)
        return {};
    QByteArray compressed(qsizetype(libdeflate_deflate_compress_bound(compressor.get(), size_t(pixels.size()))),
                          Qt::Uninitialized);
    const size_t compressedSize = libdeflate_deflate_compress(compressor.get(), pixels.constData(),
                                                              size_t(pixels.size()), compressed.data(),
                                                              size_t(compressed.size()));
    if (compressedSize == 0)
        return {};
    compressed.truncate(qsizetype(compressedSize));
    return compressed;
}

// Images of `sizes` from the raw deflate `compressed` holding exactly their rows; empty on any fault.
QList<QImage> inflate(QByteArrayView compressed, const QList<QSize> &sizes)
{
    qint64 pixelCount = 0;
    QList<QImage> images;
    images.reserve(sizes.size());
    for (const QSize &size : sizes) {
        pixelCount += qint64(size.width()) * size.height();
        images.append(QImage(size, QImage::Format_ARGB32_Premultiplied));
        if (images.constLast().isNull())
            return {};
    }
    // Inflated in one go into one buffer, then copied row by row into the images.
    QByteArray pixels(qsizetype(pixelCount * 4), Qt::Uninitialized);
    const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(libdeflate_alloc_decompressor());
    size_t inflated = 0;
    if (!decompressor
        || libdeflate_deflate_decompress(decompressor.get(), compressed.data(), size_t(compressed.size()),
                                         pixels.data(), size_t(pixels.size()), &inflated)
               != LIBDEFLATE_SUCCESS
        || inflated != size_t(pixels.size()))
        return {};
    const char *from = pixels.constData();
    for (QImage &image : images) {
        const qsizetype rowBytes = qsizetype(image.width()) * 4;
        for (int y = 0; y < image.height(); ++y, from += rowBytes)
            std::memcpy(image.scanLine(y), from, size_t(rowBytes));
    }
    return images;
}

// A file's content, checked whole; its pixels not inflated yet (views into the file's bytes).
struct Contents
{
    quint64 pngSize = 0;
    quint32 pngCrc = 0;
    QSize size;
    QList<QSize> sizes;
    /// Format 2: the kept renditions' pixels, then the others'. Format 1: all in the first.
    QByteArrayView keptPixels;
    QByteArrayView otherPixels;
    qsizetype keptCount = 0;
    /// Of an older format, read all the same.
    bool older = false;
};

std::optional<Contents> parse(const QByteArray &file)
{
    if (file.size() < qsizetype(sizeof Magic) + 5 || file.size() > RenditionFile::maxFileSize)
        return std::nullopt;
    // The checksum first: a file cut short or damaged anywhere is refused before anything in it is believed.
    const qsizetype bodySize = file.size() - 4;
    if (qFromLittleEndian<quint32>(file.constData() + bodySize) != crc32(file.constData(), bodySize))
        return std::nullopt;
    Reader in(QByteArrayView(file.constData(), bodySize));
    const char *magic = in.take(sizeof Magic);
    const char *format = in.take(1);
    const char *order = in.take(4);
    if (!magic || std::memcmp(magic, Magic, sizeof Magic) != 0 || !format || (*format != 1 && *format != Format)
        || !order || quint8(order[0]) != ByteOrder)
        return std::nullopt;

    Contents contents;
    quint32 width = 0, height = 0, count = 0;
    if (!in.get(&contents.pngSize) || !in.get(&contents.pngCrc) || !in.get(&width) || !in.get(&height)
        || !in.get(&count))
        return std::nullopt;
    if (width == 0 || height == 0 || width > 65536 || height > 65536 || count == 0 || count > 64)
        return std::nullopt;
    contents.size = QSize(int(width), int(height));
    qint64 pixelCount = 0;
    for (quint32 i = 0; i < count; ++i) {
        quint32 w = 0, h = 0;
        if (!in.get(&w) || !in.get(&h) || w == 0 || h == 0 || w > 4096 || h > 4096)
            return std::nullopt;
        contents.sizes.append(QSize(int(w), int(h)));
        pixelCount += qint64(w) * h;
    }
    quint32 keptCount = count;
    if (*format == Format && (!in.get(&keptCount) || keptCount > count))
        return std::nullopt;
    contents.keptCount = qsizetype(keptCount);
    contents.older = *format != Format;
    quint64 compressedSize = 0;
    if (pixelCount > MaxPixels || !in.get(&compressedSize) || compressedSize > quint64(bodySize))
        return std::nullopt;
    const char *kept = in.take(qint64(compressedSize));
    contents.keptPixels = QByteArrayView(kept, qsizetype(compressedSize));
    if (*format == Format) {
        if (!in.get(&compressedSize) || compressedSize > quint64(bodySize))
            return std::nullopt;
        const char *other = in.take(qint64(compressedSize));
        contents.otherPixels = QByteArrayView(other, qsizetype(compressedSize));
    }
    if (!kept || in.position() != bodySize)
        return std::nullopt;
    return contents;
}

// Every rendition the file holds, smallest first; empty on any fault.
QList<QImage> allRenditions(const Contents &contents)
{
    if (contents.keptCount == contents.sizes.size())
        return inflate(contents.keptPixels, contents.sizes);
    QList<QImage> renditions = inflate(contents.keptPixels, contents.sizes.first(contents.keptCount));
    const QList<QImage> others = inflate(contents.otherPixels, contents.sizes.sliced(contents.keptCount));
    if (renditions.size() != contents.keptCount || others.isEmpty())
        return {};
    return renditions + others;
}

} // namespace

QByteArray RenditionFile::encode(const IconImage &icon)
{
    if (icon.isNull())
        return {};
    const QByteArray png = icon.png();
    const QList<QImage> renditions = icon.renditions();

    // The renditions an icon keeps in memory in one stream, the others in another: a restore inflates
    // only the first.
    QByteArray keptPixels, otherPixels;
    quint32 keptCount = 0;
    for (const QImage &rendition : renditions) {
        const QImage image = rendition.format() == QImage::Format_ARGB32_Premultiplied
            ? rendition
            : rendition.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const bool kept = std::max(image.width(), image.height()) <= IconImage::keptRenditionSide;
        keptCount += kept ? 1 : 0;
        QByteArray &pixels = kept ? keptPixels : otherPixels;
        const qsizetype rowBytes = qsizetype(image.width()) * 4;
        for (int y = 0; y < image.height(); ++y)
            pixels.append(reinterpret_cast<const char *>(image.constScanLine(y)), rowBytes);
    }
    const QByteArray keptCompressed = compress(keptPixels);
    const QByteArray otherCompressed = otherPixels.isEmpty() ? QByteArray() : compress(otherPixels);
    if (keptCompressed.isEmpty() || (!otherPixels.isEmpty() && otherCompressed.isEmpty()))
        return {};

    QByteArray out;
    out.reserve(80 + renditions.size() * 8 + keptCompressed.size() + otherCompressed.size());
    out.append(Magic, sizeof Magic);
    out.append(Format);
    out.append(char(ByteOrder));
    out.append(3, '\0');
    put<quint64>(out, quint64(png.size()));
    put<quint32>(out, crc32(png.constData(), png.size()));
    put<quint32>(out, quint32(icon.size().width()));
    put<quint32>(out, quint32(icon.size().height()));
    put<quint32>(out, quint32(renditions.size()));
    for (const QImage &rendition : renditions) {
        put<quint32>(out, quint32(rendition.width()));
        put<quint32>(out, quint32(rendition.height()));
    }
    put<quint32>(out, keptCount);
    put<quint64>(out, quint64(keptCompressed.size()));
    out.append(keptCompressed);
    put<quint64>(out, quint64(otherCompressed.size()));
    out.append(otherCompressed);
    put<quint32>(out, crc32(out.constData(), out.size()));
    return out;
}

IconImage RenditionFile::decode(const QByteArray &file, const QByteArray &png)
{
    const std::optional<Contents> contents = parse(file);
    // Made from other PNG bytes (the PNG was replaced, or the file belongs to another icon): not this icon.
    if (!contents || contents->pngSize != quint64(png.size()) || contents->pngCrc != crc32(png.constData(), png.size()))
        return {};
    return IconImage::fromRenditions(png, contents->size, allRenditions(*contents));
}

namespace {

QByteArray readAtMost(const QString &path, qint64 maxSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxSize)
        return {};
    return file.readAll();
}

} // namespace

IconImage RenditionFile::readBeside(const QString &pngPath, bool *older)
{
    if (older)
        *older = false;
    const QFileInfo info(pngPath);
    // The contents point into the file's bytes.
    const QByteArray file = readAtMost(info.absolutePath() + u'/' + nameFor(info.fileName()), maxFileSize);
    const std::optional<Contents> contents = parse(file);
    if (!contents)
        return {};
    // The PNG is only checked against the renditions here, not kept: read a slice at a time, so it is
    // never held whole. (Not mapped: a file cut short meanwhile by another process would fault.)
    QFile png(pngPath);
    if (!png.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || quint64(png.size()) != contents->pngSize
        || png.size() < 8 || png.size() > qint64(ImageDecoder::maxPixels) * 4)
        return {};
    quint32 pngCrc = 0;
    qint64 total = 0;
    bool isPng = false;
    QByteArray slice(qsizetype(64) * 1024, Qt::Uninitialized);
    for (qint64 got; (got = png.read(slice.data(), slice.size())) > 0; total += got) {
        if (total == 0)
            isPng = got >= 8 && std::memcmp(slice.constData(), "\x89PNG\r\n\x1a\n", 8) == 0;
        pngCrc = libdeflate_crc32(pngCrc, slice.constData(), size_t(got));
    }
    if (!isPng || quint64(total) != contents->pngSize || pngCrc != contents->pngCrc)
        return {};
    if (older)
        *older = contents->older;
    if (contents->keptCount == contents->sizes.size()) {
        // Format 1 (or an icon too small for large renditions): all of them, and the large ones let go.
        // The PNG's bytes are not in memory: the icon reads them from its file from the start.
        IconImage icon = IconImage::fromRenditions(QByteArray(), contents->size, allRenditions(*contents));
        icon.keepPngIn(pngPath);
        return icon.withLargeRenditionsLoadedBy(&loadBeside);
    }
    return IconImage::fromKeptRenditions(pngPath, contents->size,
                                         inflate(contents->keptPixels, contents->sizes.first(contents->keptCount)),
                                         &loadBeside);
}

QList<QImage> RenditionFile::loadBeside(const QString &pngPath)
{
    const QByteArray png = readAtMost(pngPath, qint64(ImageDecoder::maxPixels) * 4);
    if (png.isEmpty())
        return {};
    const QFileInfo info(pngPath);
    const QByteArray file = readAtMost(info.absolutePath() + u'/' + nameFor(info.fileName()), maxFileSize);
    if (const IconImage icon = decode(file, png); !icon.isNull())
        return icon.renditions();
    // Gone or damaged: the PNG still has every pixel.
    const QImage image = ImageDecoder::decode(png);
    if (image.isNull())
        return {};
    return IconImage(image.convertToFormat(QImage::Format_ARGB32_Premultiplied), png).renditions();
}
