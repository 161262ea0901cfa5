#include "icon_styler.h"

#include <QPainter>

#include <libdeflate.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace IconStyler {
namespace {

/// Separable Gaussian blur of an 8-bit alpha image, in place.
void gaussianBlur(QImage &alpha, qreal sigma)
{
    const int radius = int(std::ceil(3 * sigma));
    std::vector<float> kernel(size_t(2 * radius + 1));
    float sum = 0;
    for (int i = -radius; i <= radius; ++i) {
        kernel[size_t(i + radius)] = float(std::exp(-(i * i) / (2 * sigma * sigma)));
        sum += kernel[size_t(i + radius)];
    }
    for (float &k : kernel)
        k /= sum;

    const int w = alpha.width();
    const int h = alpha.height();
    std::vector<float> source(size_t(w) * size_t(h));
    std::vector<float> pass(source.size());
    for (int y = 0; y < h; ++y) {
        const uchar *line = alpha.constScanLine(y);
        for (int x = 0; x < w; ++x)
            source[size_t(y) * w + x] = line[x];
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float acc = 0;
            for (int k = -radius; k <= radius; ++k) {
                const int sx = std::clamp(x + k, 0, w - 1);
                acc += kernel[size_t(k + radius)] * source[size_t(y) * w + sx];
            }
            pass[size_t(y) * w + x] = acc;
        }
    }
    for (int y = 0; y < h; ++y) {
        uchar *line = alpha.scanLine(y);
        for (int x = 0; x < w; ++x) {
            float acc = 0;
            for (int k = -radius; k <= radius; ++k) {
                const int sy = std::clamp(y + k, 0, h - 1);
                acc += kernel[size_t(k + radius)] * pass[size_t(sy) * w + x];
            }
            line[x] = uchar(std::clamp(std::lround(acc), 0L, 255L));
        }
    }
}

/// The shadow and the white plate: the same for every icon, so it is drawn once per process.
QImage makePlateLayer()
{
    // The shadow is the plate's alpha mask, moved down and blurred. Blur radius b corresponds to
    // a Gaussian of standard deviation b / 2, the usual reading of a shadow's blur.
    QImage mask(outputPixelSize, outputPixelSize, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(platePath().translated(0, shadowOffsetDown), Qt::black);
    }
    gaussianBlur(mask, shadowBlur / 2);

    QImage layer(outputPixelSize, outputPixelSize, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < outputPixelSize; ++y) {
        const uchar *in = mask.constScanLine(y);
        auto *out = reinterpret_cast<QRgb *>(layer.scanLine(y));
        for (int x = 0; x < outputPixelSize; ++x)
            out[x] = qRgba(0, 0, 0, int(std::lround(in[x] * shadowOpacity))); // black: premultiplied as is
    }
    QPainter painter(&layer);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(platePath(), Qt::white);
    return layer;
}

void putBigEndian(uchar *at, quint32 value)
{
    at[0] = uchar(value >> 24);
    at[1] = uchar(value >> 16);
    at[2] = uchar(value >> 8);
    at[3] = uchar(value);
}

/// Appends a chunk whose data is already at the end of `png`, after room left for length and type.
void closeChunk(QByteArray &png, qsizetype chunkStart, const char type[4])
{
    auto *bytes = reinterpret_cast<uchar *>(png.data()) + chunkStart;
    const auto dataLength = quint32(png.size() - chunkStart - 8);
    putBigEndian(bytes, dataLength);
    std::memcpy(bytes + 4, type, 4);
    uchar crc[4];
    putBigEndian(crc, quint32(libdeflate_crc32(0, bytes + 4, size_t(dataLength) + 4)));
    png.append(reinterpret_cast<const char *>(crc), 4);
}

/// One row as straight RGBA bytes (little-endian words), with Qt's rounding where alpha is partial.
void toStraightRgba(const QRgb *pixels, int width, quint32 *out)
{
    for (int x = 0; x < width; ++x) {
        QRgb pixel = pixels[x];
        const uint alpha = pixel >> 24;
        if (alpha != 255 && alpha != 0) [[unlikely]]
            pixel = qUnpremultiply(pixel);
        // Memory order B G R A becomes R G B A: swap the red and blue bytes.
        out[x] = (pixel & 0xff00ff00u) | ((pixel >> 16) & 0xffu) | ((pixel & 0xffu) << 16);
    }
}

/// The "Up" filter: each byte minus the byte above it.
void filterUp(const uchar *row, const uchar *above, size_t length, uchar *out)
{
    for (size_t i = 0; i < length; ++i)
        out[i] = uchar(row[i] - above[i]);
}

struct CompressorDeleter
{
    void operator()(libdeflate_compressor *compressor) const { libdeflate_free_compressor(compressor); }
};

/// The filtered rows and the compressor of the calling thread, kept between icons: a fresh 4 MiB
/// buffer per icon costs more in page faults than filling it does.
struct EncoderScratch
{
    std::vector<uchar> filtered;
    std::vector<quint32> rows[2]; // this row and the one above, unfiltered
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor{
        libdeflate_alloc_compressor(pngCompressionLevel)};
};

