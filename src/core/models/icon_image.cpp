#include "models/icon_image.h"

#include "services/image_decoder.h"
#include "services/image_scratch.h"
#include "services/image_work_pool.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

std::atomic<qint64> nextSerial{1};
std::atomic<int> alive{0};

/// Half the size, each pixel the rounded mean of the 2 × 2 it replaces (premultiplied, so colour
/// and coverage average alike): the same as area averaging gives for that exact halving, for a
/// fraction of its work. A `scratch` image is one of the thread's kept ones (see ImageScratch).
QImage halved(const QImage &image, bool scratch = false)
{
    const int width = image.width() / 2;
    const int height = image.height() / 2;
    QImage half = scratch ? ImageScratch::take(ImageScratch::Purpose::Halved, QSize(width, height),
                                               QImage::Format_ARGB32_Premultiplied)
                          : QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    if (half.isNull())
        return QImage();
    for (int y = 0; y < height; ++y) {
        const uchar *top = image.constScanLine(2 * y);
        const uchar *bottom = image.constScanLine(2 * y + 1);
        uchar *out = half.scanLine(y);
        int x = 0;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        const __m128i two = _mm_set1_epi16(2);
        for (; x + 2 <= width; x += 2) { // four pixels of each row make two
            const __m128i upper = _mm_loadu_si128(reinterpret_cast<const __m128i *>(top + 8 * x));
            const __m128i lower = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bottom + 8 * x));
            const __m128i first = _mm_add_epi16(_mm_unpacklo_epi8(upper, zero), _mm_unpacklo_epi8(lower, zero));
            const __m128i second = _mm_add_epi16(_mm_unpackhi_epi8(upper, zero), _mm_unpackhi_epi8(lower, zero));
            const __m128i sums = _mm_unpacklo_epi64(_mm_add_epi16(first, _mm_srli_si128(first, 8)),
                                                    _mm_add_epi16(second, _mm_srli_si128(second, 8)));
            const __m128i means = _mm_srli_epi16(_mm_add_epi16(sums, two), 2);
            _mm_storel_epi64(reinterpret_cast<__m128i *>(out + 4 * x), _mm_packus_epi16(means, means));
        }
#endif
        for (; x < width; ++x) {
            for (int channel = 0; channel < 4; ++channel) {
                const int sum = top[8 * x + channel] + top[8 * x + 4 + channel] + bottom[8 * x + channel]
                                + bottom[8 * x + 4 + channel];
                out[4 * x + channel] = uchar((sum + 2) >> 2);
            }
        }
    }
    return half;
}

} // namespace

struct IconImage::Data
{
    qint64 serial = nextSerial.fetch_add(1);
    QByteArray png;
    QSize size;
    QList<QImage> renditions; // smallest first

    Data() { alive.fetch_add(1); }
    ~Data() { alive.fetch_sub(1); }
    Data(const Data &) = delete;
    Data &operator=(const Data &) = delete;
};

const QList<int> &IconImage::renditionSides()
{
    static const QList<int> sides{24, 36, 48, 72, 96, 120, 240};
    return sides;
}

IconImage::IconImage(const QImage &styled, const QByteArray &png)
{
    if (styled.isNull())
        return;
    auto data = std::make_shared<Data>();
    data->png = png;
    data->size = styled.size();
    // Each rendition is scaled from the next larger one: area averaging over a 240-pixel image is
    // far cheaper than over the full one, and as sharp at these sizes.
    const int fullSide = std::max(styled.width(), styled.height());
    QImage from = styled.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QList<int> &sides = renditionSides();
    // A full-size icon is four times the largest rendition: halve it exactly first, and scale
    // a quarter of the pixels from there.
    // The halved image is only a step on the way, so it lives in the thread's kept buffer.
    while (from.width() % 2 == 0 && from.height() % 2 == 0 && std::min(from.width(), from.height()) >= 4 * sides.constLast()) {
        from = halved(from, true);
        ImageScratch::keep(ImageScratch::Purpose::Halved, from);
    }
    for (auto side = sides.crbegin(); side != sides.crend(); ++side) {
        if (*side >= fullSide)
            continue;
        from = from.scaled(*side, *side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        data->renditions.prepend(from);
    }
    if (fullSide <= sides.constLast())
        data->renditions.append(styled.convertToFormat(QImage::Format_ARGB32_Premultiplied)); // small already
    d = std::move(data);
}

QList<int> IconImage::renditionSidesFor(QSize size)
{
    QList<int> result;
    const int fullSide = std::max(size.width(), size.height());
    if (fullSide <= 0)
        return result;
    for (int side : renditionSides()) {
        if (side < fullSide)
            result.append(side);
    }
    if (fullSide <= renditionSides().constLast())
        result.append(fullSide);
    return result;
}

IconImage IconImage::fromRenditions(const QByteArray &png, QSize size, const QList<QImage> &renditions)
{
    const QList<int> sides = renditionSidesFor(size);
    if (sides.isEmpty() || sides.size() != renditions.size())
        return {};
    for (qsizetype i = 0; i < sides.size(); ++i) {
        const QImage &image = renditions.at(i);
        if (image.format() != QImage::Format_ARGB32_Premultiplied
            || std::max(image.width(), image.height()) != sides.at(i))
            return {};
    }
    IconImage icon;
    auto data = std::make_shared<Data>();
    data->png = png;
    data->size = size;
    data->renditions = renditions;
    icon.d = std::move(data);
    return icon;
}

qint64 IconImage::cacheKey() const { return d ? d->serial : 0; }

QByteArray IconImage::png() const { return d ? d->png : QByteArray(); }

QSize IconImage::size() const { return d ? d->size : QSize(); }

QImage IconImage::rendition(int pixelSide) const
{
    if (!d || d->renditions.isEmpty())
        return QImage();
    for (const QImage &image : d->renditions) {
        if (std::max(image.width(), image.height()) >= pixelSide)
            return image;
    }
    return d->renditions.constLast();
}

QList<QImage> IconImage::renditions() const { return d ? d->renditions : QList<QImage>(); }

QImage IconImage::decodeFullImage() const
{
    if (!d)
        return QImage();
    return ImageDecoder::decode(d->png).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QFuture<QImage> IconImage::fullImage() const
{
    return QtConcurrent::run(&ImageWorkPool::instance(), [icon = *this] { return icon.decodeFullImage(); });
}

int IconImage::liveCount() { return alive.load(); }
