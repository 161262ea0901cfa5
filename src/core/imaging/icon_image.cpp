#include "imaging/icon_image.h"

#include "imaging/image_decoder.h"
#include "imaging/image_scratch.h"
#include "imaging/image_work_pool.h"

#include <QCache>
#include <QFile>
#include <QMutex>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <array>
#include <atomic>
#include <optional>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

std::atomic<qint64> nextSerial{1};
std::atomic<int> alive{0};

/// Half the size, each pixel the rounded mean of the 2 × 2 it replaces (premultiplied, so colour
/// and coverage average alike): the same as area averaging gives for that exact halving, for a
/// fraction of its work. With a `scratch` purpose, the image is the thread's kept one for it (see
/// ImageScratch).
QImage halved(const QImage &image, std::optional<ImageScratch::Purpose> scratch = std::nullopt)
{
    const int width = image.width() / 2;
    const int height = image.height() / 2;
    QImage half = scratch ? ImageScratch::take(*scratch, QSize(width, height), QImage::Format_ARGB32_Premultiplied)
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

/// Along one axis of a downscale from `from` to `to` pixels: the source pixels each destination
/// pixel covers and how much of each, in 128ths that add up to 128.
struct AxisWeights
{
    struct Span
    {
        int first = 0;
        int count = 0;
        int weights = 0; // index of the first weight
    };
    std::vector<Span> spans;
    std::vector<qint16> weights;
};

AxisWeights axisWeights(int from, int to)
{
    // In units of 1 / (from × to): source pixel i spans [i × to, (i + 1) × to), destination pixel
    // j spans [j × from, (j + 1) × from).
    AxisWeights axis;
    axis.spans.reserve(size_t(to));
    for (int j = 0; j < to; ++j) {
        const qint64 start = qint64(j) * from;
        const qint64 end = start + from;
        AxisWeights::Span span;
        span.first = int(start / to);
        span.weights = int(axis.weights.size());
        int total = 0;
        int largest = span.weights;
        for (int i = span.first; qint64(i) * to < end; ++i) {
            const qint64 overlap = std::min(end, qint64(i + 1) * to) - std::max(start, qint64(i) * to);
            const auto weight = qint16((overlap * 128 + from / 2) / from);
            axis.weights.push_back(weight);
            total += weight;
            if (weight > axis.weights[size_t(largest)])
                largest = int(axis.weights.size()) - 1;
            ++span.count;
        }
        axis.weights[size_t(largest)] = qint16(axis.weights[size_t(largest)] + 128 - total); // exactly 128
        axis.spans.push_back(span);
    }
    return axis;
}

/// A downscale, each pixel the mean of the area it covers, partly covered pixels by their share:
/// what halving does for a ratio of two. In fixed point, 128ths along each axis, fine enough for
/// ratios below four; premultiplied, so colour and coverage average alike.
QImage areaAveraged(const QImage &image, QSize size)
{
    // A ratio below four covers at most five source pixels.
    constexpr int maxTaps = 5;
    Q_ASSERT(4 * size.width() > image.width() && 4 * size.height() > image.height());
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return QImage();
    const AxisWeights across = axisWeights(image.width(), size.width());
    const AxisWeights down = axisWeights(image.height(), size.height());
    const int sourceWidth = image.width();
    // Each destination row: the source rows it covers averaged down first, at full width (four
    // 16-bit channels a pixel, at most 255 × 128), then across.
    std::vector<qint16> rows(size_t(sourceWidth) * 4 + 8);
    for (int y = 0; y < size.height(); ++y) {
        const AxisWeights::Span &rowSpan = down.spans[size_t(y)];
        const qint16 *rowWeight = down.weights.data() + rowSpan.weights;
        std::array<const QRgb *, maxTaps> sourceRows{};
        for (int k = 0; k < rowSpan.count; ++k)
            sourceRows[size_t(k)] = reinterpret_cast<const QRgb *>(image.constScanLine(rowSpan.first + k));
        int x = 0;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        __m128i factors[maxTaps];
        for (int k = 0; k < rowSpan.count; ++k)
            factors[k] = _mm_set1_epi16(rowWeight[k]);
        for (; x + 4 <= sourceWidth; x += 4) { // four pixels, sixteen channels
            __m128i low = zero;
            __m128i high = zero;
            for (int k = 0; k < rowSpan.count; ++k) {
                const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(sourceRows[size_t(k)] + x));
                low = _mm_add_epi16(low, _mm_mullo_epi16(_mm_unpacklo_epi8(pixels, zero), factors[k]));
                high = _mm_add_epi16(high, _mm_mullo_epi16(_mm_unpackhi_epi8(pixels, zero), factors[k]));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i *>(rows.data() + 4 * size_t(x)), low);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(rows.data() + 4 * size_t(x) + 8), high);
        }
#endif
        for (; x < sourceWidth; ++x) {
            for (int channel = 0; channel < 4; ++channel) {
                int sum = 0;
                for (int k = 0; k < rowSpan.count; ++k)
                    sum += int((sourceRows[size_t(k)][x] >> (8 * channel)) & 0xff) * rowWeight[k];
                rows[4 * size_t(x) + size_t(channel)] = qint16(sum);
            }
        }

        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int column = 0; column < size.width(); ++column) {
            const AxisWeights::Span &span = across.spans[size_t(column)];
            const qint16 *weight = across.weights.data() + span.weights;
            const qint16 *channels = rows.data() + 4 * size_t(span.first);
#if defined(__SSE2__)
            __m128i sum = _mm_set1_epi32(1 << 13);
            for (int k = 0; k < span.count; ++k) {
                const __m128i four = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(channels + 4 * k));
                sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_unpacklo_epi16(four, zero), _mm_set1_epi32(weight[k])));
            }
            const __m128i words = _mm_packs_epi32(_mm_srli_epi32(sum, 14), zero);
            line[column] = quint32(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
#else
            QRgb pixel = 0;
            for (int channel = 0; channel < 4; ++channel) {
                int sum = 1 << 13;
                for (int k = 0; k < span.count; ++k)
                    sum += channels[4 * k + channel] * weight[k];
                pixel |= QRgb(sum >> 14) << (8 * channel);
            }
            line[column] = pixel;
#endif
        }
    }
    return out;
}