/// The plate's antialiased coverage over the plate's square, for clipping pictures to it.
const QImage &plateMask()
{
    static const QImage mask = [] {
        QImage image(static_cast<int>(plateSide), static_cast<int>(plateSide), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(-plateInset, -plateInset);
        painter.fillPath(platePath(), Qt::white);
        return image;
    }();
    return mask;
}

const QImage &plateLayer()
{
    static const QImage layer = makePlateLayer(); // thread-safe initialisation
    return layer;
}

} // namespace

QRectF plateRect()
{
    return QRectF(plateInset, plateInset, plateSide, plateSide);
}

QPainterPath platePath()
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addRoundedRect(plateRect(), cornerRadius, cornerRadius);
    return path;
}

QRectF pictureRect(const QSize &sourceSize)
{
    const qreal w = sourceSize.width();
    const qreal h = sourceSize.height();
    const qreal scale = std::max(plateSide / w, plateSide / h);
    const QPointF centre = plateRect().center();
    return QRectF(centre.x() - w * scale / 2, centre.y() - h * scale / 2, w * scale, h * scale);
}

QImage appIconStyled(const QImage &source)
{
    if (source.isNull() || source.width() <= 0 || source.height() <= 0) {
        // Nothing to fit on a plate: the source as it is, stretched over the canvas.
        QImage canvas(outputPixelSize, outputPixelSize, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0, 0, outputPixelSize, outputPixelSize), source);
        return canvas;
    }

    const QRectF target = pictureRect(source.size());
    QImage picture = source.hasAlphaChannel() ? source.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                              : source.convertToFormat(QImage::Format_RGB32);
    if (target.width() < source.width() / 2.0) {
        // Bilinear filtering skips pixels when shrinking a lot; area-averaging first keeps detail.
        picture = picture.scaled(int(std::ceil(target.width())), int(std::ceil(target.height())),
                                 Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }

    // The picture clipped to the plate with antialiased edges: drawn opaque (the fast path), then
    // multiplied by the plate's coverage.
    const int side = int(plateSide);
    QImage clipped(side, side, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&clipped);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target.translated(-plateInset, -plateInset), picture);
        painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        painter.drawImage(0, 0, plateMask());
    }

    QImage canvas = plateLayer().copy();
    QPainter painter(&canvas);
    painter.drawImage(QPointF(plateInset, plateInset), clipped);
    return canvas;
}

QByteArray encodePng(const QImage &image)
{
    if (image.isNull())
        return QByteArray();
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32_Premultiplied); // shared when it is already
    const int width = argb.width();
    const int height = argb.height();
    const size_t rowBytes = size_t(width) * 4 + 1;

    thread_local EncoderScratch scratch;
    if (!scratch.compressor)
        return QByteArray();
    scratch.filtered.resize(rowBytes * size_t(height));
    scratch.rows[0].assign(size_t(width), 0); // the row above the first counts as zeros
    scratch.rows[1].resize(size_t(width));
    for (int y = 0; y < height; ++y) {
        const auto *above = reinterpret_cast<const uchar *>(scratch.rows[y % 2].data());
        quint32 *current = scratch.rows[(y + 1) % 2].data();
        toStraightRgba(reinterpret_cast<const QRgb *>(argb.constScanLine(y)), width, current);
        uchar *out = scratch.filtered.data() + rowBytes * size_t(y);
        out[0] = 2; // the "Up" filter: one filter for every row is most of the speed
        filterUp(reinterpret_cast<const uchar *>(current), above, size_t(width) * 4, out + 1);
    }

    static constexpr char signature[] = "\x89PNG\r\n\x1a\n";
    const size_t bound = libdeflate_zlib_compress_bound(scratch.compressor.get(), scratch.filtered.size());
    QByteArray png;
    png.reserve(qsizetype(8 + 25 + 12 + bound + 12));
    png.append(signature, 8);

    qsizetype chunk = png.size();
    png.append(8, '\0');
    uchar header[13] = {};
    putBigEndian(header, quint32(width));
    putBigEndian(header + 4, quint32(height));
    header[8] = 8; // bits per channel
    header[9] = 6; // RGBA
    png.append(reinterpret_cast<const char *>(header), sizeof header);
    closeChunk(png, chunk, "IHDR");

    chunk = png.size();
    png.resize(chunk + 8 + qsizetype(bound));
    const size_t compressed = libdeflate_zlib_compress(scratch.compressor.get(), scratch.filtered.data(),
                                                       scratch.filtered.size(), png.data() + chunk + 8, bound);
    if (compressed == 0)
        return QByteArray();
    png.resize(chunk + 8 + qsizetype(compressed));
    closeChunk(png, chunk, "IDAT");

    chunk = png.size();
    png.append(8, '\0');
    closeChunk(png, chunk, "IEND");
    png.squeeze();
    return png;
}

} // namespace IconStyler
