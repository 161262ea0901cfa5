#include "icon_styler.h"

#include "image_scratch.h"
#include "png_encoder.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace IconStyler {
namespace {

/// sums[i] += weight * values[i], each product rounded to float before it is added.
void accumulate(float *sums, const float *values, float weight, int count)
{
    int i = 0;
#if defined(__SSE2__)
    const __m128 factor = _mm_set1_ps(weight);
    for (; i + 4 <= count; i += 4)
        _mm_storeu_ps(sums + i, _mm_add_ps(_mm_loadu_ps(sums + i), _mm_mul_ps(factor, _mm_loadu_ps(values + i))));
#endif
    for (; i < count; ++i)
        sums[i] += weight * values[i];
}

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
    // Each pass sums a pixel's taps in the same order as a loop over the taps would, one product at
    // a time, but for a whole row at once: four pixels per instruction, and the same floats.
    std::vector<float> padded(size_t(w + 2 * radius));
    std::vector<float> pass(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const uchar *line = alpha.constScanLine(y);
        for (int i = 0; i < w + 2 * radius; ++i)
            padded[size_t(i)] = line[std::clamp(i - radius, 0, w - 1)]; // the edge pixel repeated
        float *out = pass.data() + size_t(y) * size_t(w);
        std::fill(out, out + w, 0.0f);
        for (int k = 0; k <= 2 * radius; ++k)
            accumulate(out, padded.data() + k, kernel[size_t(k)], w);
    }
    std::vector<float> sums(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        for (int k = -radius; k <= radius; ++k) {
            const int sy = std::clamp(y + k, 0, h - 1);
            accumulate(sums.data(), pass.data() + size_t(sy) * size_t(w), kernel[size_t(k + radius)], w);
        }
        uchar *line = alpha.scanLine(y);
        for (int x = 0; x < w; ++x)
            line[x] = uchar(std::clamp(std::lround(sums[size_t(x)]), 0L, 255L));
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

/// x × a / 255 per channel, rounded as QPainter's raster engine rounds it (exact for a = 0 and 255).
QRgb byteMul(QRgb x, uint a)
{
    quint64 t = ((quint64(x) | (quint64(x) << 24)) & 0x00ff00ff00ff00ffull) * a;
    t = (t + ((t >> 8) & 0x00ff00ff00ff00ffull) + 0x0080008000800080ull) >> 8;
    t &= 0x00ff00ff00ff00ffull;
    return QRgb(t) | QRgb(t >> 24);
}

/// A row of straight ARGB premultiplied, rounded as qPremultiply() and QImage's conversion round it,
/// on the calling thread and into a buffer it keeps: QImage's conversion makes a new image of
/// megabytes and hands slices of it to Qt's global pool.
void premultiply(const QRgb *in, QRgb *out, int width)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i alphaBits = _mm_set1_epi32(int(0xff000000u));
    const __m128i half = _mm_set1_epi16(0x80);
    const __m128i alphaLane = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
    for (; x + 4 <= width; x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + x));
        const __m128i alpha = _mm_and_si128(pixels, alphaBits);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, alphaBits)) == 0xffff) { // opaque: as it is
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), pixels);
            continue;
        }
        __m128i halves[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i x16 = h == 0 ? _mm_unpacklo_epi8(pixels, zero) : _mm_unpackhi_epi8(pixels, zero);
            const __m128i a16 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x16, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
            const __m128i t = _mm_mullo_epi16(x16, a16);
            const __m128i product = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), half), 8);
            halves[h] = _mm_or_si128(_mm_andnot_si128(alphaLane, product), _mm_and_si128(alphaLane, x16));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), _mm_packus_epi16(halves[0], halves[1]));
    }
#endif
    for (; x < width; ++x)
        out[x] = qPremultiply(in[x]);
}