/// The large renditions of lazily loading icons that were drawn lately, by icon serial: the inspector
/// shows one icon at a time, so a few dozen cover going back and forth through a list.
struct LargeRenditionCache
{
    QMutex lock;
    QCache<qint64, QList<QImage>> images{16 * 1024}; // cost in KiB
};

LargeRenditionCache &largeRenditionCache()
{
    // Never destroyed: icons may still let go of theirs while the process exits.
    static auto *cache = new LargeRenditionCache;
    return *cache;
}

int longerSide(const QImage &image)
{
    return std::max(image.width(), image.height());
}

} // namespace

struct IconImage::Data
{
    qint64 serial = nextSerial.fetch_add(1);
    QSize size;
    // The renditions up to keptRenditionSide, smallest first: always held, never changed once made.
    QList<QImage> renditions;
    // The sides of the larger ones, smallest first; whether they are held or loaded when drawn may
    // change while other threads draw, so that is kept under the lock.
    QList<int> largeSides;
    // The PNG lives either in memory or in a file; copies share it, so keepPngIn() changes both
    // under the lock while other threads may be reading.
    mutable QMutex lock;
    mutable QByteArray png;
    mutable QString pngFile;
    // The large renditions while held; empty once `loader` brings them from beside pngFile instead.
    mutable QList<QImage> large;
    mutable RenditionLoader loader = nullptr;
    mutable bool lazyFailed = false;

    Data() { alive.fetch_add(1); }
    ~Data()
    {
        alive.fetch_sub(1);
        if (loader) {
            LargeRenditionCache &cache = largeRenditionCache();
            const QMutexLocker locker(&cache.lock);
            cache.images.remove(serial);
        }
    }
    Data(const Data &) = delete;
    Data &operator=(const Data &) = delete;

    /// Takes `all` (smallest first) apart into the kept renditions and the large ones, held.
    void setRenditions(const QList<QImage> &all)
    {
        for (const QImage &image : all) {
            if (longerSide(image) <= keptRenditionSide) {
                renditions.append(image);
            } else {
                large.append(image);
                largeSides.append(longerSide(image));
            }
        }
        // Only ever an icon far from the usual sizes: what it has is all it can draw from.
        if (renditions.isEmpty()) {
            renditions = std::exchange(large, {});
            largeSides.clear();
        }
    }
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
    const int fullSide = std::max(styled.width(), styled.height());
    QImage from = styled.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QList<int> &sides = renditionSides();
    // Exact halvings (2 × 2 means) first, while the result stays twice the largest rendition: the
    // same as area averaging gives for a ratio of two, for a fraction of its work. Halving further
    // would blur: two averages in a row are not one over the same area. These images are only
    // steps on the way, so they live in the thread's kept buffer.
    while (from.width() % 2 == 0 && from.height() % 2 == 0 && std::min(from.width(), from.height()) >= 4 * sides.constLast()) {
        from = halved(from, ImageScratch::Purpose::Halved);
        ImageScratch::keep(ImageScratch::Purpose::Halved, from);
    }
    // Largest first: halved where one is exactly twice the size (240 makes 120, 96 makes 48, 72
    // makes 36, 48 makes 24), else area-averaged from a larger one.
    QList<QImage> made;
    for (auto side = sides.crbegin(); side != sides.crend(); ++side) {
        if (*side >= fullSide)
            continue;
        const QSize size = from.size().scaled(*side, *side, Qt::KeepAspectRatio);
        const auto twice = std::find_if(made.cbegin(), made.cend(), [&](const QImage &image) { return image.size() == 2 * size; });
        // Each step of averaging blurs a little: the others come from the largest image that
        // is less than four times their size.
        QImage larger = from;
        if (!made.isEmpty()) {
            larger = made.constFirst();
            if (4 * size.width() <= larger.width() || 4 * size.height() <= larger.height())
                larger = made.constLast();
        }
        if (twice != made.cend())
            made.append(halved(*twice));
        else if (larger.size() == size)
            made.append(larger.copy()); // not the thread's kept image itself
        else if (4 * size.width() > larger.width() && 4 * size.height() > larger.height())
            made.append(areaAveraged(larger, size));
        else // an odd size that could not be halved: far from the renditions' sizes
            made.append(larger.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    std::reverse(made.begin(), made.end());
    if (fullSide <= sides.constLast())
        made.append(styled.convertToFormat(QImage::Format_ARGB32_Premultiplied)); // small already
    data->setRenditions(made);
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
    data->setRenditions(renditions);
    icon.d = std::move(data);
    return icon;
}

qint64 IconImage::cacheKey() const { return d ? d->serial : 0; }

QByteArray IconImage::png() const
{
    if (!d)
        return QByteArray();
    QString path;
    {
        const QMutexLocker locker(&d->lock);
        if (d->pngFile.isEmpty())
            return d->png;
        path = d->pngFile;
    }
    // Read outside the lock: other threads reading the same icon need not queue behind the disk.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > qint64(ImageDecoder::maxPixels) * 4)
        return QByteArray();
    return file.readAll();
}

QString IconImage::pngFile() const
{
    if (!d)
        return QString();
    const QMutexLocker locker(&d->lock);
    return d->pngFile;
}

void IconImage::keepPngIn(const QString &path, RenditionLoader loader) const
{
    if (!d || path.isEmpty())
        return;
    const QMutexLocker locker(&d->lock);
    d->pngFile = path;
    d->png = QByteArray();
    if (loader && !d->largeSides.isEmpty() && !d->loader) {
        d->large = QList<QImage>();
        d->loader = loader;
    }
}

IconImage IconImage::withPngInMemory() const
{
    const QByteArray bytes = png();
    if (bytes.isEmpty())
        return {};
    IconImage icon;
    auto data = std::make_shared<Data>();
    data->serial = d->serial;
    data->size = d->size;
    // Loaded now while the file is there: the copy has no file to load them from.
    data->setRenditions(renditions());
    data->png = bytes;
    icon.d = std::move(data);
    return icon;
}

IconImage IconImage::fromPngFile(const QString &path)
{
    if (path.isEmpty())
        return {};
    IconImage icon;
    auto data = std::make_shared<Data>();
    data->pngFile = path;
    icon.d = std::move(data);
    return icon;
}

IconImage IconImage::withLargeRenditionsLoadedBy(RenditionLoader loader) const
{
    if (!d || !loader || d->largeSides.isEmpty())
        return *this;
    auto data = std::make_shared<Data>();
    data->serial = d->serial;
    data->size = d->size;
    data->renditions = d->renditions;
    data->largeSides = d->largeSides;
    {
        const QMutexLocker locker(&d->lock);
        if (d->loader)
            return *this;
        data->png = d->png;
        data->pngFile = d->pngFile;
    }
    data->loader = loader;
    IconImage icon;
    icon.d = std::move(data);
    return icon;
}

IconImage IconImage::fromKeptRenditions(const QString &pngFile, QSize size, const QList<QImage> &kept,
                                        RenditionLoader loader)
{
    const QList<int> sides = renditionSidesFor(size);
    const auto lazy = std::find_if(sides.cbegin(), sides.cend(), [](int side) { return side > keptRenditionSide; });
    const qsizetype keptCount = lazy - sides.cbegin();
    if (!loader || pngFile.isEmpty() || keptCount == 0 || keptCount != kept.size())
        return {};
    for (qsizetype i = 0; i < keptCount; ++i) {
        const QImage &image = kept.at(i);
        if (image.format() != QImage::Format_ARGB32_Premultiplied || longerSide(image) != sides.at(i))
            return {};
    }
    auto data = std::make_shared<Data>();
    data->size = size;
    data->renditions = kept;
    data->pngFile = pngFile;
    data->largeSides = QList<int>(lazy, sides.cend());
    if (!data->largeSides.isEmpty())
        data->loader = loader;
    IconImage icon;
    icon.d = std::move(data);
    return icon;
}

bool IconImage::loadsLargeRenditionsLazily() const
{
    if (!d)
        return false;
    const QMutexLocker locker(&d->lock);
    return d->loader != nullptr;
}

QList<QImage> IconImage::largeRenditions() const
{
    if (!d || d->largeSides.isEmpty())
        return {};
    QString file;
    RenditionLoader loader = nullptr;
    {
        const QMutexLocker locker(&d->lock);
        if (!d->loader)
            return d->large;
        if (d->lazyFailed)
            return {};
        file = d->pngFile;
        loader = d->loader;
    }
    LargeRenditionCache &cache = largeRenditionCache();
    {
        const QMutexLocker locker(&cache.lock);
        if (const QList<QImage> *held = cache.images.object(d->serial))
            return *held;
    }
    // Loaded outside the locks: two threads drawing the same icon at once load it twice, harmlessly.
    QList<QImage> large;
    if (!file.isEmpty()) {
        const QList<QImage> all = loader(file);
        for (const QImage &image : all) {
            if (d->largeSides.contains(longerSide(image)) && image.format() == QImage::Format_ARGB32_Premultiplied)
                large.append(image);
        }
    }
    if (large.size() != d->largeSides.size()) {
        // Not again on every paint: the kept renditions stand in from now on.
        const QMutexLocker locker(&d->lock);
        d->lazyFailed = true;
        return {};
    }
    qint64 bytes = 0;
    for (const QImage &image : std::as_const(large))
        bytes += image.sizeInBytes();
    const QMutexLocker locker(&cache.lock);
    cache.images.insert(d->serial, new QList<QImage>(large), int(std::max<qint64>(1, bytes / 1024)));
    return large;
}

QSize IconImage::size() const { return d ? d->size : QSize(); }

QImage IconImage::rendition(int pixelSide) const
{
    if (!d || d->renditions.isEmpty())
        return QImage();
    for (const QImage &image : d->renditions) {
        if (longerSide(image) >= pixelSide)
            return image;
    }
    const QList<QImage> large = largeRenditions();
    for (const QImage &image : large) {
        if (longerSide(image) >= pixelSide)
            return image;
    }
    return large.isEmpty() ? d->renditions.constLast() : large.constLast();
}

QList<QImage> IconImage::renditions() const
{
    if (!d)
        return {};
    return d->largeSides.isEmpty() ? d->renditions : d->renditions + largeRenditions();
}

QImage IconImage::decodeFullImage() const
{
    if (!d)
        return QImage();
    return ImageDecoder::decode(png()).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QFuture<QImage> IconImage::fullImage() const
{
    return QtConcurrent::run(&ImageWorkPool::instance(), [icon = *this] { return icon.decodeFullImage(); });
}

int IconImage::liveCount() { return alive.load(); }