/// One row of the plate's square: the picture's row `picture` cut by the plate's coverage `mask`,
/// then laid over the shadow and plate `under`. The same arithmetic, to the bit, as drawing the
/// mask over the picture in DestinationIn mode and the result over the layer in SourceOver mode,
/// in one pass instead of three.
void clipAndCompose(const QRgb *picture, const QRgb *mask, const QRgb *under, QRgb *out, int width)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i alphaBits = _mm_set1_epi32(int(0xff000000u));
    const __m128i half = _mm_set1_epi16(0x80);
    const __m128i full = _mm_set1_epi16(0xff);
    // x × a / 255 on 16-bit lanes, as byteMul().
    const auto multiply = [&](__m128i x16, __m128i a16) {
        const __m128i t = _mm_mullo_epi16(x16, a16);
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), half), 8);
    };
    // Each pixel's alpha in all four of its 16-bit lanes.
    const auto alphaLanes = [](__m128i x16) {
        return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x16, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
    };
    for (; x + 4 <= width; x += 4) {
        const __m128i coverage = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(mask + x)), alphaBits);
        const __m128i source = _mm_loadu_si128(reinterpret_cast<const __m128i *>(picture + x));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(coverage, zero)) == 0xffff) { // outside the plate
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), _mm_loadu_si128(reinterpret_cast<const __m128i *>(under + x)));
            continue;
        }
        const __m128i bothOpaque = _mm_cmpeq_epi32(_mm_and_si128(_mm_and_si128(source, coverage), alphaBits), alphaBits);
        if (_mm_movemask_epi8(bothOpaque) == 0xffff) { // an opaque picture inside the plate
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), source);
            continue;
        }
        const __m128i layer = _mm_loadu_si128(reinterpret_cast<const __m128i *>(under + x));
        __m128i halves[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i s16 = h == 0 ? _mm_unpacklo_epi8(source, zero) : _mm_unpackhi_epi8(source, zero);
            const __m128i c16 = h == 0 ? _mm_unpacklo_epi8(coverage, zero) : _mm_unpackhi_epi8(coverage, zero);
            const __m128i l16 = h == 0 ? _mm_unpacklo_epi8(layer, zero) : _mm_unpackhi_epi8(layer, zero);
            const __m128i clipped = multiply(s16, alphaLanes(c16));
            const __m128i rest = _mm_sub_epi16(full, alphaLanes(clipped));
            halves[h] = _mm_add_epi16(clipped, multiply(l16, rest));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), _mm_packus_epi16(halves[0], halves[1]));
    }
#endif
    for (; x < width; ++x) {
        const QRgb clipped = byteMul(picture[x], qAlpha(mask[x]));
        out[x] = clipped + byteMul(under[x], 255 - qAlpha(clipped));
    }
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
    QImage picture;
    if (source.format() == QImage::Format_ARGB32) { // what decoded PNGs with transparency are
        picture = ImageScratch::take(ImageScratch::Purpose::Premultiplied, source.size(), QImage::Format_ARGB32_Premultiplied);
        if (picture.isNull())
            return QImage();
        for (int y = 0; y < source.height(); ++y) {
            premultiply(reinterpret_cast<const QRgb *>(source.constScanLine(y)), reinterpret_cast<QRgb *>(picture.scanLine(y)),
                        source.width());
        }
        ImageScratch::keep(ImageScratch::Purpose::Premultiplied, picture); // read only from here on
    } else {
        picture = source.hasAlphaChannel() ? source.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                           : source.convertToFormat(QImage::Format_RGB32);
    }
    if (target.width() < source.width() / 2.0) {
        // Bilinear filtering skips pixels when shrinking a lot; area-averaging first keeps detail.
        picture = picture.scaled(int(std::ceil(target.width())), int(std::ceil(target.height())),
                                 Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }

    // The picture over the plate's square, drawn opaque (the fast path); then cut to the plate's
    // antialiased coverage and laid over the shadow and plate.
    const int side = int(plateSide);
    QImage clipped = ImageScratch::take(ImageScratch::Purpose::Clipped, QSize(side, side),
                                        QImage::Format_ARGB32_Premultiplied);
    if (clipped.isNull())
        return QImage();
    {
        QPainter painter(&clipped);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        // In bands of rows: QPainter splits a larger fill into slices for Qt's global thread pool
        // and waits for them, which costs more CPU than it spreads. The same pixels either way.
        constexpr int bandRows = 64;
        for (int top = 0; top < side; top += bandRows) {
            painter.setClipRect(0, top, side, std::min(bandRows, side - top));
            painter.drawImage(target.translated(-plateInset, -plateInset), picture);
        }
    }

    const QImage &layer = plateLayer();
    const QImage &mask = plateMask();
    QImage canvas = ImageScratch::take(ImageScratch::Purpose::Canvas, layer.size(), layer.format());
    if (canvas.isNull())
        return QImage();
    const int inset = int(plateInset);
    const size_t marginBytes = size_t(inset) * sizeof(QRgb);
    for (int y = 0; y < canvas.height(); ++y) {
        const auto *under = reinterpret_cast<const QRgb *>(layer.constScanLine(y));
        auto *out = reinterpret_cast<QRgb *>(canvas.scanLine(y));
        if (y < inset || y >= inset + side) {
            std::memcpy(out, under, size_t(canvas.width()) * sizeof(QRgb));
            continue;
        }
        std::memcpy(out, under, marginBytes);
        clipAndCompose(reinterpret_cast<const QRgb *>(clipped.constScanLine(y - inset)),
                       reinterpret_cast<const QRgb *>(mask.constScanLine(y - inset)), under + inset, out + inset, side);
        const int right = inset + side;
        std::memcpy(out + right, under + right, size_t(canvas.width() - right) * sizeof(QRgb));
    }
    ImageScratch::keep(ImageScratch::Purpose::Clipped, clipped);
    ImageScratch::keep(ImageScratch::Purpose::Canvas, canvas);
    return canvas;
}

QByteArray encodePng(const QImage &image)
{
    return PngEncoder::encode(image);
}

} // namespace IconStyler
